// The sound-file side wired as the window wires it: detection, the two channel sounds on a
// recording sound service, and the inhibition timers on a counter the test moves by hand.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "SoundTrigger.h"
#include "TriggerDetector.h"
#include "audio/VrAudio.h"
#include "platform/virtual/FakeClock.h"
#include "platform/virtual/LoopDispatcher.h"
#include "platform/virtual/VirtualSoundService.h"

// Passes sound starts to the trigger under test; keeps what the window would show.
struct SoundActions : ITriggerActions {
  TSoundTrigger* trigger = nullptr;
  bool light[2] = {false, false};
  std::vector<double> volumes[2];
  void SetClipVisible(bool) override {}
  void SetThresholdLight(int c, bool lit) override { light[c] = lit; }
  void ShowVelocity(int, int) override {}
  void NoteOn(int, int) override {}
  void NoteOff(int) override {}
  void ShowVolume(int c, double v) override { volumes[c].push_back(v); }
  void TriggerSound(int c, double v) override { trigger->TriggerSound(c, v); }
  void RefreshLevels(double, double) override {}
};

class SoundTriggerTest : public ::testing::Test {
 protected:
  static constexpr int64_t kRate = 1'000'000;

  SoundTriggerTest()
      : base(counter),
        timer0(dispatcher),
        timer1(dispatcher),
        service(clock),
        wave0(service),
        wave1(service),
        trigger(sounds, timer0, timer1),
        detector({flags, params, midi, sounds, meters}, controls, actions, clock) {
    timer0.SetHPTimeBase(&base);
    timer1.SetHPTimeBase(&base);
    sounds[0].Wave = &wave0;
    sounds[1].Wave = &wave1;
    actions.trigger = &trigger;
    controls.StartMidiNote[0] = controls.StartMidiNote[1] = false;
    controls.StartAudioFile[0] = controls.StartAudioFile[1] = true;
    const uint8_t a[] = {'A'};
    const uint8_t b[] = {'B'};
    wave0.Sound().SetData(a, 1);
    wave1.Sound().SetData(b, 1);
    trigger.DurationChange(40);  // the settings' default
  }

  // Both clocks to the same time, in milliseconds from the start.
  void At(double ms) {
    counter.Set(static_cast<int64_t>(std::llround(ms * kRate / 1000)));
    clock.Set(static_cast<uint32_t>(ms));
  }
  // Pumps the UI thread until channel c's inhibition has ended (its tick was due).
  bool WaitReady(int c) {
    return dispatcher.RunUntil([&] { return !sounds[c].Inhibited.load(); },
                               std::chrono::seconds(10));
  }
  // A block with each channel's peak at the given dB.
  static IALAudioBufferPtr AtDb(double left_db, double right_db) {
    auto amp = [](double db) {
      return static_cast<int>(std::lround(32767.0 * std::pow(10, db / 20)));
    };
    auto b = TALAudioBuffer::Create(16, 2, 2);
    auto a = b->GetAccess();
    a->SetSample(0, 0, amp(left_db));
    a->SetSample(0, 1, amp(right_db));
    return b;
  }
  std::vector<uint32_t> PlayTicks() const {
    std::vector<uint32_t> t;
    for (const auto& e : service.Events())
      if (e.Kind == TSoundEvent::TKind::kPlay) t.push_back(e.Tick);
    return t;
  }

  TFakeCounter counter{kRate};
  TFakeTickClock clock;
  TLoopDispatcher dispatcher;
  TVrHPTimeBase base;
  TVrHPTimer timer0;
  TVrHPTimer timer1;
  TVirtualSoundService service;
  TVrWave wave0;
  TVrWave wave1;
  TMySound sounds[2];
  TSoundTrigger trigger;
  TRunFlags flags;
  TAudioInParams params;
  TMyMidi midi;
  TVumeters meters;
  TControlSnapshot controls;
  SoundActions actions;
  TTriggerDetector detector;
};
