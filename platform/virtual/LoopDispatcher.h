// Main-thread dispatcher for tests: the "main thread" is the one that created it, and posted
// or called functions run when that thread pumps with ProcessPending or RunUntil.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/MainThreadDispatcher.h"

class TLoopDispatcher final : public IMainThreadDispatcher {
 public:
  TLoopDispatcher();
  void Post(std::function<void()> fn) override;
  void Call(std::function<void()> fn) override;
  bool IsMainThread() const override;

  // Runs every queued function (including ones queued meanwhile); returns how many ran.
  int ProcessPending();
  // Pumps until pred() holds or timeout passes; returns pred().
  bool RunUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);
  // Pumps for the given time.
  void RunFor(std::chrono::milliseconds duration);
  size_t PendingCount() const;

 private:
  std::thread::id main_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
};
