// Drives a TTriggerDetector block by block on private state, recording every call it makes.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "TriggerDetector.h"
#include "audio/ALAudioBuffer.h"
#include "platform/virtual/FakeClock.h"

// Records calls as text, and plays the parts of the note and sound operations that the
// detection relies on: a note-on marks the note sounding, a sound start inhibits the channel.
struct RecordingActions : ITriggerActions {
  TMyMidi* midi = nullptr;
  TMySound* sounds = nullptr;
  std::vector<std::string> calls;

  void SetClipVisible(bool v) override { calls.push_back(v ? "clip on" : "clip off"); }
  void SetThresholdLight(int c, bool lit) override {
    calls.push_back("light" + std::to_string(c) + (lit ? " on" : " off"));
  }
  void ShowVelocity(int c, int v) override {
    calls.push_back("vel" + std::to_string(c) + " " + std::to_string(v));
  }
  void NoteOn(int c, int v) override {
    midi->NoteOn(c) = true;
    calls.push_back("noteon" + std::to_string(c) + " " + std::to_string(v));
  }
  void NoteOff(int c) override {
    midi->NoteOn(c) = false;
    calls.push_back("noteoff" + std::to_string(c));
  }
  void ShowVolume(int c, double v) override {
    calls.push_back("vol" + std::to_string(c) + " " + std::to_string(static_cast<int>(v)));
  }
  void TriggerSound(int c, double v) override {
    sounds[c].Inhibited = true;
    calls.push_back("sound" + std::to_string(c) + " " + std::to_string(static_cast<int>(v)));
  }
  void RefreshLevels(double l, double r) override {
    char buf[64];
    std::snprintf(buf, sizeof buf, "refresh %.2f %.2f", l, r);
    calls.push_back(buf);
  }
  // The calls of one kind, e.g. "noteon".
  std::vector<std::string> Only(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls)
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
  }
};

class DetectorTest : public ::testing::Test {
 protected:
  DetectorTest()
      : state{flags, params, midi, sounds, meters}, detector(state, controls, actions, clock) {
    actions.midi = &midi;
    actions.sounds = sounds;
    clock.Set(1000);
  }

  // A 16-bit block; each frame is {left, right} (mono blocks use only left).
  static IALAudioBufferPtr Block(const std::vector<std::pair<int, int>>& frames,
                                 uint32_t channels = 2) {
    auto b = TALAudioBuffer::Create(16, static_cast<uint32_t>(frames.size()), channels);
    auto a = b->GetAccess();
    for (uint32_t i = 0; i < frames.size(); ++i) {
      a->SetSample(i, 0, frames[i].first);
      if (channels > 1) a->SetSample(i, 1, frames[i].second);
    }
    return b;
  }
  // A block whose positive peak on each channel sits at the given level in dB.
  static IALAudioBufferPtr AtDb(double left_db, double right_db) {
    auto amp = [](double db) { return static_cast<int>(std::lround(32767.0 * std::pow(10, db / 20))); };
    return Block({{0, 0}, {amp(left_db), amp(right_db)}, {-amp(left_db), -amp(right_db)}});
  }
  void Run(const IALAudioBufferPtr& b) { detector.ProcessBlock(b); }
  void Reset() { actions.calls.clear(); }

  TRunFlags flags;
  TAudioInParams params;
  TMyMidi midi;
  TMySound sounds[2];
  TVumeters meters;
  TControlSnapshot controls;
  RecordingActions actions;
  TFakeTickClock clock;
  TTriggerDetector::TState state;
  TTriggerDetector detector;
};
