// A client of a session manager that speaks the NSM protocol (OSC over liblo): announces the
// program, receives the session's open, save and show/hide orders and answers them from the
// socket it announced from. Toolkit-free; everything runs on the thread that calls Poll (the
// program's UI thread), which watches SocketFd for input. Nothing here ever blocks longer than
// the wait it is asked for: a manager that vanishes, sends unknown messages or bad arguments is
// logged and otherwise ignored.
#pragma once

#include <lo/lo.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

// The session's open: where this instance keeps its data, the name to show, and the client id
// the session knows it by (also its JACK client name).
struct TNsmOpen {
  std::string Path;
  std::string DisplayName;
  std::string ClientId;
};

// Error codes of the protocol.
inline constexpr int kNsmErrGeneral = -1;
inline constexpr int kNsmErrNotNow = -8;
inline constexpr int kNsmErrBadProject = -9;
inline constexpr int kNsmErrCreateFailed = -10;

inline constexpr int kNsmApiMajor = 1;
inline constexpr int kNsmApiMinor = 1;

class TNsmClient {
 public:
  using TLog = std::function<void(const std::string&)>;
  explicit TNsmClient(TLog log);
  ~TNsmClient();
  TNsmClient(const TNsmClient&) = delete;
  TNsmClient& operator=(const TNsmClient&) = delete;

  // Makes a socket of the URL's protocol and announces the program from it. False (logged)
  // when the URL is no OSC URL or no socket can be made: the program then runs without a
  // session.
  bool Announce(const std::string& url, const std::string& application_name,
                const std::string& capabilities, const std::string& executable, int pid);

  // The socket to watch for input; -1 before Announce.
  int SocketFd() const;
  // Handles the messages waiting; waits up to timeout_ms for the first one.
  void Poll(int timeout_ms = 0);
  // Polls until the session's open has come, the manager refused the announce, or the time is
  // up: answer_timeout for the manager's answer to the announce, open_timeout from then on for
  // the open. The open is then to be answered with ReplyOpen or RefuseOpen.
  std::optional<TNsmOpen> WaitForOpen(std::chrono::milliseconds answer_timeout,
                                      std::chrono::milliseconds open_timeout);
  // Whether the manager answered the announce, and its name.
  bool Acknowledged() const { return acknowledged_; }
  const std::string& ManagerName() const { return manager_name_; }

  // The answer to the session's open, once it has been carried out (or refused with a code).
  void ReplyOpen(const std::string& message);
  void RefuseOpen(int code, const std::string& message);
  // The window's visibility, as the optional-gui capability asks to be told after each change.
  void GuiIsShown(bool shown);

  // Orders of a session that is open. OnSave returns an empty text when the settings were
  // saved, else what went wrong (sent to the manager). Called from Poll.
  std::function<std::string()> OnSave;
  std::function<void(bool show)> OnShowGui;

 private:
  static int Receive(const char* path, const char* types, lo_arg** argv, int argc,
                     lo_message message, void* self);
  void Handle(const std::string& path, const std::string& types, lo_arg** argv, int argc);
  void Send(const char* path, const std::string& types, const std::string* strings,
            const int* integer);
  void Reply(const char* to, const std::string& message);
  void Error(const char* to, int code, const std::string& message);

  TLog log_;
  lo_server server_ = nullptr;
  lo_address manager_ = nullptr;
  bool acknowledged_ = false;
  bool refused_ = false;
  bool opened_ = false;
  std::optional<TNsmOpen> pending_open_;
  std::string manager_name_;
  bool send_failed_ = false;  // logged once
};
