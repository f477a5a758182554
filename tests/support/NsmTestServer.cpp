#include "NsmTestServer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

TNsmTestServer::TNsmTestServer() {
  server_ = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
  if (server_) lo_server_add_method(server_, nullptr, nullptr, &TNsmTestServer::Receive, this);
}

TNsmTestServer::~TNsmTestServer() {
  if (client_) lo_address_free(client_);
  if (server_) lo_server_free(server_);
}

std::string TNsmTestServer::Url() const {
  // By number: the machine's own name may not resolve in a container.
  return "osc.udp://127.0.0.1:" + std::to_string(lo_server_get_port(server_)) + "/";
}

void TNsmTestServer::Pump(int ms) {
  if (!server_) return;
  int wait = ms;
  while (lo_server_recv_noblock(server_, wait) > 0) wait = 0;
}

bool TNsmTestServer::WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout,
                             const std::function<void()>& between) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    Pump(5);
    if (between) between();
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
  }
}

int TNsmTestServer::Receive(const char* path, const char* types, lo_arg** argv, int argc,
                            lo_message message, void* self_ptr) {
  auto* self = static_cast<TNsmTestServer*>(self_ptr);
  TMessage m{path ? path : "", types ? types : "", {}, {}};
  for (int i = 0; i < argc; ++i) {
    // OSC aligns arguments to 4 bytes, not to lo_arg's 8: read them as bytes.
    const char* bytes = reinterpret_cast<const char*>(argv[i]);
    if (m.Types[i] == LO_STRING || m.Types[i] == LO_SYMBOL) m.Strings.emplace_back(bytes);
    if (m.Types[i] == LO_INT32) {
      int32_t value = 0;
      std::memcpy(&value, bytes, sizeof value);
      m.Ints.push_back(value);
    }
  }
  self->received_.push_back(m);
  if (m.Path != "/nsm/server/announce") return 0;
  // Replies go back to where the announce came from, as the real server tells clients apart.
  if (self->client_) lo_address_free(self->client_);
  char* url = lo_address_get_url(lo_message_get_source(message));
  self->client_ = lo_address_new_from_url(url);
  free(url);
  lo_message answer = lo_message_new();
  lo_message_add_string(answer, "/nsm/server/announce");
  if (self->refuse_announce) {
    lo_message_add_int32(answer, -2);
    lo_message_add_string(answer, "incompatible API version");
    self->SendMessage("/error", answer);
    return 0;
  }
  lo_message_add_string(answer, "Welcome");
  lo_message_add_string(answer, "Test Session Manager");
  lo_message_add_string(answer, ":server-control:broadcast:optional-gui:");
  self->SendMessage("/reply", answer);
  if (self->open_path) self->Open(*self->open_path, self->open_display, self->open_client_id);
  return 0;
}

void TNsmTestServer::SendMessage(const std::string& path, lo_message m) {
  if (client_) lo_send_message_from(client_, server_, path.c_str(), m);
  lo_message_free(m);
}

void TNsmTestServer::Open(const std::string& path, const std::string& display,
                          const std::string& client_id) {
  Send("/nsm/client/open", {path, display, client_id});
}

void TNsmTestServer::Save() {
  Send("/nsm/client/save", {});
}

void TNsmTestServer::ShowGui(bool show) {
  Send(show ? "/nsm/client/show_optional_gui" : "/nsm/client/hide_optional_gui", {});
}

void TNsmTestServer::Send(const std::string& path, const std::vector<std::string>& strings) {
  lo_message m = lo_message_new();
  for (const std::string& s : strings) lo_message_add_string(m, s.c_str());
  SendMessage(path, m);
}

size_t TNsmTestServer::Count(const std::string& path) const {
  size_t n = 0;
  for (const TMessage& m : received_) n += m.Path == path;
  return n;
}

std::optional<TNsmTestServer::TMessage> TNsmTestServer::Last(const std::string& path) const {
  for (auto it = received_.rbegin(); it != received_.rend(); ++it)
    if (it->Path == path) return *it;
  return std::nullopt;
}

std::optional<std::string> TNsmTestServer::AnswerTo(const std::string& to) const {
  for (auto it = received_.rbegin(); it != received_.rend(); ++it) {
    if (it->Strings.empty() || it->Strings[0] != to) continue;
    if (it->Path == "/reply") return std::string("reply");
    if (it->Path == "/error" && !it->Ints.empty()) return "error " + std::to_string(it->Ints[0]);
  }
  return std::nullopt;
}
