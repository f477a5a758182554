#include "VrHPTimer.h"

#include <cmath>

TVrHPCustomTimer::TVrHPCustomTimer(IMainThreadDispatcher& dispatcher)
    : dispatcher_(dispatcher), worker_(std::make_unique<THPTimerThread>(*this, dispatcher, 1.0)) {}

TVrHPCustomTimer::~TVrHPCustomTimer() {
  SetHPTimeBase(nullptr);
  worker_.reset();
}

bool TVrHPCustomTimer::Enabled() const {
  return worker_->Enabled();
}

void TVrHPCustomTimer::SetEnabled(bool enabled) {
  Enable(enabled, true);
}

bool TVrHPCustomTimer::Start() {
  return Enable(true, false);
}

bool TVrHPCustomTimer::StartFrom(int64_t counter_value) {
  return Enable(true, false, counter_value);
}

int64_t TVrHPCustomTimer::CounterNow() const {
  IHighResCounter* counter = counter_.load(std::memory_order_acquire);
  return counter ? counter->Counter() : kNoCounter;
}

bool TVrHPCustomTimer::Enable(bool enabled, bool wait, int64_t from) {
  IHighResCounter* counter = nullptr;
  double tps = 0;
  {
    std::lock_guard lock(mutex_);
    if (base_) ticks_per_second_ = base_->TicksPerSecond();
    tps = ticks_per_second_;
    if (base_) counter = &base_->CounterSource();
  }
  if (enabled && (!counter || !(tps > 0))) return false;
  return worker_->Restart(enabled, counter, tps, wait, from);
}

TVrHPTimeBase* TVrHPCustomTimer::HPTimeBase() const {
  std::lock_guard lock(mutex_);
  return base_;
}

void TVrHPCustomTimer::SetHPTimeBase(TVrHPTimeBase* base) {
  TVrHPTimeBase* old;
  {
    std::lock_guard lock(mutex_);
    old = base_;
    if (old == base) return;
    base_ = base;
    counter_.store(base ? &base->CounterSource() : nullptr, std::memory_order_release);
  }
  if (!base) worker_->Restart(false, nullptr, 0, false);
  if (old) old->Detach(this);
  if (base) base->Attach(this);
}

void TVrHPCustomTimer::TimeBaseRemoved(TVrHPTimeBase* base) {
  {
    std::lock_guard lock(mutex_);
    if (base_ != base) return;
    base_ = nullptr;
    counter_.store(nullptr, std::memory_order_release);
  }
  // The worker reads the time base's counter, which may go with it.
  worker_->Restart(false, nullptr, 0, false);
}

double TVrHPCustomTimer::TicksPerSecond() const {
  std::lock_guard lock(mutex_);
  return ticks_per_second_;
}

void TVrHPCustomTimer::DoHighPrecisionTimer(long double, long double, int64_t) {}

TVrHPTimer::TVrHPTimer(IMainThreadDispatcher& dispatcher) : TVrHPCustomTimer(dispatcher) {
  Worker().SetTickPeriod(1.0);
}

void TVrHPTimer::SetFrequency(long double f) {
  if (!(f > 0) || !std::isfinite(f)) return;
  frequency_ = f;
  time_period_ = 1.0L / f;
  Worker().SetTickPeriod(static_cast<double>(time_period_));
}

void TVrHPTimer::SetTimePeriod(long double t) {
  if (!(t > 0) || !std::isfinite(t)) return;
  time_period_ = t;
  frequency_ = 1.0L / t;
  Worker().SetTickPeriod(static_cast<double>(t));
}

void TVrHPTimer::DoHighPrecisionTimer(long double Seconds, long double Delta, int64_t N) {
  if (OnHighPrecisionTimer) OnHighPrecisionTimer(Seconds, Delta, N);
}
