// The worker of one high-precision timer: watches the counter for the next tick and hands each
// tick to the main thread, waiting until the handler has run. It sleeps while a tick is far off
// and polls the counter only for the last stretch, so an enabled timer does not occupy a core.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/MainThreadDispatcher.h"
#include "platform/TickClock.h"

class TVrHPCustomTimer;

class THPTimerThread {
 public:
  THPTimerThread(TVrHPCustomTimer& owner, IMainThreadDispatcher& dispatcher, double period);
  // Stops the worker, also one waiting for a delivery the main thread never ran. Call it on the
  // main thread, and not from the timer's own tick handler.
  ~THPTimerThread();
  THPTimerThread(const THPTimerThread&) = delete;
  THPTimerThread& operator=(const THPTimerThread&) = delete;

  // Restarts the schedule: tick k (k = 2, 3, ...) is due k periods after now, or after the
  // counter value from when one is given (INT64_MIN: none). When wait is true
  // the call returns one period later, as the timer's own enabling does. Enabling needs a counter
  // of positive rate (the caller checks). Disabling stops the ticks where they stand. Returns
  // false when the call changed nothing (the state asked for is the current one).
  bool Restart(bool enable, IHighResCounter* counter, double ticks_per_second, bool wait,
               int64_t from = INT64_MIN);
  bool Enabled() const;
  void SetTickPeriod(double seconds) { tick_period_.store(seconds, std::memory_order_relaxed); }
  double TickPeriod() const { return tick_period_.load(std::memory_order_relaxed); }
  // Ticks counted since the last restart; the first delivered tick is 2.
  int64_t N() const;

 private:
  // Lives as long as a posted delivery may still run.
  struct TLink {
    std::atomic<THPTimerThread*> thread;
  };
  struct TDone {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
  };

  void Body();
  double Elapsed(IHighResCounter* counter, int64_t start, double tps) const;
  // Waits until the counter reaches that many periods (the period read afresh at every look);
  // false when the schedule changed meanwhile.
  bool WaitFor(double periods, IHighResCounter* counter, int64_t start, double tps, uint64_t gen,
               double* elapsed);
  void Deliver(double seconds, int64_t n, uint64_t gen);
  bool Current(uint64_t gen) const {
    return generation_.load(std::memory_order_acquire) == gen && !terminate_.load();
  }

  TVrHPCustomTimer& owner_;
  IMainThreadDispatcher& dispatcher_;
  std::shared_ptr<TLink> link_;

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool enabled_ = false;
  bool firing_ = false;
  IHighResCounter* counter_ = nullptr;
  double ticks_per_second_ = 0;
  int64_t start_ticks_ = 0;
  int64_t n_ = 0;
  double previous_seconds_ = 0;
  std::atomic<uint64_t> generation_{0};
  std::atomic<bool> terminate_{false};
  std::atomic<double> tick_period_;

  std::thread thread_;
};
