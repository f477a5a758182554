// A timer enabled from another thread while its ticks, on the main thread, disable it and its
// period changes: every accepted enable yields exactly one tick, and nothing deadlocks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/virtual/LoopDispatcher.h"
#include "timing/VrHPTimer.h"

namespace {

using namespace std::chrono_literals;

TEST(VrHPTimerThreading, EnabledElsewhereDisabledInItsTick) {
  TLoopDispatcher dispatcher;
  TVrHPTimeBase base;
  TVrHPTimer timer(dispatcher);
  timer.SetHPTimeBase(&base);
  timer.SetTimePeriod(0.001L);
  std::atomic<int> ticks{0};
  std::atomic<bool> ready{true};
  timer.OnHighPrecisionTimer = [&](long double, long double, int64_t n) {
    EXPECT_EQ(n, 2);
    timer.SetEnabled(false);
    ++ticks;
    ready.store(true, std::memory_order_release);
  };

  std::atomic<bool> quit{false};
  std::atomic<int> starts{0};
  std::thread other([&] {
    while (!quit.load()) {
      if (ready.load(std::memory_order_acquire)) {
        ready.store(false, std::memory_order_relaxed);
        if (timer.Start()) {
          ++starts;
        } else {
          ready.store(true);
        }
      }
      std::this_thread::sleep_for(200us);
    }
  });
  const auto end = std::chrono::steady_clock::now() + 1s;
  bool longer = false;
  while (std::chrono::steady_clock::now() < end) {
    dispatcher.RunFor(10ms);
    timer.SetTimePeriod((longer = !longer) ? 0.002L : 0.001L);
  }
  quit = true;
  other.join();
  ASSERT_TRUE(dispatcher.RunUntil([&] { return ready.load(); }, 10s));
  EXPECT_GT(starts.load(), 10);
  EXPECT_EQ(ticks.load(), starts.load());
}

}  // namespace
