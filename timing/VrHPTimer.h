// High-precision timers: TVrHPCustomTimer is the machinery (enabling, worker, schedule),
// TVrHPTimer adds the period and the tick event. Ticks run on the main thread; a timer is
// configured on the main thread and may be enabled from any thread (see Start).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "HPTimerThread.h"
#include "VrHPTimeBase.h"
#include "platform/MainThreadDispatcher.h"

enum class TThreadPriority {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

class TVrHPCustomTimer {
 public:
  explicit TVrHPCustomTimer(IMainThreadDispatcher& dispatcher);
  virtual ~TVrHPCustomTimer();
  TVrHPCustomTimer(const TVrHPCustomTimer&) = delete;
  TVrHPCustomTimer& operator=(const TVrHPCustomTimer&) = delete;

  bool Enabled() const;
  // Enabling returns after one period and the first tick (N = 2) comes two periods after the
  // call; setting the current value does nothing. Without a time base of positive rate the timer
  // refuses to enable (it would never tick) and stays disabled.
  void SetEnabled(bool enabled);
  // Enables on the same schedule without holding the caller for the first period: for threads
  // that must not wait, such as the capture thread. False when refused or already enabled.
  bool Start();
  // As Start, with the schedule counted from an earlier reading of CounterNow: a start asked
  // for on a thread that may take no lock, made later on another, keeps its time.
  bool StartFrom(int64_t counter_value);
  // The time base's counter now, without taking a lock (any thread, the real-time one too);
  // kNoCounter without a time base.
  int64_t CounterNow() const;
  static constexpr int64_t kNoCounter = INT64_MIN;
  // Where the ticks are delivered.
  IMainThreadDispatcher& Dispatcher() const { return dispatcher_; }

  TVrHPTimeBase* HPTimeBase() const;
  // Setting none disables the timer: it cannot run without one.
  void SetHPTimeBase(TVrHPTimeBase* base);
  // The time base's rate, copied at every change of Enabled.
  double TicksPerSecond() const;

  // Kept for the worker's callers; the worker runs at the process's normal priority.
  TThreadPriority ThreadPriority() const { return priority_; }
  void SetThreadPriority(TThreadPriority p) { priority_ = p; }
  std::string Version() const { return "1.3"; }
  void SetVersion(const std::string&) {}

 protected:
  virtual void DoHighPrecisionTimer(long double Seconds, long double Delta, int64_t N);
  THPTimerThread& Worker() { return *worker_; }

 private:
  friend class TVrHPTimeBase;
  friend class THPTimerThread;
  bool Enable(bool enabled, bool wait, int64_t from = kNoCounter);
  void TimeBaseRemoved(TVrHPTimeBase* base);

  IMainThreadDispatcher& dispatcher_;
  mutable std::mutex mutex_;  // guards the time base binding and the rate copy
  TVrHPTimeBase* base_ = nullptr;
  std::atomic<IHighResCounter*> counter_{nullptr};  // the base's, for CounterNow
  double ticks_per_second_ = 0;
  TThreadPriority priority_ = TThreadPriority::tpNormal;
  std::unique_ptr<THPTimerThread> worker_;
};

// The tick event: seconds since the start, seconds since the previous tick, tick number.
using TOnHPTimer = std::function<void(long double Seconds, long double Delta, int64_t N)>;

class TVrHPTimer : public TVrHPCustomTimer {
 public:
  explicit TVrHPTimer(IMainThreadDispatcher& dispatcher);

  long double Frequency() const { return frequency_; }
  // Only positive, finite values are taken; others are ignored.
  void SetFrequency(long double f);
  long double TimePeriod() const { return time_period_; }
  void SetTimePeriod(long double t);

  TOnHPTimer OnHighPrecisionTimer;

 protected:
  void DoHighPrecisionTimer(long double Seconds, long double Delta, int64_t N) override;

 private:
  long double frequency_ = 1.0L;
  long double time_period_ = 1.0L;
};
