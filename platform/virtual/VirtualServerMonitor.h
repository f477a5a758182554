// A server monitor for tests: the test says when the server is lost and when it answers again.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/ServerMonitor.h"

class TVirtualServerMonitor final : public IServerMonitor {
 public:
  void SetLossHandler(TServerLossHandler handler) override;
  bool ServerAvailable() override { return available_.load(); }

  // Marks the server gone and reports it on the calling thread.
  void Lose(const std::string& reason);
  void SetAvailable(bool available) { available_.store(available); }

 private:
  std::mutex mutex_;
  TServerLossHandler handler_;
  std::atomic<bool> available_{true};
};
