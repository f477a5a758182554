#include <gtest/gtest.h>

#include <functional>

#include "DetectorFixture.h"
#include "TriggerDetector.h"
#include "audio/ALErrors.h"

namespace {

using Calls = std::vector<std::string>;

TEST_F(DetectorTest, OneBlockMakesItsCallsInOrder) {
  Run(AtDb(-20, -60));
  EXPECT_EQ(actions.calls, (Calls{"clip off", "light0 on", "light1 off", "vel0 70", "noteon0 70",
                                  "refresh -20.00 -59.94"}));
}

TEST_F(DetectorTest, NegativeOnlyBlockReadsAsSilenceButCanClip) {
  Run(Block({{-20000, -32768}, {-5, -1}}));
  EXPECT_EQ(actions.calls, (Calls{"clip on", "light0 off", "light1 off", "refresh -90.31 -90.31"}));
}

TEST_F(DetectorTest, ClipAtTheLimitOnEitherSignAndNeverLatched) {
  controls.StartMidiNote[0] = controls.StartMidiNote[1] = false;
  for (auto [frames, clip] :
       std::vector<std::pair<std::pair<int, int>, bool>>{{{32764, 0}, true},
                                                         {{32763, 0}, false},
                                                         {{0, -32764}, true},
                                                         {{0, -32763}, false},
                                                         {{0, 32767}, true},
                                                         {{-32768, 0}, true},
                                                         {{100, 100}, false}}) {
    Reset();
    Run(Block({frames}));
    EXPECT_EQ(actions.calls.at(0), clip ? "clip on" : "clip off")
        << frames.first << "," << frames.second;
  }
}

TEST_F(DetectorTest, ThresholdIsStrict) {
  controls.Thres[0] = -45;
  controls.Thres[1] = -45;
  detector.EvaluateThresholds(-45.0, -44.9);
  EXPECT_EQ(actions.calls, (Calls{"light0 off", "light1 on", "vel1 1", "noteon1 1"}));
  EXPECT_FALSE(midi.NoteOn0);
  EXPECT_TRUE(midi.NoteOn1);
}

TEST_F(DetectorTest, VelocityFollowsTheLevelOrIsFixed) {
  EXPECT_EQ(NoteVelocity(-20, -45, true), 70);
  EXPECT_EQ(NoteVelocity(0, -45, true), 127);
  EXPECT_EQ(NoteVelocity(-44.9, -45, true), 1) << "velocity 0 would be a note-off";
  EXPECT_EQ(NoteVelocity(-20, -45, false), 100);
  EXPECT_EQ(NoteVelocity(-1, -1, true), 1);
  EXPECT_EQ(NoteVelocity(0, 0, true), 127);  // no division by zero
  EXPECT_DOUBLE_EQ(SoundVolume(-20, -45, true), 55.0);
  EXPECT_DOUBLE_EQ(SoundVolume(-20, -45, false), 100.0);
  EXPECT_DOUBLE_EQ(SoundVolume(0, 0, true), 100.0);

  controls.MidiVelFollowLevel = false;
  Run(AtDb(-20, -20));
  EXPECT_EQ(actions.Only("noteon"), (Calls{"noteon0 100", "noteon1 100"}));
}

TEST_F(DetectorTest, HeldNoteSendsOneNoteOnAndOneNoteOff) {
  for (int i = 0; i < 20; ++i) {
    clock.Advance(7);
    Run(AtDb(-10, -90));
  }
  for (int i = 0; i < 5; ++i) Run(AtDb(-50, -90));
  Run(AtDb(-10, -90));
  EXPECT_EQ(actions.Only("note"), (Calls{"noteon0 98", "noteoff0", "noteon0 98"}));
  EXPECT_EQ(actions.Only("light0 on").size(), 21u);  // the light follows every block
}

TEST_F(DetectorTest, MonoCaptureDrivesBothChannelsWithTheirOwnSettings) {
  params.Channels = 1;
  controls.Thres[0] = -10;
  controls.Thres[1] = -30;
  controls.StartMidiNote[1] = false;
  controls.StartAudioFile[1] = true;
  Run(Block({{3277, 0}, {-100, 0}}, 1));  // -20 dB
  EXPECT_EQ(actions.calls, (Calls{"clip off", "light0 off", "light1 on", "vol1 100", "sound1 100",
                                  "refresh -20.00 -20.00"}));
}

TEST_F(DetectorTest, SoundChannelFiresAgainOnlyAfterItsInhibitionEnds) {
  controls.StartMidiNote[0] = false;
  controls.StartAudioFile[0] = true;
  controls.AudioVolFollowLevel = true;
  Run(AtDb(-20, -90));
  Run(AtDb(-20, -90));
  Run(AtDb(-20, -90));
  EXPECT_EQ(actions.Only("sound"), (Calls{"sound0 55"}));
  EXPECT_EQ(actions.Only("vol"), (Calls{"vol0 55"}));
  sounds[0].Inhibited = false;  // the inhibition timer fired
  Run(AtDb(-20, -90));
  EXPECT_EQ(actions.Only("sound").size(), 2u);
}

TEST_F(DetectorTest, ChannelWithNeitherEventKindOnlyLightsUp) {
  controls.StartMidiNote[0] = false;
  controls.StartAudioFile[0] = false;
  Run(AtDb(-3, -90));
  EXPECT_EQ(actions.calls, (Calls{"clip off", "light0 on", "light1 off", "refresh -3.00 -90.31"}));
}

TEST_F(DetectorTest, RefreshAtMostEvery100MsAcrossTickWrapAround) {
  clock.Set(0xFFFFFFF0u);
  meters.LastUpdate = 0xFFFFFFF0u - 101;
  Run(AtDb(-20, -20));
  EXPECT_EQ(actions.Only("refresh").size(), 1u);
  EXPECT_EQ(meters.LastUpdate, 0xFFFFFFF0u);
  // Blocks every 10 ms: the 100 ms limit lets through every 11th block, across the wrap.
  int refreshes = 0;
  for (int i = 1; i <= 33; ++i) {
    Reset();
    clock.Advance(10);
    Run(AtDb(-20, -20));
    if (!actions.Only("refresh").empty()) {
      ++refreshes;
      EXPECT_EQ(i % 11, 0) << "block " << i;
    }
    EXPECT_EQ(actions.Only("light").size(), 2u);  // lights still follow every block
    EXPECT_EQ(meters.CurrentTick, clock.GetTickCount());
  }
  EXPECT_EQ(refreshes, 3);
  EXPECT_LT(meters.LastUpdate, 1000u);  // wrapped
}

TEST_F(DetectorTest, EmptyBlockIsSilenceWithoutClip) {
  Run(Block({}));
  EXPECT_EQ(actions.calls,
            (Calls{"clip off", "light0 off", "light1 off", "refresh -90.31 -90.31"}));
}

TEST_F(DetectorTest, ScanErrorKeepsThePeaksFoundSoFar) {
  // The capture is configured for two channels but the block has one: reading channel 1 of the
  // first frame fails after channel 0 was read.
  Run(Block({{16384, 0}, {32767, 0}}, 1));
  EXPECT_EQ(actions.calls, (Calls{"clip off", "light0 on", "light1 off", "vel0 110", "noteon0 110",
                                  "refresh -6.02 -90.31"}));
}

TEST_F(DetectorTest, ClosedGateFiresNothing) {
  flags.Closing = true;
  Run(AtDb(-3, -3));
  EXPECT_TRUE(actions.calls.empty());
  EXPECT_FALSE(flags.StopAck);
  flags.Closing = false;
  flags.Finalizing = true;
  Run(AtDb(-3, -3));
  detector.EvaluateThresholds(-3, -3);
  EXPECT_TRUE(actions.calls.empty());
  flags.Finalizing = false;
  flags.StopRequest = true;
  Run(AtDb(-3, -3));
  EXPECT_TRUE(actions.calls.empty());
  EXPECT_TRUE(flags.StopAck);
}

// A buffer that runs a hook when a given frame is read, to change state in the middle of a scan.
class HookedBuffer : public IALAudioBuffer {
 public:
  HookedBuffer(IALAudioBufferPtr inner, uint32_t frame, std::function<void()> hook)
      : inner_(std::move(inner)), frame_(frame), hook_(std::move(hook)) {}
  IALAudioDataAccessPtr GetAccess() override {
    return std::make_shared<Access>(inner_->GetAccess(), frame_, hook_);
  }
  void Assign(const IALAudioBufferPtr& s) override { inner_->Assign(s); }
  TWaveFormatEx Header() const override { return inner_->Header(); }
  uint32_t FrameCount() const override { return inner_->FrameCount(); }
  size_t DataSize() const override { return inner_->DataSize(); }
  size_t BlockSize() const override { return inner_->BlockSize(); }
  std::shared_ptr<TALSmartAudioBuffer> Block() const override { return inner_->Block(); }

 private:
  struct Access : IALAudioDataAccess {
    Access(IALAudioDataAccessPtr a, uint32_t f, std::function<void()> h)
        : inner(std::move(a)), frame(f), hook(std::move(h)) {}
    uint32_t Count() const override { return inner->Count(); }
    uint8_t* Data() const override { return inner->Data(); }
    int32_t GetSample(uint32_t i, uint32_t c) const override {
      if (i == frame && c == 0) hook();
      return inner->GetSample(i, c);
    }
    void SetSample(uint32_t i, uint32_t c, int32_t v) override { inner->SetSample(i, c, v); }
    IALAudioDataAccessPtr inner;
    uint32_t frame;
    std::function<void()> hook;
  };
  IALAudioBufferPtr inner_;
  uint32_t frame_;
  std::function<void()> hook_;
};

TEST_F(DetectorTest, StopSetInsideTheScanFiresNothingAndAcknowledges) {
  std::vector<std::pair<int, int>> frames(64, {30000, 30000});
  auto b = std::make_shared<HookedBuffer>(Block(frames), 10, [&] { flags.StopRequest = true; });
  Run(b);
  EXPECT_TRUE(actions.calls.empty());
  EXPECT_TRUE(flags.StopAck);
  EXPECT_FALSE(midi.NoteOn0);
}

// A stop that comes while the left channel's note goes out: the right channel, decided in the
// same block, fires nothing.
TEST_F(DetectorTest, StopArrivingBetweenTheChannelsSilencesTheSecond) {
  struct StopOnNote : RecordingActions {
    TRunFlags* flags = nullptr;
    void NoteOn(int c, int v) override {
      RecordingActions::NoteOn(c, v);
      flags->StopRequest = true;
    }
  } stopping;
  stopping.midi = &midi;
  stopping.sounds = sounds;
  stopping.flags = &flags;
  TTriggerDetector d(state, controls, stopping, clock);
  d.ProcessBlock(AtDb(-3, -3));
  ASSERT_FALSE(stopping.calls.empty());
  EXPECT_EQ(stopping.calls.back().rfind("noteon0", 0), 0u) << stopping.calls.back();
  EXPECT_FALSE(midi.NoteOn1);
  EXPECT_TRUE(flags.StopAck);
}

TEST_F(DetectorTest, InterfaceBuffersAreScannedLikeCaptureBuffers) {
  auto b = std::make_shared<HookedBuffer>(AtDb(-20, -60), 99, [] {});
  Run(b);
  EXPECT_EQ(actions.calls, (Calls{"clip off", "light0 on", "light1 off", "vel0 70", "noteon0 70",
                                  "refresh -20.00 -59.94"}));
}

TEST_F(DetectorTest, ThresholdsAreReadAfreshForEveryBlock) {
  Run(AtDb(-20, -90));
  controls.Thres[0] = -10;
  Reset();
  Run(AtDb(-20, -90));
  EXPECT_EQ(actions.Only("note"), (Calls{"noteoff0"}));
  EXPECT_EQ(actions.Only("light0"), (Calls{"light0 off"}));
}

TEST_F(DetectorTest, BlockIsNotChanged) {
  auto b = AtDb(-1, -2);
  auto before = std::vector<uint8_t>(b->Block()->Begin(), b->Block()->Begin() + b->BlockSize());
  Run(b);
  EXPECT_EQ(std::vector<uint8_t>(b->Block()->Begin(), b->Block()->Begin() + b->BlockSize()),
            before);
}

}  // namespace
