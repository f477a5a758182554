// The stop handshake between the UI thread and the capture thread, as Stop relies on it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "DetectorFixture.h"

namespace {

// Counts the calls instead of recording them: the capture thread makes them while the test
// thread watches.
struct CountingActions : ITriggerActions {
  std::atomic<int> calls{0};
  TMyMidi* midi = nullptr;
  void SetClipVisible(bool) override { ++calls; }
  void SetThresholdLight(int, bool) override { ++calls; }
  void ShowVelocity(int, int) override { ++calls; }
  void NoteOn(int c, int) override {
    midi->NoteOn(c) = true;
    ++calls;
  }
  void NoteOff(int c) override {
    midi->NoteOn(c) = false;
    ++calls;
  }
  void ShowVolume(int, double) override { ++calls; }
  void TriggerSound(int, double) override { ++calls; }
  void RefreshLevels(double, double) override { ++calls; }
};

TEST(TriggerDetectorThreading, StopHandshakeSilencesTheCaptureThread) {
  TRunFlags flags;
  TAudioInParams params;
  TMyMidi midi;
  TMySound sounds[2];
  TVumeters meters;
  TControlSnapshot controls;
  CountingActions actions;
  actions.midi = &midi;
  TFakeTickClock clock;
  TTriggerDetector detector({flags, params, midi, sounds, meters}, controls, actions, clock);

  auto loud = TALAudioBuffer::Create(16, 1024, 2);
  auto quiet = TALAudioBuffer::Create(16, 1024, 2);
  {
    auto a = loud->GetAccess();
    for (uint32_t i = 0; i < 1024; ++i) a->SetSample(i, i % 2, 20000);
  }
  std::atomic<bool> quit{false};
  std::atomic<long> blocks{0};
  std::thread capture([&] {
    while (!quit.load()) {
      detector.ProcessBlock((blocks.load() / 3) % 2 ? quiet : loud);
      ++blocks;
    }
  });

  for (int round = 0; round < 20; ++round) {
    // Start: clear the flags; let blocks flow while the UI thread changes thresholds.
    flags.StopAck = false;
    flags.StopRequest = false;
    const long start = blocks.load();
    while (blocks.load() < start + 20) controls.Thres[round % 2] = -(round % 40) - 1;
    // Stop: raise the request and spin for the acknowledgement, as the window does.
    flags.StopRequest = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!flags.StopAck && std::chrono::steady_clock::now() < deadline) {
    }
    ASSERT_TRUE(flags.StopAck) << "round " << round;
    // Once acknowledged, the capture thread fires nothing more, however many blocks arrive.
    const int calls = actions.calls.load();
    const long seen = blocks.load();
    while (blocks.load() < seen + 5) std::this_thread::yield();
    EXPECT_EQ(actions.calls.load(), calls) << "round " << round;
  }
  quit = true;
  capture.join();
}

}  // namespace
