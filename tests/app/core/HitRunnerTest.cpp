// Hit detection's road from the capture tap to the MIDI port and the sounds: the runner (run
// gate, settings, mono input, restart) and the actions it fires (note trigger with the hits'
// frames, sound trigger with its inhibition, the channel's indicators).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "HitActions.h"
#include "HitRunner.h"
#include "MidiNoteTrigger.h"
#include "MidiTestViews.h"
#include "SoundTrigger.h"
#include "audio/VrAudio.h"
#include "midi/MidiOut.h"
#include "platform/virtual/FakeClock.h"
#include "platform/virtual/LoopDispatcher.h"
#include "platform/virtual/VirtualMidiOutService.h"
#include "platform/virtual/VirtualSoundService.h"

namespace {

constexpr uint32_t kRate = 48000;
constexpr uint32_t kCycle = 256;

struct RecordingIndicators : IHitIndicators {
  std::vector<std::string> calls;
  void HitLight(int c, bool lit) override {
    calls.push_back("light" + std::to_string(c) + (lit ? " on" : " off"));
  }
  void HitVelocity(int c, int) override { calls.push_back("velocity" + std::to_string(c)); }
  void HitVolume(int c, double) override { calls.push_back("volume" + std::to_string(c)); }
};

struct Message {
  std::vector<uint8_t> bytes;
  uint64_t frame;
  bool operator==(const Message&) const = default;
};

class HitRunnerTest : public ::testing::Test {
 protected:
  HitRunnerTest()
      : port(virt.AddPort("Synth")),
        out(virt, dispatcher),
        notes(TMidiNoteTrigger::TState{flags, midi}, controls, view),
        base(counter),
        timer0(dispatcher),
        timer1(dispatcher),
        service(clock),
        wave0(service),
        wave1(service),
        sound_trigger(sounds, timer0, timer1),
        actions(flags, &notes, &sound_trigger, &indicators),
        runner(flags, snapshot, actions) {
    out.SetDeviceID(port);
    out.Open();
    midi.Output = &out;
    timer0.SetHPTimeBase(&base);
    timer1.SetHPTimeBase(&base);
    sounds[0].Wave = &wave0;
    sounds[1].Wave = &wave1;
    const uint8_t a[] = {'A'};
    wave0.Sound().SetData(a, 1);
    sound_trigger.DurationChange(40);
    for (THitPadSettings& p : settings.Pad) {
      p.ThresholdDb = -30;
      p.ScanMs = 2;
      p.NoteLengthMs = 20;
      // The raw signal: the hits' first samples above are the frames the tests name.
      p.HighPassHz = p.LowPassHz = 0;
    }
    settings.Pad[0].Enabled = true;
  }

  // Silence with single-sample hits of `amplitude` at the frames given.
  static std::vector<float> Hits(size_t frames, std::vector<size_t> at, float amplitude = 0.5f) {
    std::vector<float> v(frames, 0.0f);
    for (size_t f : at) v[f] = amplitude;
    return v;
  }
  // Runs the inputs through the tap in cycles, from `first` on.
  void Run(const std::vector<std::vector<float>>& inputs, uint64_t first = 0) {
    const size_t frames = inputs[0].size();
    for (size_t done = 0; done < frames; done += kCycle) {
      const float* planes[2] = {};
      for (size_t c = 0; c < inputs.size(); ++c) planes[c] = inputs[c].data() + done;
      runner.Capture(planes, static_cast<uint32_t>(inputs.size()),
                     static_cast<uint32_t>(std::min<size_t>(kCycle, frames - done)), first + done,
                     kRate);
    }
  }
  std::vector<Message> Sent() const {
    std::vector<Message> m;
    for (const auto& s : virt.Sent(port)) {
      EXPECT_TRUE(s.Timed) << "sent with its frame";
      m.push_back({s.Bytes, s.Frame});
    }
    return m;
  }
  static uint64_t Ms(double ms) { return static_cast<uint64_t>(ms * kRate / 1000); }

  TVirtualMidiOutService virt;
  int32_t port;
  TLoopDispatcher dispatcher;
  TMidiOutput out;
  TRunFlags flags;
  TMyMidi midi;
  TControlSnapshot controls;
  RecordingMidiView view;
  TMidiNoteTrigger notes;
  TFakeCounter counter;
  TFakeTickClock clock;
  TVrHPTimeBase base;
  TVrHPTimer timer0, timer1;
  TVirtualSoundService service;
  TVrWave wave0, wave1;
  TMySound sounds[2];
  TSoundTrigger sound_trigger;
  RecordingIndicators indicators;
  THitActions actions;
  THitSettingsSnapshot snapshot;
  THitRunner runner;
  THitSettings settings;
};

TEST_F(HitRunnerTest, EachHitIsOneNoteAtItsFirstSampleAboveAndEndsAfterTheNoteLength) {
  snapshot.Publish(settings);
  Run({Hits(kRate, {1000, 20001}), Hits(kRate, {5000})});  // the right is in "Niveau"
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0].bytes[0], 0x90);
  EXPECT_EQ(sent[0].bytes[1], 60);
  EXPECT_EQ(sent[0].frame, 1000u);
  EXPECT_EQ(sent[1].bytes, (std::vector<uint8_t>{0x80, 60, 64}));
  EXPECT_GE(sent[1].frame, 1000 + Ms(20) - 1);
  EXPECT_LT(sent[1].frame, 20001u);
  EXPECT_EQ(sent[2].frame, 20001u);
  EXPECT_EQ(sent[3].bytes[0], 0x80);
  EXPECT_EQ(indicators.calls, (std::vector<std::string>{"velocity0", "light0 on", "light0 off",
                                                        "velocity0", "light0 on", "light0 off"}));
}

TEST_F(HitRunnerTest, AMonoInputDrivesBothPadsAndTheirSharedKeySoundsOnce) {
  settings.Pad[1].Enabled = true;
  snapshot.Publish(settings);
  Run({Hits(kRate / 4, {3000})});
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 2u) << "one note-on and one note-off for one key";
  EXPECT_EQ(sent[0].frame, 3000u);
  EXPECT_EQ(sent[1].bytes[0], 0x80);

  controls.NoteIndex[1] = 38;  // the right on another note: a note each, at the same frame
  Run({Hits(kRate / 4, {1000})}, kRate);
  sent = Sent();
  ASSERT_EQ(sent.size(), 6u);
  EXPECT_EQ(sent[2].frame, kRate + 1000);
  EXPECT_EQ(sent[3].frame, kRate + 1000);
  EXPECT_NE(sent[2].bytes[1], sent[3].bytes[1]);
}

TEST_F(HitRunnerTest, TheEngineRunsAtTheRateTheSamplesComeAt) {
  snapshot.Publish(settings);
  Run({Hits(kRate / 4, {1000})});
  // The server now runs at twice the rate: the same 20 ms note is twice as many frames.
  std::vector<float> in = Hits(kRate / 2, {1000});
  const float* planes[1] = {};
  for (size_t done = 0; done < in.size(); done += kCycle) {
    planes[0] = in.data() + done;
    runner.Capture(planes, 1, static_cast<uint32_t>(std::min<size_t>(kCycle, in.size() - done)),
                   kRate + done, 2 * kRate);
  }
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_NEAR(static_cast<double>(sent[1].frame - sent[0].frame), Ms(20), Ms(2.5));
  EXPECT_NEAR(static_cast<double>(sent[3].frame - sent[2].frame), 2 * Ms(20), 2 * Ms(2.5));
}

TEST_F(HitRunnerTest, SettingsTakeEffectAtTheNextCycle) {
  settings.Pad[0].ThresholdDb = -3;
  snapshot.Publish(settings);
  Run({Hits(kRate / 4, {1000})});  // -6 dB: below
  EXPECT_TRUE(Sent().empty());
  settings.Pad[0].ThresholdDb = -12;
  snapshot.Publish(settings);
  Run({Hits(kRate / 4, {1000})}, kRate);
  ASSERT_EQ(Sent().size(), 2u);
  EXPECT_EQ(Sent()[0].frame, kRate + 1000);
}

TEST_F(HitRunnerTest, TheGateSilencesTheTapAndARestartForgetsTheHitUnderWay) {
  settings.Pad[0].ScanMs = 10;
  snapshot.Publish(settings);
  flags.StopRequest = true;
  Run({Hits(kRate / 4, {1000})});
  EXPECT_TRUE(Sent().empty());
  EXPECT_TRUE(flags.StopAck) << "the tap answers a stop as the block handler does";
  EXPECT_GT(runner.Gated(), 0u);

  // A hit whose scan is cut by Stop: after Start it is not played late.
  flags.StopRequest = false;
  std::vector<float> in = Hits(kRate / 2, {1000});
  Run({std::vector<float>(in.begin(), in.begin() + 1280)}, kRate);
  flags.StopRequest = true;
  notes.ReleaseNotes();
  runner.RequestRestart();
  flags.StopRequest = false;
  flags.StopAck = false;
  Run({std::vector<float>(in.begin() + 1280, in.end())}, kRate + 1280);
  EXPECT_TRUE(Sent().empty());
  Run({Hits(kRate / 4, {500})}, 2 * kRate);
  ASSERT_EQ(Sent().size(), 2u) << "the next hit plays";
  EXPECT_EQ(Sent()[0].frame, 2 * kRate + 500);
}

TEST_F(HitRunnerTest, ASoundChannelPlaysEachHitOnceAndIgnoresHitsWhileInhibited) {
  settings.Pad[0].Event = THitEvent::kSound;
  snapshot.Publish(settings);
  Run({Hits(kRate / 4, {1000, 4000})});  // the second comes within the inhibition window
  EXPECT_EQ(service.PlayCount(), 1u);
  EXPECT_TRUE(sounds[0].Inhibited);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(indicators.calls, (std::vector<std::string>{"volume0", "light0 on", "light0 off"}))
      << "a sound's light stays lit a moment";
  // The inhibition ends on the UI thread, dated from the hit.
  counter.Set(100 * 1000);
  ASSERT_TRUE(
      dispatcher.RunUntil([&] { return !sounds[0].Inhibited.load(); }, std::chrono::seconds(10)));
  Run({Hits(kRate / 4, {1000})}, kRate);
  EXPECT_EQ(service.PlayCount(), 2u);
}

}  // namespace
