#include "ExtraJackServer.h"

#include <cstdlib>
#include <fstream>

TExtraJackServer::TExtraJackServer(std::string name, uint32_t rate, uint32_t period)
    : name_(std::move(name)), rate_(rate), period_(period) {
  ok_ = Start() || Start();
}

TExtraJackServer::~TExtraJackServer() {
  Run("stop");
}

bool TExtraJackServer::Start() {
  return Run("start") == 0;
}

int TExtraJackServer::Run(const char* command) const {
  std::string cmd =
      std::string(TOCSIN_JACKD_FIXTURE) + " " + command + " " + name_ + " " + TOCSIN_JACK_STATE_DIR;
  if (rate_ && period_) cmd += " " + std::to_string(rate_) + " " + std::to_string(period_);
  return std::system((cmd + " >/dev/null 2>&1").c_str());
}

pid_t TExtraJackServer::Pid() const {
  std::ifstream in(std::string(TOCSIN_JACK_STATE_DIR) + "/jackd-" + name_ + ".pid");
  pid_t pid = 0;
  in >> pid;
  return pid;
}

TJackServerChoice::TJackServerChoice(const std::string& server) {
  const char* saved = std::getenv("JACK_DEFAULT_SERVER");
  had_ = saved != nullptr;
  if (had_) saved_ = saved;
  setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
}

void TJackServerChoice::Restore() {
  if (restored_) return;
  restored_ = true;
  if (had_) {
    setenv("JACK_DEFAULT_SERVER", saved_.c_str(), 1);
  } else {
    unsetenv("JACK_DEFAULT_SERVER");
  }
}
