#include "HPTimerThread.h"

#include <algorithm>
#include <chrono>

#include "VrHPTimer.h"

namespace {
// How long before a tick the worker stops sleeping and polls the counter: the scheduler's
// wake-up error is well under this.
constexpr double kPollSpan = 0.001;
// The longest sleep between two looks at the counter, so that a counter that does not follow
// the system clock (a test's) is still watched.
constexpr auto kMaxSleep = std::chrono::milliseconds(5);
}  // namespace

THPTimerThread::THPTimerThread(TVrHPCustomTimer& owner, IMainThreadDispatcher& dispatcher,
                               double period)
    : owner_(owner),
      dispatcher_(dispatcher),
      link_(std::make_shared<TLink>()),
      tick_period_(period) {
  link_->thread.store(this);
  thread_ = std::thread([this] { Body(); });
}

THPTimerThread::~THPTimerThread() {
  link_->thread.store(nullptr);
  {
    std::lock_guard lock(mutex_);
    terminate_.store(true);
    ++generation_;
  }
  cv_.notify_all();
  thread_.join();
}

bool THPTimerThread::Enabled() const {
  std::lock_guard lock(mutex_);
  return enabled_;
}

int64_t THPTimerThread::N() const {
  std::lock_guard lock(mutex_);
  return n_;
}

double THPTimerThread::Elapsed(IHighResCounter* counter, int64_t start, double tps) const {
  if (!counter || !(tps > 0)) return 0;
  int64_t d;
  if (__builtin_sub_overflow(counter->Counter(), start, &d)) return 0;
  return static_cast<double>(d) / tps;
}

bool THPTimerThread::Restart(bool enable, IHighResCounter* counter, double ticks_per_second,
                             bool wait, int64_t from) {
  std::unique_lock lock(mutex_);
  if (enable == enabled_) return false;
  const uint64_t gen = ++generation_;
  enabled_ = enable;
  firing_ = false;
  if (!enable) {
    cv_.notify_all();
    return true;
  }
  n_ = 1;
  counter_ = counter;
  ticks_per_second_ = ticks_per_second;
  start_ticks_ = from != INT64_MIN ? from : counter->Counter();
  const int64_t start = start_ticks_;
  double elapsed = TickPeriod();
  if (wait) {
    lock.unlock();
    const bool kept = WaitFor(1, counter, start, ticks_per_second, gen, &elapsed);
    lock.lock();
    if (!kept || generation_.load() != gen) return true;  // disabled or restarted meanwhile
  }
  previous_seconds_ = elapsed;
  firing_ = true;
  cv_.notify_all();
  return true;
}

bool THPTimerThread::WaitFor(double periods, IHighResCounter* counter, int64_t start, double tps,
                             uint64_t gen, double* elapsed) {
  using Clock = std::chrono::steady_clock;
  auto spin_start = Clock::time_point{};
  for (;;) {
    if (!Current(gen)) return false;
    const double now = Elapsed(counter, start, tps);
    // A new period takes effect at the next comparison.
    const double target = periods * TickPeriod();
    if (now >= target) {
      *elapsed = now;
      return true;
    }
    const double remaining = target - now;
    std::unique_lock lock(mutex_);
    if (remaining > kPollSpan) {
      spin_start = {};
      const auto sleep =
          std::min<Clock::duration>(std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(remaining - kPollSpan)),
                                    kMaxSleep);
      cv_.wait_for(lock, sleep, [&] { return !Current(gen); });
    } else {
      lock.unlock();
      // Poll, but give the core back if the counter does not move for a while (a stopped test
      // counter): a real one reaches the target within the poll span.
      const auto t = Clock::now();
      if (spin_start == Clock::time_point{}) spin_start = t;
      if (t - spin_start > std::chrono::milliseconds(3)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      } else {
        std::this_thread::yield();
      }
    }
  }
}

void THPTimerThread::Body() {
  std::unique_lock lock(mutex_);
  while (!terminate_.load()) {
    if (!(enabled_ && firing_)) {
      cv_.wait(lock);
      continue;
    }
    const uint64_t gen = generation_.load();
    const int64_t n = n_;
    IHighResCounter* counter = counter_;
    const int64_t start = start_ticks_;
    const double tps = ticks_per_second_;
    lock.unlock();

    double seconds = 0;
    // Tick n + 1 is due n + 1 periods after the start: a late delivery never shifts later ticks.
    const bool due = WaitFor(static_cast<double>(n + 1), counter, start, tps, gen, &seconds);
    lock.lock();
    if (!due || generation_.load() != gen) continue;
    n_ = n + 1;
    if (!firing_) continue;
    lock.unlock();
    Deliver(seconds, n + 1, gen);
    lock.lock();
  }
}

// Runs the tick on the main thread and waits for it, like a synchronous hand-over, but gives up
// the wait when the timer is destroyed, so that a main thread that stopped pumping can never
// hold the destructor.
void THPTimerThread::Deliver(double seconds, int64_t n, uint64_t gen) {
  auto done = std::make_shared<TDone>();
  dispatcher_.Post([link = link_, done, seconds, n, gen] {
    if (THPTimerThread* self = link->thread.load()) {
      double delta = 0;
      bool run = false;
      {
        std::lock_guard lock(self->mutex_);
        run = self->generation_.load() == gen && self->enabled_ && self->firing_;
        delta = seconds - self->previous_seconds_;
      }
      // No lock is held while the handler runs: it may disable or re-enable its own timer.
      if (run) self->owner_.DoHighPrecisionTimer(seconds, delta, n);
      {
        std::lock_guard lock(self->mutex_);
        if (self->generation_.load() == gen) self->previous_seconds_ = seconds;
      }
    }
    std::lock_guard lock(done->mutex);
    done->done = true;
    done->cv.notify_all();
  });
  std::unique_lock lock(done->mutex);
  while (!done->done && !terminate_.load()) done->cv.wait_for(lock, kMaxSleep);
}
