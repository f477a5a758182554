// A server monitor for tests: the test says when the server is lost, when it answers again and
// when its ports change.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/ServerMonitor.h"

class TVirtualServerMonitor final : public IServerMonitor {
 public:
  void SetLossHandler(TServerLossHandler handler) override;
  void SetChangeHandler(TServerChangeHandler handler) override;
  bool ServerAvailable() override { return available_.load(); }

  // Marks the server gone and reports it on the calling thread.
  void Lose(const std::string& reason);
  void SetAvailable(bool available) { available_.store(available); }
  // Reports a change on the calling thread (kBack also marks the server available).
  void Change(TServerChange change);

 private:
  std::mutex mutex_;
  TServerLossHandler handler_;
  TServerChangeHandler change_handler_;
  std::atomic<bool> available_{true};
};
