// A session manager for the tests, speaking the NSM protocol over liblo as a real server does:
// it answers a client's announce (or refuses it), sends the session's orders (open, save, show,
// hide) and anything else a test wants to the address the client announced from, and records
// every message it receives. UDP on a free local port. Single-threaded: the test pumps it.
#pragma once

#include <lo/lo.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TNsmTestServer {
 public:
  struct TMessage {
    std::string Path;
    std::string Types;
    std::vector<std::string> Strings;  // the string arguments, in order
    std::vector<int> Ints;             // the integer arguments, in order
  };

  TNsmTestServer();
  ~TNsmTestServer();
  TNsmTestServer(const TNsmTestServer&) = delete;
  TNsmTestServer& operator=(const TNsmTestServer&) = delete;

  bool Ok() const { return server_ != nullptr; }
  // What NSM_URL holds for this server.
  std::string Url() const;

  // How the next announce is answered; an open can follow the answer at once, as a real server
  // sends it.
  bool refuse_announce = false;
  std::optional<std::string> open_path;  // set: open with this path right after the answer
  std::string open_display = "Tocsin";
  std::string open_client_id = "Tocsin.nTEST";

  // Receives for up to ms milliseconds.
  void Pump(int ms);
  // Pumps (and runs `between`, when given, at each turn) until pred holds or timeout.
  bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout,
               const std::function<void()>& between = {});

  // Orders to the client that announced last.
  void Open(const std::string& path, const std::string& display, const std::string& client_id);
  void Save();
  void ShowGui(bool show);
  // Any message with string arguments, for what a client must survive.
  void Send(const std::string& path, const std::vector<std::string>& strings);

  const std::vector<TMessage>& Received() const { return received_; }
  size_t Count(const std::string& path) const;
  std::optional<TMessage> Last(const std::string& path) const;
  // The last /reply or /error naming `to` ("/nsm/client/save"), as "reply" or "error <code>".
  std::optional<std::string> AnswerTo(const std::string& to) const;

 private:
  static int Receive(const char* path, const char* types, lo_arg** argv, int argc,
                     lo_message message, void* self);
  void SendMessage(const std::string& path, lo_message m);

  lo_server server_ = nullptr;
  lo_address client_ = nullptr;
  std::vector<TMessage> received_;
};
