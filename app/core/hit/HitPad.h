// One pad's hit detection: filters, where a hit began, the scan of its velocity, its mask, the
// threshold that follows the hit's decay, and the pad's sounding note. THitEngine runs one per
// pad, sample by sample, and links them (crosstalk, shared keys).
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
  // the engine then decides whether it fires, before the next sample. `others_onset`: where the
  // latest hit on another pad began (0: none); a hit starting soon after it is not looked back
  // on, since what rose first here may be that drum's bleed.
  bool Step(float x, uint64_t f, uint64_t others_onset);

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
  // Highest peak of the detection signal up to the scan's end, dB full scale:
  // the level for velocity.
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

  // A hit that began at `onset`, found above the threshold at f.
  void StartHit(uint64_t onset, uint64_t f, float a);
  // Where a hit found above the threshold at f began: looking back at most kBackMs over the
  // attack band for where it rose out of the level it had just before. f when no such rise is
  // clear.
  uint64_t RiseStart(uint64_t f, uint64_t others_onset);
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
  // The attack band: the detection band with its high-pass raised and its low-pass widened, where
  // a stroke's first milliseconds stand out of a low drum's ring: RiseStart looks there.
  THitBiquad attack_hp_, attack_lp_;

  // State.
  TPhase phase_ = TPhase::kIdle;
  bool has_hit_ = false;
  bool decided_ = false;
  uint64_t onset_ = 0;
  uint64_t scan_end_ = 0, decide_at_ = 0, mask_end_ = 0;
  float vel_peak_ = 0;  // start to scan end: the hit's level for its velocity
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
  // The attack band's last samples (same index), and a queue of frames RiseStart works with.
  float attack_[kHistory] = {};
  uint64_t queue_[kHistory] = {};
  uint32_t rise_ = 1;
  uint32_t at_ = 0;
  // RiseStart's frames: how far back it looks, the lag and the span of the level a rise is
  // measured against, and how long a rise may sink back to that level and still be one rise.
  uint32_t back_ = 1, lag_ = 1, before_ = 1, gap_ = 1;
  float rise_floor_ = 0;  // linear: a rise starts above this only
};
