// Blocks reported from an audio server's cycle: dispatched there while every lock is free, sent
// to the wave thread while the filter's lock or the global lock is held elsewhere, and seen by
// the handler in capture order either way. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include "audio/ALAudioIn.h"
#include "audio/ALGenericFilter.h"
#include "audio/ALPPMMeter.h"
#include "platform/virtual/LoopDispatcher.h"

namespace {

using namespace std::chrono_literals;

thread_local bool tl_cycle = false;

// A device whose blocks are reported by Deliver, on a thread of the test's that plays the cycle.
struct CycleDevice final : IWaveInDevice {
  TWaveInCallback callback;
  std::mutex mutex;
  std::deque<TWaveInBlock*> blocks;

  void AddBuffer(TWaveInBlock* block) override {
    std::lock_guard lock(mutex);
    blocks.push_back(block);
  }
  void Start() override {}
  void Reset() override {
    std::deque<TWaveInBlock*> left;
    {
      std::lock_guard lock(mutex);
      left.swap(blocks);
    }
    for (auto* block : left) {
      block->recorded = 0;
      callback(this, kWimData, block);
    }
  }
  void Close() override {}
  bool InRealtimeCycle() const override { return tl_cycle; }

  // One block whose samples all hold value, reported from a cycle thread.
  void Deliver(int16_t value) {
    std::thread cycle([&] {
      tl_cycle = true;
      TWaveInBlock* block = nullptr;
      {
        std::lock_guard lock(mutex);
        ASSERT_FALSE(blocks.empty());
        block = blocks.front();
        blocks.pop_front();
      }
      auto* p = reinterpret_cast<int16_t*>(block->data);
      for (uint32_t i = 0; i < block->bytes / 2; ++i) p[i] = value;
      block->recorded = block->bytes;
      callback(this, kWimData, block);
    });
    cycle.join();
  }
};

struct CycleWaveIn final : IWaveIn {
  CycleDevice* device = nullptr;
  std::vector<std::string> DeviceNames() override { return {"Cycle"}; }
  std::unique_ptr<IWaveInDevice> Open(int, const TWaveInFormat&, TWaveInCallback cb) override {
    auto opened = std::make_unique<CycleDevice>();
    opened->callback = std::move(cb);
    device = opened.get();
    return opened;
  }
};

bool WaitUntil(const std::function<bool()>& pred) {
  const auto end = std::chrono::steady_clock::now() + 20s;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(AudioInCycleThreading, BusyLocksSendBlocksToTheWaveThreadAndOrderHolds) {
  CycleWaveIn wave_in;
  TLoopDispatcher ui;
  TALAudioIn capture(wave_in);
  capture.AudioFormat().SetBufferSize(64);
  TALGenericFilter filter(ui);
  filter.SetSynchronizeType(stNone);
  TALPPMMeter meter(ui);  // served on the wave thread beside the cycle
  meter.SetSynchronizeType(stNone);
  meter.SetPeriod(5);
  std::mutex mutex;
  std::vector<int> seen;
  std::vector<bool> in_cycle;
  filter.SetOnProcessData(
      [&](TALGenericFilter&, const IALAudioBufferPtr& in, IALAudioBufferPtr&, bool&) {
        const int value = in->GetAccess()->GetSample(0, 0);
        std::lock_guard lock(mutex);
        seen.push_back(value);
        in_cycle.push_back(tl_cycle);
      });
  auto count = [&] {
    std::lock_guard lock(mutex);
    return seen.size();
  };
  // A sink outside the cycle that notes what it gets: the first block, then the resume.
  std::vector<int> order;  // sample value of each block, 0 for the resume
  TALOWAudioSinkPin recorder(nullptr, [&](const IOWNotifyOperationPtr& op, uint32_t) {
    std::lock_guard lock(mutex);
    if (auto* supplied = op->As<TOWSuppliedBufferOperation>())
      order.push_back(supplied->Buffer()->GetAccess()->GetSample(0, 0));
    else if (op->Is<TOWSLResumeOperation>())
      order.push_back(0);
    return false;
  });
  capture.OutputPin().Connect(filter.InputPin());
  capture.OutputPin().Connect(meter.InputPin());
  capture.OutputPin().Connect(recorder);
  capture.SetEnabled(true);
  ASSERT_NE(wave_in.device, nullptr);

  int next = 1;
  // Each once the wave thread has served the sinks outside the cycle (it holds the capture
  // lock meanwhile): with every lock free, each block is handled inside its cycle.
  auto served = [&] {
    std::lock_guard lock(mutex);
    return order.size() == seen.size() + 1;
  };
  for (int i = 0; i < 4; ++i) {
    wave_in.device->Deliver(static_cast<int16_t>(next++));
    ASSERT_TRUE(WaitUntil(served));
  }
  EXPECT_EQ(count(), 4u);
  {
    TOWWriteLockSection held(filter);  // the UI reconfiguring the filter
    for (int i = 0; i < 3; ++i) wave_in.device->Deliver(static_cast<int16_t>(next++));
    EXPECT_EQ(count(), 4u);
  }
  ASSERT_TRUE(WaitUntil([&] { return count() == 7; }));
  {
    TOWGlobalWriteLockSection held;  // a pin being connected
    wave_in.device->Deliver(static_cast<int16_t>(next++));
  }
  ASSERT_TRUE(WaitUntil([&] { return count() == 8; }));
  // Once the wave thread has caught up, the cycle takes blocks again.
  bool back_in_cycle = false;
  for (int i = 0; i < 200 && !back_in_cycle; ++i) {
    wave_in.device->Deliver(static_cast<int16_t>(next++));
    ASSERT_TRUE(WaitUntil([&] { return count() == static_cast<size_t>(next - 1); }));
    std::lock_guard lock(mutex);
    back_in_cycle = in_cycle.back();
  }
  // Every block's share outside the cycle, and the resume, before the capture stops.
  ASSERT_TRUE(WaitUntil(served));
  capture.SetEnabled(false);

  std::lock_guard lock(mutex);
  for (size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], static_cast<int>(i) + 1);
  EXPECT_TRUE(in_cycle[0] && in_cycle[1] && in_cycle[2] && in_cycle[3])
      << "the first block too: its resume is made at start";
  ASSERT_GE(order.size(), 3u);
  EXPECT_EQ(order[0], 1);
  EXPECT_EQ(order[1], 0) << "one resume, right after the first block";
  for (size_t i = 2; i < order.size(); ++i) EXPECT_EQ(order[i], static_cast<int>(i)) << i;
  for (size_t i = 4; i < 8; ++i) EXPECT_FALSE(in_cycle[i]) << "block " << i + 1;
  EXPECT_TRUE(back_in_cycle);
  EXPECT_GT(meter.Value(0), 0.0) << "the meter's share never reached it";
  // Each block that left the cycle is counted once, with its reason: the filter's lock (or the
  // engine's, when the wave thread is still finishing the last block's share as the cycle
  // comes: seen on a loaded machine), then the blocks behind it; the global lock (or the blocks
  // still waiting) for the next one.
  const TALCycleFallbacks f = capture.CycleFallbacks();
  EXPECT_EQ(capture.CycleBlocks(), seen.size());
  EXPECT_EQ(f.Total(), static_cast<uint64_t>(std::count(in_cycle.begin(), in_cycle.end(), false)));
  EXPECT_GE(f.GroupLock + f.EngineLock, 1u);
  EXPECT_GE(f.Behind, 2u);
  EXPECT_EQ(f.CaptureLock + f.Other, 0u);
}

// The window's chain: a meter nobody reads is left out of the cycle's dispatch (nothing goes to
// the wave thread for it), and the filter's handler, replaced while blocks flow, is never called
// once freed.
TEST(AudioInCycleThreading, AnUnreadMeterStaysOutAndAReplacedHandlerIsNeverCalledFreed) {
  CycleWaveIn wave_in;
  TLoopDispatcher ui;
  TALAudioIn capture(wave_in);
  capture.AudioFormat().SetBufferSize(64);
  TALGenericFilter filter(ui);
  filter.SetSynchronizeType(stNone);
  TALPPMMeter meter(ui);
  meter.SetSynchronizeType(stNone);
  meter.SetPeriod(5);
  capture.OutputPin().Connect(filter.InputPin());
  capture.OutputPin().Connect(meter.InputPin());
  std::atomic<int> calls{0}, freed_calls{0};
  // Each handler knows when it has been destroyed.
  auto handler = [&] {
    auto alive = std::make_shared<std::atomic<bool>>(true);
    struct TMark {
      std::shared_ptr<std::atomic<bool>> alive;
      ~TMark() { alive->store(false); }
    };
    std::shared_ptr<TMark> mark(new TMark{alive});
    return
        [&, alive, mark](TALGenericFilter&, const IALAudioBufferPtr&, IALAudioBufferPtr&, bool&) {
          if (!alive->load()) ++freed_calls;
          ++calls;
        };
  };
  filter.SetOnProcessData(handler());
  capture.SetEnabled(true);
  ASSERT_NE(wave_in.device, nullptr);

  std::atomic<bool> done{false};
  std::thread ui_thread([&] {
    while (!done) filter.SetOnProcessData(handler());
  });
  for (int i = 0; i < 300; ++i) wave_in.device->Deliver(1000);
  done = true;
  ui_thread.join();
  ASSERT_TRUE(WaitUntil([&] { return calls.load() == 300; }));
  EXPECT_EQ(freed_calls.load(), 0);
  EXPECT_EQ(capture.CycleFallbacks().Total(), 0u) << "every block was handled in its cycle";
  EXPECT_EQ(meter.Value(0), 0.0) << "nobody reads the meter: it was left out";

  // Once its levels are read, the meter gets its share again (on the wave thread).
  std::atomic<int> levels{0};
  meter.SetOnValueChange([&](TALCommonMeter&, int32_t, double, double) { ++levels; });
  for (int i = 0; i < 20; ++i) wave_in.device->Deliver(1000);
  EXPECT_TRUE(WaitUntil([&] { return levels.load() > 0; }));
  capture.SetEnabled(false);
}

}  // namespace
