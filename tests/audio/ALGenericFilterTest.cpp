#include "audio/ALGenericFilter.h"

#include <gtest/gtest.h>

#include "CaptureProbe.h"
#include "audio/ALAudioIn.h"
#include "platform/virtual/LoopDispatcher.h"
#include "platform/virtual/VirtualWaveIn.h"

namespace {

struct Source : TOWComponentBase {
  std::vector<std::string> upstream;
  TALOWAudioSourcePin pin{this, [this](const IOWNotifyOperationPtr& op, uint32_t) {
                            upstream.push_back(CaptureProbe::Kind(op));
                            return true;
                          }};
  ~Source() override { pin.DisconnectAll(); }
};

IALAudioBufferPtr Tagged(int tag) {
  auto buffer = TALAudioBuffer::Create(16, 4, 2);
  buffer->GetAccess()->SetSample(0, 0, tag);
  return buffer;
}
int TagOf(const IALAudioBufferPtr& buffer) { return buffer->GetAccess()->GetSample(0, 0); }

struct FilterFixture : ::testing::Test {
  TLoopDispatcher dispatcher;
  Source source;
  TALGenericFilter filter{dispatcher};
  CaptureProbe downstream;
  std::vector<int> handled;
  std::vector<bool> handled_on_main;
  bool send_output = true;

  void SetUp() override {
    source.pin.Connect(filter.InputPin());
    filter.OutputPin().Connect(downstream.pin);
    filter.SetOnProcessData([this](TALGenericFilter& sender, const IALAudioBufferPtr& in,
                                   IALAudioBufferPtr& out, bool& send) {
      EXPECT_EQ(&sender, &filter);
      EXPECT_EQ(in->Block(), out->Block());  // the output shares the input's samples
      handled.push_back(TagOf(in));
      handled_on_main.push_back(dispatcher.IsMainThread());
      send = send_output;
    });
  }
  std::vector<int> DownstreamTags() const {
    std::vector<int> tags;
    for (const auto& e : downstream.Events())
      if (e.kind == "buffer") tags.push_back(e.samples[0]);
    return tags;
  }
};

TEST_F(FilterFixture, DisabledFilterPassesEveryBufferUnchangedWithoutTheHandler) {
  filter.SetEnabled(false);
  for (int i = 0; i < 5; ++i) source.pin.SendData(Tagged(i));
  EXPECT_TRUE(handled.empty());
  EXPECT_EQ(DownstreamTags(), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST_F(FilterFixture, NoSyncRunsTheHandlerInsideTheDispatchThenSendsOn) {
  std::thread delivering([&] {
    for (int i = 0; i < 3; ++i) source.pin.SendData(Tagged(i));
  });
  delivering.join();
  EXPECT_EQ(handled, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(handled_on_main, (std::vector<bool>{false, false, false}));
  EXPECT_EQ(DownstreamTags(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(dispatcher.PendingCount(), 0u);
}

TEST_F(FilterFixture, HandlerRunsOncePerBufferWithNothingConnectedDownstream) {
  downstream.pin.Disconnect();
  for (int i = 0; i < 4; ++i) source.pin.SendData(Tagged(i));
  EXPECT_EQ(handled.size(), 4u);
}

TEST_F(FilterFixture, HandlerCanReplaceTheOutputBuffer) {
  filter.SetOnProcessData([](TALGenericFilter&, const IALAudioBufferPtr&, IALAudioBufferPtr& out,
                             bool&) { out = Tagged(99); });
  source.pin.SendData(Tagged(1));
  EXPECT_EQ(DownstreamTags(), std::vector<int>{99});
}

TEST_F(FilterFixture, SuppressedOutputWithEverySynchronizeType) {
  send_output = false;
  for (auto type : {stNone, stSingleBuffer, stQueue}) {
    handled.clear();
    filter.SetSynchronizeType(type);
    source.pin.SendData(Tagged(static_cast<int>(type)));
    dispatcher.ProcessPending();
    EXPECT_EQ(handled.size(), 1u);
  }
  EXPECT_TRUE(DownstreamTags().empty());
}

TEST_F(FilterFixture, SingleBufferModeKeepsOnlyTheFirstOfABurst) {
  filter.SetSynchronizeType(stSingleBuffer);
  std::thread delivering([&] {
    for (int i = 0; i < 10; ++i) source.pin.SendData(Tagged(i));
  });
  delivering.join();
  EXPECT_TRUE(handled.empty());  // nothing runs before the main thread pumps
  EXPECT_TRUE(DownstreamTags().empty());
  dispatcher.ProcessPending();
  EXPECT_EQ(handled, std::vector<int>{0});
  EXPECT_EQ(handled_on_main, std::vector<bool>{true});
  EXPECT_EQ(DownstreamTags(), std::vector<int>{0});  // sent on from the main thread
}

TEST_F(FilterFixture, QueueModeRunsEveryBufferInOrderOnTheMainThread) {
  filter.SetSynchronizeType(stQueue);
  std::thread delivering([&] {
    for (int i = 0; i < 10; ++i) source.pin.SendData(Tagged(i));
  });
  delivering.join();
  dispatcher.ProcessPending();
  EXPECT_EQ(handled, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(handled_on_main, std::vector<bool>(10, true));
  EXPECT_EQ(DownstreamTags(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(FilterFixture, StopCallsOnStopOnceAndDiscardsWaitingBuffers) {
  int stops = 0;
  filter.SetOnStop([&](TALGenericFilter&) { ++stops; });
  filter.SetSynchronizeType(stQueue);
  for (int i = 0; i < 5; ++i) source.pin.SendData(Tagged(i));
  EXPECT_EQ(filter.PendingBuffers(), 5u);
  source.pin.Notify(std::make_shared<TOWEndStopOperation>());
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(filter.PendingBuffers(), 0u);
  dispatcher.ProcessPending();
  EXPECT_TRUE(handled.empty());
  EXPECT_EQ(downstream.Kinds(), std::vector<std::string>{"endstop"});  // passed on
}

TEST_F(FilterFixture, StartReportsTheStreamFormatAndIsPassedOn) {
  TWaveFormatEx seen{};
  filter.SetOnStart([&](TALGenericFilter&, const TWaveFormatEx* format) { seen = *format; });
  source.pin.Notify(
      std::make_shared<TOWStartWaveOperation>(44100, TWaveFormatEx::Pcm(2, 16, 44100), 1.0));
  EXPECT_EQ(seen.nSamplesPerSec, 44100u);
  EXPECT_EQ(seen.nChannels, 2);
  EXPECT_EQ(seen.wBitsPerSample, 16);
  EXPECT_EQ(seen.nBlockAlign, 4);
  EXPECT_EQ(filter.StreamFormat(), seen);
  EXPECT_EQ(downstream.Kinds(), std::vector<std::string>{"start"});
}

TEST_F(FilterFixture, OtherOperationsAreRoutedBothWays) {
  source.pin.Notify(std::make_shared<TOWSLResumeOperation>());
  EXPECT_EQ(downstream.Kinds(), std::vector<std::string>{"resume"});
  // Upstream: through the input pin to the source.
  EXPECT_TRUE(downstream.pin.Notify(std::make_shared<TOWStopOperation>()));
  auto claim = std::make_shared<TOWMasterPumpOperation>(&downstream);
  downstream.pin.Notify(claim);
  EXPECT_EQ(filter.Master(), &downstream);
  EXPECT_EQ(source.upstream, (std::vector<std::string>{"stop", "other"}));
}

TEST_F(FilterFixture, WithoutASourceAnUpstreamOperationIsHandledAsInput) {
  int stops = 0;
  filter.SetOnStop([&](TALGenericFilter&) { ++stops; });
  filter.InputPin().Disconnect();  // the leaving sink is stopped: one OnStop
  EXPECT_EQ(stops, 1);
  stops = 0;
  downstream.Clear();
  downstream.pin.Notify(std::make_shared<TOWStopOperation>());
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(downstream.Kinds(), std::vector<std::string>{"stop"});
}

TEST_F(FilterFixture, EnablePinSetsEnabled) {
  Source switcher;
  filter.SetEnabled(false);
  // A Boolean state operation delivered to the pin's handler.
  EXPECT_TRUE(filter.EnablePin().Handler()(std::make_shared<TOWBoolStateOperation>(true), 0));
  EXPECT_TRUE(filter.Enabled());
}

TEST_F(FilterFixture, InputPinSharesTheComponentLock) {
  EXPECT_TRUE(filter.SharesLockWith(filter.InputPin()));
}

// The main window's chain: capture into the filter, the filter's handler fed block by block.
TEST(GenericFilterOnCapture, EveryCapturedBlockReachesTheHandlerWithTheStartFormat) {
  TLoopDispatcher dispatcher;
  TVirtualWaveIn wave_in({"In"}, TVirtualWaveIn::TPacing::kManual);
  wave_in.SetSignal([](uint64_t frame, uint32_t c) { return static_cast<int32_t>(frame % 1000) + int32_t(c); });
  TALAudioIn capture(wave_in);
  TALGenericFilter filter(dispatcher);
  capture.AudioFormat().SetSampleRate(44100);
  capture.OutputPin().Connect(filter.InputPin());
  filter.SetEnabled(false);
  TWaveFormatEx started{};
  std::atomic<int> stops{0};
  std::mutex mutex;
  std::vector<int32_t> firsts;
  filter.SetOnStart([&](TALGenericFilter&, const TWaveFormatEx* f) { started = *f; });
  filter.SetOnStop([&](TALGenericFilter&) { ++stops; });
  filter.SetOnProcessData([&](TALGenericFilter&, const IALAudioBufferPtr& in, IALAudioBufferPtr&,
                              bool&) {
    auto access = in->GetAccess();
    std::lock_guard lock(mutex);
    EXPECT_EQ(access->Count(), 1024u);
    firsts.push_back(access->GetSample(0, 0));
  });
  // Start: capture, then the filter.
  capture.SetEnabled(true);
  filter.SetEnabled(true);
  wave_in.Deliver(3);
  auto count = [&] {
    std::lock_guard lock(mutex);
    return firsts.size();
  };
  for (int i = 0; i < 20000 && count() < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // Stop: the filter, then the capture.
  filter.SetEnabled(false);
  capture.SetEnabled(false);
  EXPECT_EQ(started.nSamplesPerSec, 44100u);
  EXPECT_EQ(started.nBlockAlign, 4);
  std::lock_guard lock(mutex);
  EXPECT_EQ(firsts, (std::vector<int32_t>{0, 1024 % 1000, 2048 % 1000}));
  EXPECT_EQ(stops.load(), 1);
}

}  // namespace
