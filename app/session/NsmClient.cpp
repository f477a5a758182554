#include "NsmClient.h"

#include <algorithm>
#include <cstdio>

namespace {
const char kOpen[] = "/nsm/client/open";
const char kSave[] = "/nsm/client/save";
const char kAnnounce[] = "/nsm/server/announce";

// liblo reports socket errors here; it has no way to pass the client along, and the program
// has one client: the text goes to standard error like the client's own log.
void LibloError(int number, const char* message, const char* where) {
  std::fprintf(stderr, "tocsin: session: OSC error %d: %s%s%s\n", number, message ? message : "",
               where ? " at " : "", where ? where : "");
}

// liblo's arguments sit at OSC's 4-byte boundaries, not at lo_arg's own alignment: read them
// through a byte pointer, never as members of the union.
std::string Text(const lo_arg* arg) {
  return arg ? std::string(reinterpret_cast<const char*>(arg)) : std::string();
}

// A string argument of OSC may be "s" or "S" (symbol); both read alike.
bool IsString(char type) {
  return type == LO_STRING || type == LO_SYMBOL;
}
}  // namespace

TNsmClient::TNsmClient(TLog log) : log_(std::move(log)) {}

TNsmClient::~TNsmClient() {
  if (server_) lo_server_free(server_);
  if (manager_) lo_address_free(manager_);
}

bool TNsmClient::Announce(const std::string& url, const std::string& application_name,
                          const std::string& capabilities, const std::string& executable, int pid) {
  manager_ = lo_address_new_from_url(url.c_str());
  if (!manager_) {
    log_("NSM_URL \"" + url + "\" is no OSC address: running without a session");
    return false;
  }
  const int protocol = lo_address_get_protocol(manager_);
  if (protocol != LO_UDP && protocol != LO_TCP) {
    log_("NSM_URL \"" + url + "\": only UDP and TCP are spoken: running without a session");
    return false;
  }
  // The manager tells clients apart by the address they announce from: every message goes out
  // of this one socket, whose protocol follows the manager's.
  server_ = lo_server_new_with_proto(nullptr, protocol, &LibloError);
  if (!server_) {
    log_("no OSC socket could be made: running without a session");
    return false;
  }
  lo_server_add_method(server_, nullptr, nullptr, &TNsmClient::Receive, this);
  lo_message m = lo_message_new();
  lo_message_add_string(m, application_name.c_str());
  lo_message_add_string(m, capabilities.c_str());
  lo_message_add_string(m, executable.c_str());
  lo_message_add_int32(m, kNsmApiMajor);
  lo_message_add_int32(m, kNsmApiMinor);
  lo_message_add_int32(m, pid);
  const int sent = lo_send_message_from(manager_, server_, kAnnounce, m);
  lo_message_free(m);
  if (sent < 0) {
    log_("the announce to " + url + " could not be sent: running without a session");
    return false;
  }
  return true;
}

int TNsmClient::SocketFd() const {
  return server_ ? lo_server_get_socket_fd(server_) : -1;
}

void TNsmClient::Poll(int timeout_ms) {
  if (!server_) return;
  // Each call takes one message; a flood is taken in bounded rounds so the caller's loop runs.
  for (int round = 0; round < 64; ++round) {
    if (lo_server_recv_noblock(server_, round == 0 ? timeout_ms : 0) <= 0) return;
  }
}

std::optional<TNsmOpen> TNsmClient::WaitForOpen(std::chrono::milliseconds answer_timeout,
                                                std::chrono::milliseconds open_timeout) {
  using Clock = std::chrono::steady_clock;
  // A stale NSM_URL names nobody: the program must not wait long for an answer that never comes.
  auto end = Clock::now() + answer_timeout;
  bool answered = acknowledged_;
  if (answered) end = Clock::now() + open_timeout;
  while (!pending_open_ && !refused_ && server_) {
    if (!answered && acknowledged_) {
      answered = true;
      end = Clock::now() + open_timeout;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0) break;
    Poll(static_cast<int>(std::min<long long>(left.count(), 50)));
  }
  if (!pending_open_ && !refused_) {
    log_(acknowledged_ ? "the session manager sent no open: running without a session"
                       : "no session manager answered: running without a session");
  }
  return pending_open_;
}

int TNsmClient::Receive(const char* path, const char* types, lo_arg** argv, int argc, lo_message,
                        void* self) {
  static_cast<TNsmClient*>(self)->Handle(path ? path : "", types ? types : "", argv, argc);
  return 0;
}

void TNsmClient::Handle(const std::string& path, const std::string& types, lo_arg** argv,
                        int argc) {
  auto strings = [&](size_t n) {
    if (types.size() < n || static_cast<size_t>(argc) < n) return false;
    for (size_t i = 0; i < n; ++i)
      if (!IsString(types[i])) return false;
    return true;
  };
  if (path == "/reply" && strings(1) && Text(argv[0]) == kAnnounce) {
    acknowledged_ = true;
    manager_name_ = argc >= 3 && strings(3) ? Text(argv[2]) : std::string();
    log_("under session management" + (manager_name_.empty() ? "" : " (" + manager_name_ + ")"));
    return;
  }
  if (path == "/error" && strings(1) && Text(argv[0]) == kAnnounce) {
    refused_ = true;
    const std::string why = types.size() >= 3 && IsString(types[2]) ? Text(argv[2]) : "";
    log_("the session manager refused the announce (" + why + "): running without a session");
    return;
  }
  if (path == "/reply" || path == "/error") return;  // answers to nothing we asked: no news
  if (path == kOpen) {
    if (!strings(3)) {
      log_("open with bad arguments (" + types + ") ignored");
      Error(kOpen, kNsmErrGeneral, "open takes three strings");
      return;
    }
    if (opened_ || pending_open_) {
      // Without the switch capability the session opens a client once; it restarts it to
      // open another.
      log_("a second open ignored: Tocsin opens one session per run");
      Error(kOpen, kNsmErrNotNow, "Tocsin cannot switch sessions while running");
      return;
    }
    pending_open_ = TNsmOpen{Text(argv[0]), Text(argv[1]), Text(argv[2])};
    return;
  }
  if (path == kSave) {
    if (!opened_) {
      Error(kSave, kNsmErrNotNow, "no session is open yet");
      return;
    }
    const std::string problem = OnSave ? OnSave() : std::string("nothing to save with");
    if (problem.empty()) {
      Reply(kSave, "saved");
    } else {
      log_("save failed: " + problem);
      Error(kSave, kNsmErrGeneral, problem);
    }
    return;
  }
  if (path == "/nsm/client/show_optional_gui" || path == "/nsm/client/hide_optional_gui") {
    if (OnShowGui) OnShowGui(path == "/nsm/client/show_optional_gui");
    return;
  }
  if (path == "/nsm/client/session_is_loaded") return;
  log_("unknown message " + path + " (" + types + ") ignored");
}

void TNsmClient::ReplyOpen(const std::string& message) {
  if (!pending_open_) return;
  opened_ = true;
  Reply(kOpen, message);
}

void TNsmClient::RefuseOpen(int code, const std::string& message) {
  if (!pending_open_) return;
  log_("open refused: " + message);
  pending_open_.reset();
  Error(kOpen, code, message);
}

void TNsmClient::GuiIsShown(bool shown) {
  Send(shown ? "/nsm/client/gui_is_shown" : "/nsm/client/gui_is_hidden", "", nullptr, nullptr);
}

void TNsmClient::Reply(const char* to, const std::string& message) {
  const std::string strings[2] = {to, message};
  Send("/reply", "ss", strings, nullptr);
}

void TNsmClient::Error(const char* to, int code, const std::string& message) {
  const std::string strings[2] = {to, message};
  Send("/error", "sis", strings, &code);
}

// types: "s" takes the next of strings, "i" the integer.
void TNsmClient::Send(const char* path, const std::string& types, const std::string* strings,
                      const int* integer) {
  if (!server_ || !manager_) return;
  lo_message m = lo_message_new();
  for (char t : types) {
    if (t == 's') lo_message_add_string(m, (strings++)->c_str());
    if (t == 'i') lo_message_add_int32(m, *integer);
  }
  const int sent = lo_send_message_from(manager_, server_, path, m);
  lo_message_free(m);
  if (sent < 0 && !send_failed_) {
    send_failed_ = true;  // a manager gone away refuses every message: said once
    log_(std::string("cannot reach the session manager (") + lo_address_errstr(manager_) + ")");
  }
}
