// The high-precision timer: its properties, its refusal to run without a rate, and its tick
// schedule on a counter the test moves by hand.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "TimerFixture.h"
#include "platform/SteadyClock.h"

namespace {

TEST(VrHPTimerProperties, DefaultsAndPeriodFrequencyPair) {
  TLoopDispatcher dispatcher;
  TVrHPTimer t(dispatcher);
  EXPECT_FALSE(t.Enabled());
  EXPECT_EQ(t.Frequency(), 1.0L);
  EXPECT_EQ(t.TimePeriod(), 1.0L);
  EXPECT_EQ(t.ThreadPriority(), TThreadPriority::tpNormal);
  EXPECT_EQ(t.HPTimeBase(), nullptr);

  t.SetFrequency(4);
  EXPECT_EQ(t.TimePeriod(), 0.25L);
  t.SetTimePeriod(0.03L);
  EXPECT_NEAR(static_cast<double>(t.Frequency()), 33.3333333333333, 1e-9);

  for (long double bad : {0.0L, -1.0L, -0.001L}) {
    t.SetTimePeriod(bad);
    t.SetFrequency(bad);
  }
  t.SetTimePeriod(std::numeric_limits<long double>::quiet_NaN());
  EXPECT_EQ(t.TimePeriod(), 0.03L);
  EXPECT_NEAR(static_cast<double>(t.Frequency()), 33.3333333333333, 1e-9);

  t.SetVersion("2.0");
  EXPECT_EQ(t.Version(), "1.3");
}

TEST(VrHPTimerProperties, RefusesToEnableWithoutARate) {
  TLoopDispatcher dispatcher;
  TVrHPTimer t(dispatcher);
  t.SetTimePeriod(0.01L);
  t.SetEnabled(true);  // no time base: must return rather than wait forever
  EXPECT_FALSE(t.Enabled());
  EXPECT_FALSE(t.Start());

  TFakeCounter stopped(0);  // a counter with no rate
  TVrHPTimeBase base(stopped);
  EXPECT_EQ(base.TicksPerSecond(), 0);
  t.SetHPTimeBase(&base);
  t.SetEnabled(true);
  EXPECT_FALSE(t.Enabled());
}

TEST(VrHPTimeBase, RateTicksAndRemoval) {
  TFakeCounter counter(1000);
  TLoopDispatcher dispatcher;
  TVrHPTimer a(dispatcher);
  TVrHPTimer b(dispatcher);
  {
    TVrHPTimeBase base(counter);
    EXPECT_EQ(base.TicksPerSecond(), 1000);
    counter.Set(500);
    EXPECT_EQ(base.TicksSince(200), 300);
    EXPECT_EQ(base.TicksSince(800), -300);
    counter.Set(INT64_MAX);
    EXPECT_THROW(base.TicksSince(-1), std::overflow_error);
    counter.Set(0);
    if (base.IDAvailable()) {
      EXPECT_GT(base.Family(), 0);
    }
    if (base.CPUSpeedHz() > 0) {
      EXPECT_NEAR(base.CPUSpeedMhz(), base.CPUSpeedHz() / 1e6, 1e-6);
    }

    a.SetHPTimeBase(&base);
    b.SetHPTimeBase(&base);
    a.SetTimePeriod(10);
    ASSERT_TRUE(a.Start());
    ASSERT_TRUE(a.Enabled());
  }
  // Removing the time base clears it on every timer and stops the one running.
  EXPECT_EQ(a.HPTimeBase(), nullptr);
  EXPECT_EQ(b.HPTimeBase(), nullptr);
  EXPECT_FALSE(a.Enabled());
}

TEST_F(FakeTimerTest, FirstTickIsNumberTwoAtTwoPeriods) {
  timer.SetTimePeriod(0.03L);
  ASSERT_TRUE(timer.Start());
  AdvanceSeconds(0.059);
  Settle();
  EXPECT_TRUE(ticks.empty());
  AdvanceSeconds(0.001);
  ASSERT_TRUE(WaitTicks(1));
  EXPECT_EQ(ticks[0].N, 2);
  EXPECT_NEAR(static_cast<double>(ticks[0].Seconds), 0.06, 1e-9);
  EXPECT_NEAR(static_cast<double>(ticks[0].Delta), 0.03, 1e-9);
}

TEST_F(FakeTimerTest, OverdueTicksFollowAtOnceAndKeepTheSchedule) {
  timer.SetTimePeriod(0.01L);
  ASSERT_TRUE(timer.Start());
  AdvanceSeconds(0.0505);  // ticks 2 to 5 are all due
  ASSERT_TRUE(WaitTicks(4));
  Settle();
  ASSERT_EQ(ticks.size(), 4u);
  for (size_t i = 0; i < ticks.size(); ++i) EXPECT_EQ(ticks[i].N, static_cast<int64_t>(i + 2));
  // Tick 6 is due at 0.06 s from the start, not one period after the late deliveries.
  AdvanceSeconds(0.009);
  Settle();
  EXPECT_EQ(ticks.size(), 4u);
  AdvanceSeconds(0.001);
  ASSERT_TRUE(WaitTicks(5));
  EXPECT_EQ(ticks[4].N, 6);
}

TEST_F(FakeTimerTest, DisablingInTheHandlerGivesOneTickPerEnable) {
  timer.SetTimePeriod(0.02L);
  timer.OnHighPrecisionTimer = [this](long double s, long double d, int64_t n) {
    ticks.push_back({s, d, n});
    timer.SetEnabled(false);
  };
  for (int round = 1; round <= 3; ++round) {
    ASSERT_TRUE(timer.Start());
    AdvanceSeconds(0.2);  // ten periods
    ASSERT_TRUE(WaitTicks(round));
    Settle();
    ASSERT_EQ(ticks.size(), static_cast<size_t>(round));
    EXPECT_EQ(ticks.back().N, 2);  // each enable restarts the schedule
    EXPECT_FALSE(timer.Enabled());
  }
}

TEST_F(FakeTimerTest, EnablingAgainDoesNotRestartTheSchedule) {
  timer.SetTimePeriod(0.01L);
  ASSERT_TRUE(timer.Start());
  AdvanceSeconds(0.015);
  EXPECT_FALSE(timer.Start());
  timer.SetEnabled(true);  // the current value: returns at once, nothing restarts
  AdvanceSeconds(0.005);   // 0.02 s since the first enable
  ASSERT_TRUE(WaitTicks(1));
  EXPECT_EQ(ticks[0].N, 2);
}

TEST_F(FakeTimerTest, DisabledTimerDeliversNothing) {
  timer.SetTimePeriod(0.01L);
  ASSERT_TRUE(timer.Start());
  AdvanceSeconds(0.015);
  timer.SetEnabled(false);
  AdvanceSeconds(0.1);
  Settle();
  EXPECT_TRUE(ticks.empty());
}

TEST_F(FakeTimerTest, NewPeriodCountsAtTheNextComparison) {
  timer.SetTimePeriod(1.0L);
  ASSERT_TRUE(timer.Start());
  AdvanceSeconds(0.05);
  Settle();
  EXPECT_TRUE(ticks.empty());
  timer.SetTimePeriod(0.02L);  // tick 2 now due at 0.04 s: overdue
  ASSERT_TRUE(WaitTicks(1));
  EXPECT_EQ(ticks[0].N, 2);
}

TEST_F(FakeTimerTest, DestroyingWithADeliveryPendingDoesNotHang) {
  auto t = std::make_unique<TVrHPTimer>(dispatcher);
  t->SetHPTimeBase(&base);
  t->SetTimePeriod(0.01L);
  int late = 0;
  t->OnHighPrecisionTimer = [&](long double, long double, int64_t) { ++late; };
  ASSERT_TRUE(t->Start());
  AdvanceSeconds(0.03);
  // The worker has posted its tick and waits; the main thread has not pumped.
  for (int i = 0; i < 2000 && dispatcher.PendingCount() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_GT(dispatcher.PendingCount(), 0u);
  t.reset();
  dispatcher.ProcessPending();  // the stale delivery runs into nothing
  EXPECT_EQ(late, 0);
}

// On the real counter, within bounds a loaded machine always meets.
TEST(VrHPTimerRealClock, EnableWaitsOnePeriodAndTicksAtTwo) {
  TLoopDispatcher dispatcher;
  TVrHPTimeBase base;
  TVrHPTimer t(dispatcher);
  t.SetHPTimeBase(&base);
  t.SetTimePeriod(0.03L);
  std::vector<TTick> ticks;
  t.OnHighPrecisionTimer = [&](long double s, long double d, int64_t n) {
    ticks.push_back({s, d, n});
    t.SetEnabled(false);
  };
  using Clock = std::chrono::steady_clock;
  const auto t0 = Clock::now();
  t.SetEnabled(true);
  const auto returned = Clock::now() - t0;
  EXPECT_GE(returned, std::chrono::milliseconds(29));
  EXPECT_LT(returned, std::chrono::seconds(3));
  ASSERT_TRUE(dispatcher.RunUntil([&] { return !ticks.empty(); }, std::chrono::seconds(10)));
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(59));
  EXPECT_EQ(ticks[0].N, 2);
  EXPECT_GE(ticks[0].Seconds, 0.06L - 1e-6L);
  EXPECT_GT(ticks[0].Delta, 0);
  EXPECT_LT(ticks[0].Delta, ticks[0].Seconds);
}

}  // namespace
