// The player's internal clock: calls its tick every interval milliseconds on a worker thread of
// its own. Start and Stop never wait for the worker, so they are safe to call while holding a lock
// that the tick itself takes; a tick already under way when Stop returns may still finish.
#pragma once

#include <chrono>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class TALPlayerClock {
 public:
  explicit TALPlayerClock(std::function<void()> tick);
  ~TALPlayerClock();  // ends the worker; call it without holding what the tick takes
  TALPlayerClock(const TALPlayerClock&) = delete;
  TALPlayerClock& operator=(const TALPlayerClock&) = delete;

  void Start(uint32_t interval_ms);
  void Stop();
  bool Running();
  uint64_t Ticks() const;

 private:
  void Run();

  std::function<void()> tick_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool running_ = false;
  bool quit_ = false;
  uint64_t generation_ = 0;  // a Start or Stop abandons the schedule of the previous run
  std::chrono::milliseconds interval_{10};
  std::atomic<uint64_t> ticks_{0};
  std::thread thread_;
};
