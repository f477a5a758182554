// Capture, dispatch and main-thread delivery with real threads: the wave thread delivering while
// the test thread stops, reconnects and pumps. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "CaptureProbe.h"
#include "audio/ALAudioIn.h"
#include "audio/ALGenericFilter.h"
#include "audio/ALWaveThread.h"
#include "platform/virtual/LoopDispatcher.h"
#include "platform/virtual/VirtualWaveIn.h"

namespace {

using namespace std::chrono_literals;

int32_t Ramp(uint64_t frame, uint32_t) { return static_cast<int16_t>(frame & 0x7FFF); }

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 20s) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(AudioInThreading, StopWaitsForTheBlockBeingDeliveredAndNothingFollows) {
  TVirtualWaveIn wave_in({"In"});
  wave_in.SetSignal(Ramp);
  TALAudioIn capture(wave_in);
  capture.AudioFormat().SetBufferSize(64);
  CaptureProbe first, second;
  capture.OutputPin().Connect(first.pin);
  capture.OutputPin().Connect(second.pin);

  std::atomic<bool> in_delivery{false}, release{false};
  std::atomic<int> seen{0};
  auto hold_third = [&] {
    if (++seen == 3) {
      in_delivery = true;
      WaitUntil([&] { return release.load(); });
    }
  };
  // Whichever sink comes first in that dispatch holds the block.
  first.on_buffer = hold_third;
  second.on_buffer = hold_third;
  capture.SetEnabled(true);
  ASSERT_TRUE(WaitUntil([&] { return in_delivery.load(); }));

  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    capture.SetEnabled(false);
    stopped = true;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(stopped.load());  // Stop is waiting for the delivery
  release = true;
  stopper.join();
  EXPECT_FALSE(capture.Enabled());

  // The block in delivery reached both sinks, and none came after the stop.
  const size_t a = first.Count("buffer"), b = second.Count("buffer");
  EXPECT_EQ(a, b);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(first.Count("buffer"), a);
  EXPECT_EQ(first.Kinds().back(), "endstop");
  EXPECT_EQ(second.Kinds().back(), "endstop");
}

TEST(AudioInThreading, RepeatedStartStopWhileBlocksFlow) {
  TVirtualWaveIn wave_in({"In"});
  wave_in.SetSignal(Ramp);
  TALAudioIn capture(wave_in);
  capture.AudioFormat().SetBufferSize(32);
  CaptureProbe probe;
  capture.OutputPin().Connect(probe.pin);
  for (int cycle = 0; cycle < 20; ++cycle) {
    probe.Clear();
    capture.SetEnabled(true);
    ASSERT_TRUE(probe.WaitCount("buffer", 5));
    capture.SetEnabled(false);
    const auto kinds = probe.Kinds();
    ASSERT_EQ(kinds.front(), "start");
    ASSERT_EQ(kinds.back(), "endstop");
    EXPECT_EQ(probe.Count("resume"), 1u);
    // Each start begins the device's frames from zero, in order, with no stale block of the
    // previous run in between.
    uint64_t frame = 0;
    for (const auto& e : probe.Events()) {
      if (e.kind != "buffer") continue;
      for (uint32_t i = 0; i < e.frames; ++i, ++frame) ASSERT_EQ(e.samples[2 * i], Ramp(frame, 0));
    }
  }
}

TEST(AudioInThreading, SinksJoinAndLeaveWhileTheWaveThreadDelivers) {
  TVirtualWaveIn wave_in({"In"});
  wave_in.SetSignal(Ramp);
  TALAudioIn capture(wave_in);
  capture.AudioFormat().SetBufferSize(32);
  CaptureProbe steady;
  capture.OutputPin().Connect(steady.pin);
  capture.SetEnabled(true);
  for (int i = 0; i < 50; ++i) {
    CaptureProbe visitor;
    capture.OutputPin().Connect(visitor.pin);
    visitor.WaitCount("buffer", 1, 2s);
    visitor.pin.Disconnect();
    const auto kinds = visitor.Kinds();
    ASSERT_GE(kinds.size(), 3u);
    // Whatever it caught of the stream, it learnt the format first and was stopped last.
    EXPECT_EQ(kinds[0], "start");
    EXPECT_EQ(kinds.back(), "stop");
  }
  capture.SetEnabled(false);
  EXPECT_GT(steady.Count("buffer"), 0u);
}

TEST(AudioInThreading, QueuedFilterOnTheMainThreadSeesEveryBlockInOrder) {
  TLoopDispatcher dispatcher;
  TVirtualWaveIn wave_in({"In"});
  wave_in.SetSignal(Ramp);
  TALAudioIn capture(wave_in);
  capture.AudioFormat().SetBufferSize(32);
  TALGenericFilter filter(dispatcher);
  filter.SetSynchronizeType(stQueue);
  capture.OutputPin().Connect(filter.InputPin());
  std::vector<int32_t> firsts;
  bool always_main = true;
  filter.SetOnProcessData([&](TALGenericFilter&, const IALAudioBufferPtr& in, IALAudioBufferPtr&,
                              bool&) {
    always_main = always_main && dispatcher.IsMainThread();
    firsts.push_back(in->GetAccess()->GetSample(0, 0));
  });
  capture.SetEnabled(true);
  ASSERT_TRUE(dispatcher.RunUntil([&] { return firsts.size() >= 500; }, 20s));
  // The window's order: the filter, then the capture.
  filter.SetEnabled(false);
  capture.SetEnabled(false);
  dispatcher.ProcessPending();  // what was still waiting was discarded by the stop
  EXPECT_TRUE(always_main);
  for (size_t i = 0; i < firsts.size(); ++i) ASSERT_EQ(firsts[i], Ramp(i * 32, 0));
}

TEST(AudioInThreading, StoppingWorksWhileTheMainThreadIsFourHundredBuffersBehind) {
  TLoopDispatcher dispatcher;
  TVirtualWaveIn wave_in({"In"});
  TALAudioIn capture(wave_in);
  capture.AudioFormat().SetBufferSize(32);
  TALGenericFilter filter(dispatcher);
  filter.SetSynchronizeType(stSingleBuffer);
  capture.OutputPin().Connect(filter.InputPin());
  std::atomic<int> handled{0};
  filter.SetOnProcessData(
      [&](TALGenericFilter&, const IALAudioBufferPtr&, IALAudioBufferPtr&, bool&) { ++handled; });
  capture.SetEnabled(true);
  // The main thread does not pump: the wave thread soon waits for a permit, inside the dispatch.
  ASSERT_TRUE(WaitUntil([&] { return dispatcher.PendingCount() >= 400; }));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(dispatcher.PendingCount(), 400u);
  // Setting a handler and switching off must not wait for that wave thread.
  filter.SetOnProcessData(
      [&](TALGenericFilter&, const IALAudioBufferPtr&, IALAudioBufferPtr&, bool&) { ++handled; });
  filter.SetEnabled(false);
  capture.SetEnabled(false);
  EXPECT_FALSE(capture.Enabled());
  dispatcher.ProcessPending();
  EXPECT_EQ(handled.load(), 0);  // the stop discarded the waiting buffer
}

TEST(AudioInThreading, GlobalWriteWaitsForAReaderOnAnotherThread) {
  auto& global = TOWGlobalLockObject();
  std::atomic<bool> reading{false}, release{false}, written{false};
  std::thread reader([&] {
    global.BeginRead();
    reading = true;
    WaitUntil([&] { return release.load(); });
    global.EndRead();
  });
  ASSERT_TRUE(WaitUntil([&] { return reading.load(); }));
  std::thread writer([&] {
    global.BeginWrite();
    written = true;
    global.EndWrite();
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(written.load());
  // A waiting writer does not hold back another reader (the capture thread dispatching).
  std::atomic<bool> second_read{false};
  std::thread second([&] {
    global.BeginRead();
    second_read = true;
    global.EndRead();
  });
  EXPECT_TRUE(WaitUntil([&] { return second_read.load(); }));
  second.join();
  release = true;
  reader.join();
  writer.join();
  EXPECT_TRUE(written.load());
}

TEST(WaveThreadThreading, NoticesRunInPostingOrderOnTheWaveThread) {
  std::mutex mutex;
  std::vector<uint32_t> got;
  bool on_other_thread = true;
  const auto test_thread = std::this_thread::get_id();
  TALWaveThread thread([&](uint32_t message, void*, void* param) {
    std::lock_guard lock(mutex);
    got.push_back(message + static_cast<uint32_t>(reinterpret_cast<uintptr_t>(param)));
    on_other_thread = on_other_thread && std::this_thread::get_id() != test_thread;
  });
  for (uint32_t i = 0; i < 100; ++i)
    ASSERT_TRUE(thread.Post(i * 10, nullptr, reinterpret_cast<void*>(uintptr_t{1})));
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard lock(mutex);
    return got.size() == 100;
  }));
  std::lock_guard lock(mutex);
  for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(got[i], i * 10 + 1);
  EXPECT_TRUE(on_other_thread);
}

TEST(WaveThreadThreading, AtMostTwoThousandNoticesWait) {
  std::atomic<bool> gate{false}, taken{false};
  std::atomic<int> handled{0};
  TALWaveThread thread([&](uint32_t, void*, void*) {
    taken = true;
    WaitUntil([&] { return gate.load(); });
    ++handled;
  });
  ASSERT_TRUE(thread.Post(0, nullptr, nullptr));
  ASSERT_TRUE(WaitUntil([&] { return taken.load(); }));  // notice 0 is held at the gate
  int accepted = 0;
  for (int i = 0; i < 2100; ++i) accepted += thread.Post(1, nullptr, nullptr);
  EXPECT_EQ(accepted, 2000);
  gate = true;
  EXPECT_TRUE(WaitUntil([&] { return handled.load() == 2001; }));
}

TEST(WaveThreadThreading, TerminateDiscardsWaitingNotices) {
  std::atomic<bool> gate{false};
  std::atomic<int> handled{0};
  auto thread = std::make_unique<TALWaveThread>([&](uint32_t, void*, void*) {
    WaitUntil([&] { return gate.load(); }, 2s);
    ++handled;
  });
  for (int i = 0; i < 10; ++i) thread->Post(0, nullptr, nullptr);
  std::thread opener([&] {
    std::this_thread::sleep_for(50ms);
    gate = true;
  });
  thread->Terminate();
  opener.join();
  EXPECT_LE(handled.load(), 1);
  EXPECT_FALSE(thread->Post(0, nullptr, nullptr));
}

}  // namespace
