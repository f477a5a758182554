// One pad's hit detection: filters, the scan of a hit, its mask, the threshold that follows the
// hit's decay, and the pad's sounding note. THitEngine runs one per pad, sample by sample, and
// links them (crosstalk, shared keys).
// Called on the thread that runs THitEngine::Process; no allocation, no waiting.
#pragma once

#include <cstdint>

#include "HitFilter.h"
#include "HitSettings.h"

class THitPad {
 public:
  // Derives the per-sample values; keeps the hit under way and the sounding note.
  // `hold_frames`: the crosstalk hold; `window_frames`: the crosstalk window.
  void Configure(const THitPadSettings& s, uint32_t rate, uint32_t hold_frames,
                 uint32_t window_frames);
  // Forgets the hit under way and the filters' memory (the note is the engine's business).
  void Reset();

  // One sample at absolute frame f. True when a hit's scan (and hold) ends with this sample:
  // the engine then decides whether it fires, before the next sample.
  bool Step(float x, uint64_t f);

  const THitPadSettings& Settings() const { return s_; }
  bool Enabled() const { return s_.Enabled; }

  // The hit under way or the last one, for the crosstalk link.
  bool HasHit() const { return has_hit_; }
  // A hit has begun and is not decided yet.
  bool Deciding() const { return phase_ == TPhase::kHit && !decided_; }
  uint64_t Onset() const { return onset_; }
  // The hit's level so far (linear, detection signal): its highest peak within the crosstalk
  // window from its onset.
  float Level() const { return level_; }
  // Highest peak of the detection signal in the scan, dB full scale: the level for velocity.
  double PeakDb() const;
  // The level a sample must pass to start a hit right now, dB full scale; while a hit is being
  // scanned or masked, the level the threshold will start from.
  double ThresholdDb() const;

  // The pad's note: the engine sets and reads these.
  bool sounding = false;
  uint64_t on_frame = 0;
  uint64_t off_frame = 0;       // when it is due to end
  uint64_t last_off_frame = 0;  // the frame of the last note-off sent

 private:
  enum class TPhase : uint8_t { kIdle, kHit, kFollow };

  // A hit whose first sample above is `onset`, found at f.
  void StartHit(uint64_t onset, uint64_t f, float a);
  void StartFollowing();

  THitPadSettings s_;
  // Derived.
  float base_ = 0;       // threshold, linear
  float floor_ = 0;      // where the following threshold lets go: base minus the release
  float retrigger_ = 1;  // factor over the following threshold for a new hit
  uint32_t scan_ = 0, mask_ = 0, hold_ = 0, window_ = 0;
  float fall_ = 0;  // the following threshold's factor per sample
  THitDcBlocker dc_;
  THitBiquad hp_, lp_;

  // State.
  TPhase phase_ = TPhase::kIdle;
  bool has_hit_ = false;
  bool decided_ = false;
  uint64_t onset_ = 0;
  uint64_t scan_end_ = 0, decide_at_ = 0, mask_end_ = 0;
  float vel_peak_ = 0;  // scan only: the hit's level for its velocity
  float top_ = 0;       // detection signal, scan and mask: where the following threshold starts
  float level_ = 0;     // detection signal, within the crosstalk window
  float thr_ = 0;       // the following threshold
  bool above_ = false;  // the last sample was above it
  uint64_t above_since_ = 0;  // since this frame

  // The detection signal's last kRiseFrames samples: the following threshold takes a sample in
  // only once it is that old, so a new stroke rising on a ring is measured against the ring as
  // it was before the stroke, not against the stroke's own first samples.
  static constexpr uint32_t kHistory = 2048;  // a power of two over the rise time at any rate
  float history_[kHistory] = {};
  uint32_t rise_ = 1;
  uint32_t at_ = 0;
};
