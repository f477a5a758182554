#include "LoopDispatcher.h"

TLoopDispatcher::TLoopDispatcher() : main_(std::this_thread::get_id()) {}

bool TLoopDispatcher::IsMainThread() const { return std::this_thread::get_id() == main_; }

void TLoopDispatcher::Post(std::function<void()> fn) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(fn));
  }
  cv_.notify_all();
}

void TLoopDispatcher::Call(std::function<void()> fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  std::mutex done_mutex;
  std::condition_variable done_cv;
  bool done = false;
  Post([&] {
    fn();
    std::lock_guard lock(done_mutex);
    done = true;
    done_cv.notify_all();
  });
  std::unique_lock lock(done_mutex);
  done_cv.wait(lock, [&] { return done; });
}

int TLoopDispatcher::ProcessPending() {
  int ran = 0;
  for (;;) {
    std::function<void()> fn;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return ran;
      fn = std::move(queue_.front());
      queue_.pop_front();
    }
    fn();
    ++ran;
  }
}

bool TLoopDispatcher::RunUntil(const std::function<bool()>& pred,
                               std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    ProcessPending();
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, std::chrono::milliseconds(1), [&] { return !queue_.empty(); });
  }
}

void TLoopDispatcher::RunFor(std::chrono::milliseconds duration) {
  RunUntil([] { return false; }, duration);
}

size_t TLoopDispatcher::PendingCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}
