// Hit detection's one road from the capture: the capture back-end's tap hands over each cycle's
// floating-point samples, the runner checks the run gate as the block handler does, takes the
// newest hit settings the UI thread published (reconfiguring the engine only when they changed,
// or the rate did), and runs THitEngine::Process on them, whose decisions go to the sink.
// A mono capture feeds every pad from its one input.
// Capture runs on the back-end's audio thread (the audio server's cycle, the stream callback),
// or on the caller's thread offline: no allocation, no waiting. RequestRestart: any thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "HitSettingsSnapshot.h"
#include "RunFlags.h"
#include "hit/HitEngine.h"
#include "hit/HitSink.h"
#include "platform/CaptureTap.h"

// A sink that is also told the settings in force and how far the frames have gone.
class IHitRunnerSink : public IHitSink {
 public:
  // The settings the engine was just configured with (within their limits), and the rate.
  virtual void Configured(const THitSettings& settings, uint32_t rate) = 0;
  // After each Process. end_frame: the first frame not processed yet.
  virtual void Passed(uint64_t end_frame, uint32_t rate) = 0;
};

class THitRunner final : public ICaptureTap {
 public:
  THitRunner(TRunFlags& flags, THitSettingsSnapshot& settings, IHitRunnerSink& sink, int pads = 2);

  void Capture(const float* const* inputs, uint32_t channels, uint32_t frames, uint64_t first_frame,
               uint32_t sample_rate) override;

  // Before the capture starts again (Start): hits and notes under way before are forgotten at
  // the next cycle, without a sound. The note trigger has released what was on the wire.
  void RequestRestart() { restart_.store(true, std::memory_order_release); }
  // The thread that runs Capture, once no more comes (a take's end): every sounding note ends
  // at `frame`, through the sink.
  void ReleaseAll(uint64_t frame) { engine_.ReleaseAll(frame, sink_); }

  // The engine, for the thread that runs Capture (tocsin-render's plot reads its threshold).
  const THitEngine& Engine() const { return engine_; }
  // Cycles whose gate was closed, and cycles run: for tests.
  uint64_t Gated() const { return gated_.load(std::memory_order_relaxed); }
  uint64_t Processed() const { return processed_.load(std::memory_order_relaxed); }

 private:
  // What the engine says while it forgets: nothing of it is sent.
  class TSilence final : public IHitSink {
   public:
    void NoteOn(int, uint64_t, int) override {}
    void NoteOff(int, uint64_t) override {}
    void Sound(int, uint64_t, double) override {}
  };

  TRunFlags& flags_;
  THitSettingsSnapshot& settings_;
  IHitRunnerSink& sink_;
  THitEngine engine_;
  TSilence silence_;
  uint32_t rate_ = 0;  // the engine's rate; 0 before the first Configure
  std::atomic<bool> restart_{true};
  std::atomic<uint64_t> gated_{0};
  std::atomic<uint64_t> processed_{0};
  static constexpr int kMaxPads = THitSettings::kMaxPads;
  const float* planes_[kMaxPads] = {};
};
