// A JACK server of one test's own, beside the shared one, for the tests that kill a server: run
// through the shared fixture script, started at construction (one more try, since a loaded
// machine can be slower than the script's wait) and stopped when the object goes. And the
// default server pointed elsewhere for a while, the old choice put back after.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

class TExtraJackServer {
 public:
  // rate and period 0: the script's defaults.
  explicit TExtraJackServer(std::string name, uint32_t rate = 0, uint32_t period = 0);
  ~TExtraJackServer();
  TExtraJackServer(const TExtraJackServer&) = delete;
  TExtraJackServer& operator=(const TExtraJackServer&) = delete;

  bool Ok() const { return ok_; }
  const std::string& Name() const { return name_; }
  // Starts it again after it was killed.
  bool Start();
  // The server's process as the script recorded it; 0 when unknown.
  pid_t Pid() const;

 private:
  int Run(const char* command) const;

  std::string name_;
  uint32_t rate_, period_;
  bool ok_;
};

// JACK_DEFAULT_SERVER names `server` until Restore or the end of the scope.
class TJackServerChoice {
 public:
  explicit TJackServerChoice(const std::string& server);
  ~TJackServerChoice() { Restore(); }
  TJackServerChoice(const TJackServerChoice&) = delete;
  TJackServerChoice& operator=(const TJackServerChoice&) = delete;
  void Restore();

 private:
  std::string saved_;
  bool had_;
  bool restored_ = false;
};
