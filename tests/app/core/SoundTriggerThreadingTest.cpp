// The inhibition flag between a real capture thread and the UI thread: the capture thread
// starts sounds and timers without ever waiting (or, as an audio server's real-time thread, has
// the UI thread start them), the UI thread's ticks end each window, and every start is followed
// by exactly one tick.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include "SoundTriggerFixture.h"
#include "platform/RealtimeThread.h"
#include "platform/SteadyClock.h"

namespace {

using namespace std::chrono_literals;

class SoundTriggerThreading : public ::testing::TestWithParam<bool> {};

TEST_P(SoundTriggerThreading, CaptureThreadTriggersWhileTicksEndTheWindows) {
  TLoopDispatcher dispatcher;
  TVrHPTimeBase base;
  TVrHPTimer t0(dispatcher), t1(dispatcher);
  t0.SetHPTimeBase(&base);
  t1.SetHPTimeBase(&base);
  TVirtualSoundService service(SystemTickClock());
  TVrWave w0(service), w1(service);
  const uint8_t x[] = {'x'};
  w0.Sound().SetData(x, 1);
  TMySound sounds[2];
  sounds[0].Wave = &w0;
  sounds[1].Wave = &w1;  // empty: plays nothing, still inhibits
  TSoundTrigger trigger(sounds, t0, t1);
  trigger.DurationChange(2);

  std::atomic<int> ticks{0};
  for (int c = 0; c < 2; ++c) {
    auto& t = c ? t1 : t0;
    t.OnHighPrecisionTimer = [&, c](long double, long double, int64_t) {
      trigger.InhibitionElapsed(c);
      ++ticks;
    };
  }

  std::atomic<bool> quit{false};
  std::atomic<int> starts{0};
  std::thread capture([&] {
    std::optional<TRealtimeThreadMark> realtime;
    if (GetParam()) realtime.emplace();
    while (!quit.load()) {
      for (int c = 0; c < 2; ++c) {
        if (!sounds[c].Inhibited.load(std::memory_order_acquire)) {
          trigger.TriggerSound(c, 100);
          ++starts;
        }
      }
      std::this_thread::sleep_for(1ms);
    }
  });
  // The UI thread meanwhile loads and stops sounds, as the controls would.
  const auto end = std::chrono::steady_clock::now() + 1500ms;
  while (std::chrono::steady_clock::now() < end) {
    dispatcher.RunFor(20ms);
    w1.Sound().SetData(x, 1);
    trigger.StopChannelSound(0);
    w1.Sound().Clear();
  }
  quit = true;
  capture.join();
  // Let the last windows end.
  ASSERT_TRUE(
      dispatcher.RunUntil([&] { return !sounds[0].Inhibited && !sounds[1].Inhibited; }, 10s));
  EXPECT_GT(starts.load(), 20);
  EXPECT_EQ(ticks.load(), starts.load()) << "one tick per start, none lost or doubled";
}

INSTANTIATE_TEST_SUITE_P(CaptureOrCycle, SoundTriggerThreading, ::testing::Bool());

}  // namespace
