#include "audio/ALAudioIn.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "CaptureProbe.h"
#include "platform/virtual/VirtualWaveIn.h"

namespace {

using Pacing = TVirtualWaveIn::TPacing;

// Sample = frame number (wrapping at 16 bits) on the left, its negation on the right.
int32_t Ramp(uint64_t frame, uint32_t channel) {
  const auto v = static_cast<int16_t>(frame & 0x7FFF);
  return channel == 0 ? v : -v;
}

struct CaptureFixture : ::testing::Test {
  TVirtualWaveIn wave_in{{"Line In", "USB Mic", "Line In"}, Pacing::kManual};
  CaptureProbe probe;
  std::unique_ptr<TALAudioIn> capture;

  void SetUp() override {
    wave_in.SetSignal(Ramp);
    capture = std::make_unique<TALAudioIn>(wave_in);
    // The main window's settings.
    capture->AudioFormat().SetSampleRate(44100);
    capture->OutputPin().Connect(probe.pin);
  }
  void TearDown() override { capture.reset(); }
};

TEST_F(CaptureFixture, WindowSettingsGiveWholeBlocksOfOneBufferSizeAtTheChosenRate) {
  capture->SetEnabled(true);
  EXPECT_EQ(wave_in.LastFormat().sample_rate, 44100u);
  EXPECT_EQ(wave_in.LastFormat().channels, 2);
  EXPECT_EQ(wave_in.LastFormat().bits, 16);
  EXPECT_EQ(wave_in.QueuedBlocks(), 40u);

  wave_in.Deliver(3);
  ASSERT_TRUE(probe.WaitCount("buffer", 3));
  const auto events = probe.Events();
  ASSERT_EQ(events[0].kind, "start");
  EXPECT_EQ(events[0].format.nSamplesPerSec, 44100u);
  EXPECT_EQ(events[0].format.nChannels, 2);
  EXPECT_EQ(events[0].format.nBlockAlign, 4);

  // The samples come in order, each block exactly 1024 frames (about 23.2 ms at 44100 Hz).
  uint64_t frame = 0;
  for (const auto& e : events) {
    if (e.kind != "buffer") continue;
    ASSERT_EQ(e.frames, 1024u);
    EXPECT_NEAR(e.frames * 1000.0 / 44100, 23.2, 0.05);
    for (uint32_t i = 0; i < e.frames; ++i, ++frame) {
      ASSERT_EQ(e.samples[2 * i], Ramp(frame, 0));
      ASSERT_EQ(e.samples[2 * i + 1], Ramp(frame, 1));
    }
    EXPECT_NE(e.thread, std::this_thread::get_id());
    EXPECT_EQ(e.thread, capture->WaveThreadId());
  }
  // Every delivered block went straight back to the device.
  EXPECT_TRUE(probe.WaitFor([&](const CaptureProbe&) { return wave_in.QueuedBlocks() == 40; }));
}

TEST_F(CaptureFixture, ExactlyOneResumeAfterTheFirstBlockOfEachStart) {
  for (int run = 0; run < 2; ++run) {
    probe.Clear();
    capture->SetEnabled(true);
    wave_in.Deliver(4);
    ASSERT_TRUE(probe.WaitCount("buffer", 4));
    capture->SetEnabled(false);
    EXPECT_EQ(probe.Kinds(), (std::vector<std::string>{"start", "buffer", "resume", "buffer",
                                                       "buffer", "buffer", "endstop"}));
  }
}

TEST_F(CaptureFixture, EnablingTwiceStartsOnceAndDisablingWhenStoppedDoesNothing) {
  capture->SetEnabled(false);
  EXPECT_EQ(wave_in.OpenCount(), 0);
  EXPECT_TRUE(probe.Events().empty());

  capture->SetEnabled(true);
  capture->SetEnabled(true);
  EXPECT_EQ(wave_in.OpenCount(), 1);
  EXPECT_EQ(probe.Count("start"), 1u);
  EXPECT_TRUE(capture->Enabled());
  EXPECT_TRUE(capture->EnablePin().Value());

  capture->SetEnabled(false);
  capture->SetEnabled(false);
  EXPECT_EQ(probe.Count("endstop"), 1u);
  EXPECT_FALSE(capture->Enabled());
  EXPECT_FALSE(capture->EnablePin().Value());
  EXPECT_FALSE(wave_in.DeviceOpen());
}

TEST_F(CaptureFixture, EnablePinSwitchesCapture) {
  capture->EnablePin().SetValue(true);
  EXPECT_TRUE(capture->Enabled());
  EXPECT_TRUE(wave_in.DeviceOpen());
  capture->EnablePin().SetValue(false);
  EXPECT_FALSE(capture->Enabled());
  EXPECT_FALSE(wave_in.DeviceOpen());
}

TEST_F(CaptureFixture, DeviceThatCannotOpenGivesNoBlocksNoErrorAndStopsCleanly) {
  wave_in.SetOpenFails(true);
  capture->SetEnabled(true);
  EXPECT_TRUE(capture->Enabled());
  wave_in.Deliver(5);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(probe.Count("buffer"), 0u);
  capture->SetEnabled(false);
  EXPECT_FALSE(capture->Enabled());
  EXPECT_EQ(probe.Kinds(), (std::vector<std::string>{"start", "endstop"}));
  // The next start with the device back works.
  wave_in.SetOpenFails(false);
  capture->SetEnabled(true);
  wave_in.Deliver(1);
  EXPECT_TRUE(probe.WaitCount("buffer", 1));
}

TEST_F(CaptureFixture, DeviceNameResolutionAtOpen) {
  struct Case {
    std::string name;
    std::vector<std::string> alternatives;
    int expected;
  };
  const std::vector<Case> cases = {
      {"default", {}, kWaveInDefault},        // any case
      {"DeFaUlT", {"USB Mic"}, kWaveInDefault},
      {"USB Mic", {}, 1},
      {"Line In", {}, 0},                     // lowest number of equal names
      {"usb mic", {}, kWaveInDefault},        // names are case-sensitive
      {"Missing", {"Gone", "USB Mic"}, 1},    // first fallback that resolves
      {"Missing", {"Gone", "dEfault", "USB Mic"}, kWaveInDefault},
      {"Missing", {"Gone"}, kWaveInDefault},  // nothing matched
  };
  for (const auto& c : cases) {
    capture->Device().SetDeviceName(c.name);
    capture->Device().AlternativeDevices().Clear();
    for (const auto& alt : c.alternatives)
      capture->Device().AlternativeDevices().Add().SetDeviceName(alt);
    capture->SetEnabled(true);
    EXPECT_EQ(wave_in.LastDevice(), c.expected) << c.name;
    capture->SetEnabled(false);
  }
}

TEST_F(CaptureFixture, NewFallbackPresetsTheLeastUsedDevice) {
  auto& items = capture->Device().AlternativeDevices();
  EXPECT_EQ(items.Add().DeviceName(), "Line In");
  EXPECT_EQ(items.Add().DeviceName(), "USB Mic");
  // Both used once: the first in device order; the second "Line In" counts with the first.
  EXPECT_EQ(items.Add().DeviceName(), "Line In");
  EXPECT_EQ(items.Add().DeviceName(), "USB Mic");
  wave_in.SetNames({});
  EXPECT_EQ(items.Add().DeviceName(), "Default");
}

TEST_F(CaptureFixture, DeviceNamesAreListedInDeviceOrder) {
  std::vector<std::string> list{"kept"};
  capture->Device().GetDeviceNames(list);
  EXPECT_EQ(list, (std::vector<std::string>{"kept", "Line In", "USB Mic", "Line In"}));
  EXPECT_EQ(capture->Device().ChoiceList(),
            (std::vector<std::string>{"Default", "Line In", "USB Mic", "Line In"}));
  wave_in.SetNames({});
  EXPECT_TRUE(capture->Device().ChoiceList().empty());  // not even "Default"
}

TEST_F(CaptureFixture, FormatChangedWhileCapturingWaitsForTheNextStart) {
  capture->AudioFormat().SetBufferSize(256);
  capture->SetEnabled(true);
  capture->AudioFormat().SetBufferSize(64);
  capture->AudioFormat().SetChannels(1);
  wave_in.Deliver(45);  // past the first 40: blocks queued after the change too
  ASSERT_TRUE(probe.WaitCount("buffer", 45));
  for (const auto& e : probe.Events())
    if (e.kind == "buffer") {
      ASSERT_EQ(e.frames, 256u);
    }
  capture->SetEnabled(false);
  probe.Clear();
  capture->SetEnabled(true);
  EXPECT_EQ(wave_in.LastFormat().channels, 1);
  wave_in.Deliver(1);
  ASSERT_TRUE(probe.WaitCount("buffer", 1));
  EXPECT_EQ(probe.Events()[1].frames, 64u);
}

TEST_F(CaptureFixture, EightBitCaptureKeepsUnsignedSamples) {
  wave_in.SetSignal([](uint64_t frame, uint32_t) { return static_cast<int32_t>(frame % 256); });
  capture->AudioFormat().SetBits(8);
  capture->AudioFormat().SetBufferSize(300);
  capture->SetEnabled(true);
  wave_in.Deliver(1);
  ASSERT_TRUE(probe.WaitCount("buffer", 1));
  const auto e = probe.Events()[1];
  ASSERT_EQ(e.frames, 300u);
  EXPECT_EQ(e.samples[0], 0);
  EXPECT_EQ(e.samples[2 * 128], 128);
  EXPECT_EQ(e.samples[2 * 299 + 1], 299 % 256);
}

TEST_F(CaptureFixture, SinkJoiningARunningCaptureLearnsFormatAndFlow) {
  capture->SetEnabled(true);
  wave_in.Deliver(1);
  ASSERT_TRUE(probe.WaitCount("resume", 1));
  CaptureProbe late;
  capture->OutputPin().Connect(late.pin);
  EXPECT_EQ(late.Kinds(), (std::vector<std::string>{"start", "resume"}));
  EXPECT_EQ(late.Events()[0].format.nSamplesPerSec, 44100u);
  wave_in.Deliver(1);
  ASSERT_TRUE(late.WaitCount("buffer", 1));
  late.pin.Disconnect();
  EXPECT_EQ(late.Kinds().back(), "stop");
}

TEST_F(CaptureFixture, StopFromASinkStopsCaptureAndTravelsOn) {
  capture->SetEnabled(true);
  probe.pin.Notify(std::make_shared<TOWStopOperation>());
  EXPECT_FALSE(capture->Enabled());
  EXPECT_FALSE(wave_in.DeviceOpen());
  const auto kinds = probe.Kinds();
  EXPECT_EQ(kinds, (std::vector<std::string>{"start", "endstop", "stop"}));
}

TEST_F(CaptureFixture, StopFromASinkDuringDeliveryOnTheWaveThread) {
  std::atomic<int> buffers{0};
  probe.on_buffer = [&] {
    if (++buffers == 2) probe.pin.Notify(std::make_shared<TOWStopOperation>());
  };
  capture->SetEnabled(true);
  wave_in.Deliver(10);
  ASSERT_TRUE(probe.WaitCount("stop", 1));
  EXPECT_FALSE(capture->Enabled());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(probe.Count("buffer"), 2u);
  EXPECT_EQ(probe.Count("endstop"), 1u);
}

TEST_F(CaptureFixture, ASinkThatThrowsStillGetsEveryBlockBackToTheDevice) {
  probe.on_buffer = [] { throw std::runtime_error("sink failed"); };
  capture->SetEnabled(true);
  // More failures than blocks queued: none of them may be lost to the device.
  wave_in.Deliver(45);
  ASSERT_TRUE(probe.WaitCount("buffer", 45));
  EXPECT_TRUE(probe.WaitFor([&](const CaptureProbe&) { return wave_in.QueuedBlocks() == 40; }));
}

TEST_F(CaptureFixture, MasterPumpClaimIsRefused) {
  EXPECT_FALSE(probe.pin.Notify(std::make_shared<TOWMasterPumpOperation>(&probe)));
  EXPECT_TRUE(probe.Events().empty());
}

TEST_F(CaptureFixture, PumpRequestNamesTheCaptureAndItDrives) {
  struct PumpWatcher : TOWComponentBase {
    TOWComponentBase* requester = nullptr;
    int32_t priority = -1;
    uint8_t mode = 0;
    TALOWAudioSinkPin pin{this, [this](const IOWNotifyOperationPtr& op, uint32_t) {
                            if (auto* pump = op->As<TOWPumpRequestOperation>()) {
                              requester = pump->Requester();
                              priority = pump->Priority();
                              mode = pump->Mode();
                            }
                            return true;
                          }};
  } watcher;
  capture->OutputPin().Connect(watcher.pin);
  capture->SetPumpPriority(7);
  capture->SetEnabled(true);
  EXPECT_EQ(watcher.requester, capture.get());
  EXPECT_EQ(watcher.priority, 7);
  EXPECT_EQ(watcher.mode, 3);
  EXPECT_DOUBLE_EQ(capture->StreamRate(), 1.0);
  EXPECT_EQ(wave_in.QueuedBlocks(), 40u);
  watcher.pin.Disconnect();
}

TEST_F(CaptureFixture, ADownstreamWinnerLeavesTheDeviceWithoutBlocks) {
  struct Claimer : TOWComponentBase {
    TALOWAudioSinkPin pin{this, [this](const IOWNotifyOperationPtr& op, uint32_t) {
                            if (auto* pump = op->As<TOWPumpRequestOperation>()) pump->SetWinner(this);
                            return true;
                          }};
  } claimer;
  capture->OutputPin().Connect(claimer.pin);
  capture->SetEnabled(true);
  EXPECT_TRUE(wave_in.DeviceOpen());
  EXPECT_EQ(wave_in.QueuedBlocks(), 0u);
  EXPECT_EQ(probe.Count("start"), 1u);
  claimer.pin.Disconnect();
}

TEST_F(CaptureFixture, LoadingStoresEnabledAndStartsWhenDone) {
  capture->BeginLoad();
  capture->SetEnabled(true);
  EXPECT_EQ(wave_in.OpenCount(), 0);
  EXPECT_TRUE(capture->Enabled());
  capture->EndLoad();
  EXPECT_EQ(wave_in.OpenCount(), 1);
  EXPECT_TRUE(wave_in.DeviceOpen());
}

TEST_F(CaptureFixture, DestroyingWhileCapturingStopsAndClosesTheDevice) {
  capture->SetEnabled(true);
  wave_in.Deliver(2);
  ASSERT_TRUE(probe.WaitCount("buffer", 2));
  capture.reset();
  EXPECT_FALSE(wave_in.DeviceOpen());
  // The end of the stream, then the stop of the disconnection.
  const auto kinds = probe.Kinds();
  ASSERT_GE(kinds.size(), 2u);
  EXPECT_EQ(kinds[kinds.size() - 2], "endstop");
  EXPECT_EQ(kinds.back(), "stop");
  EXPECT_FALSE(probe.pin.IsConnected());
}

TEST(ALAudioInDefaults, BuiltStoppedWithThePublishedFormat) {
  TVirtualWaveIn wave_in({"A"});
  TALAudioIn capture(wave_in);
  EXPECT_FALSE(capture.Enabled());
  EXPECT_EQ(capture.PumpPriority(), 0);
  EXPECT_EQ(capture.Device().DeviceName(), "Default");
  EXPECT_EQ(capture.AudioFormat().Channels(), 2u);
  EXPECT_EQ(capture.AudioFormat().Bits(), 16u);
  EXPECT_EQ(capture.AudioFormat().SampleRate(), 11025u);
  EXPECT_EQ(capture.AudioFormat().BufferSize(), 1024u);
}

TEST(ALAudioInFreeRun, RunsAsFastAsBlocksReturn) {
  TVirtualWaveIn wave_in({"A"});
  wave_in.SetSignal(Ramp);
  TALAudioIn capture(wave_in);
  CaptureProbe probe;
  capture.AudioFormat().SetBufferSize(32);
  capture.OutputPin().Connect(probe.pin);
  capture.SetEnabled(true);
  ASSERT_TRUE(probe.WaitCount("buffer", 200));
  capture.SetEnabled(false);
  uint64_t frame = 0;
  for (const auto& e : probe.Events()) {
    if (e.kind != "buffer") continue;
    for (uint32_t i = 0; i < e.frames; ++i, ++frame) ASSERT_EQ(e.samples[2 * i], Ramp(frame, 0));
  }
  EXPECT_EQ(probe.Kinds().back(), "endstop");
}

}  // namespace
