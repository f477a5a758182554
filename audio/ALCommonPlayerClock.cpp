#include "ALCommonPlayerClock.h"

TALPlayerClock::TALPlayerClock(std::function<void()> tick) : tick_(std::move(tick)) {
  thread_ = std::thread([this] { Run(); });
}

TALPlayerClock::~TALPlayerClock() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

void TALPlayerClock::Start(uint32_t interval_ms) {
  {
    std::lock_guard lock(mutex_);
    running_ = true;
    interval_ = std::chrono::milliseconds(interval_ms == 0 ? 1 : interval_ms);
    ++generation_;
  }
  cv_.notify_all();
}

void TALPlayerClock::Stop() {
  {
    std::lock_guard lock(mutex_);
    running_ = false;
    ++generation_;
  }
  cv_.notify_all();
}

bool TALPlayerClock::Running() {
  std::lock_guard lock(mutex_);
  return running_;
}

uint64_t TALPlayerClock::Ticks() const { return ticks_.load(std::memory_order_acquire); }

void TALPlayerClock::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    cv_.wait(lock, [&] { return quit_ || running_; });
    if (quit_) return;
    const uint64_t generation = generation_;
    auto next = std::chrono::steady_clock::now() + interval_;
    while (!quit_ && running_ && generation == generation_) {
      if (cv_.wait_until(lock, next, [&] { return quit_ || generation != generation_; })) break;
      next += interval_;
      // A tick late by more than one period is not made up for with a burst.
      const auto now = std::chrono::steady_clock::now();
      if (next < now) next = now + interval_;
      lock.unlock();
      ticks_.fetch_add(1, std::memory_order_acq_rel);
      if (tick_) tick_();
      lock.lock();
    }
  }
}
