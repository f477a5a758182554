// A timer on a time base whose counter the test moves by hand, ticking into a TLoopDispatcher
// that the test pumps: every tick is seen, with its arguments, in order.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/virtual/FakeClock.h"
#include "platform/virtual/LoopDispatcher.h"
#include "timing/VrHPTimer.h"

struct TTick {
  long double Seconds;
  long double Delta;
  int64_t N;
};

class FakeTimerTest : public ::testing::Test {
 protected:
  static constexpr int64_t kRate = 1'000'000;  // counts per second

  FakeTimerTest() : base(counter), timer(dispatcher) {
    timer.SetHPTimeBase(&base);
    timer.OnHighPrecisionTimer = [this](long double s, long double d, int64_t n) {
      ticks.push_back({s, d, n});
    };
  }

  void AdvanceSeconds(double s) { counter.Advance(static_cast<int64_t>(s * kRate)); }
  // Pumps until `count` ticks in all have arrived (generous: the worker looks every few ms).
  bool WaitTicks(size_t count) {
    return dispatcher.RunUntil([&] { return ticks.size() >= count; },
                               std::chrono::seconds(10));
  }
  // Pumps long enough for a tick that was due to have arrived.
  void Settle() { dispatcher.RunFor(std::chrono::milliseconds(60)); }

  TFakeCounter counter{kRate};
  TLoopDispatcher dispatcher;
  TVrHPTimeBase base;
  TVrHPTimer timer;
  std::vector<TTick> ticks;
};
