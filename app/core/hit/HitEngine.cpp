#include "HitEngine.h"

#include <algorithm>
#include <cmath>

#include "HitVelocity.h"

THitEngine::THitEngine(int pads)
    : pads_(std::clamp(pads, 1, THitSettings::kMaxPads)), pad_(new THitPad[pads_]) {
  Configure(THitSettings{}, rate_);
}

THitEngine::~THitEngine() = default;

int THitEngine::Pads() const {
  return pads_;
}

void THitEngine::Configure(const THitSettings& settings, uint32_t sample_rate) {
  const THitSettings s = settings.Clamped();
  // A rate that is no rate keeps the last one.
  if (sample_rate >= 1000 && sample_rate <= 768000) rate_ = sample_rate;
  const auto frames = [&](double ms) { return HitFrames(ms, rate_); };
  crosstalk_window_ = frames(s.CrosstalkWindowMs);
  crosstalk_ratio_ = static_cast<float>(std::pow(10.0, s.CrosstalkRatioDb / 20.0));
  const uint32_t hold = crosstalk_window_ ? frames(s.CrosstalkHoldMs) : 0;
  for (int p = 0; p < pads_; ++p) {
    pad_[p].Configure(s.Pad[p], rate_, hold, static_cast<uint32_t>(crosstalk_window_));
    note_frames_[p] = frames(s.Pad[p].NoteLengthMs);
  }
}

void THitEngine::Process(const float* const* inputs, uint32_t frames, uint64_t first_frame,
                         IHitSink& sink) {
  // Pads switched off since the last call let go of their note and forget their hit.
  for (int p = 0; p < pads_; ++p) {
    if (pad_[p].Enabled()) continue;
    if (pad_[p].sounding) EndNote(p, first_frame, sink);
    if (pad_[p].HasHit()) pad_[p].Reset();
  }
  for (uint32_t i = 0; i < frames; ++i) {
    const uint64_t f = first_frame + i;
    // Where the latest hits began, for each pad the latest on another pad (as the frame starts).
    uint64_t latest = 0, second = 0;
    int latest_pad = -1;
    for (int q = 0; q < pads_; ++q) {
      if (!pad_[q].Enabled() || !pad_[q].HasHit()) continue;
      const uint64_t on = pad_[q].Onset();
      if (latest_pad < 0 || on > latest) {
        second = latest;
        latest = on;
        latest_pad = q;
      } else {
        second = std::max(second, on);
      }
    }
    for (int p = 0; p < pads_; ++p) {
      THitPad& pad = pad_[p];
      if (!pad.Enabled()) continue;
      // Due at f, or late after frames skipped: then at the first frame heard. While a new hit
      // is being decided the note waits: if the hit fires, the note ends at the hit's first
      // frame, before the new note-on, not after it.
      if (pad.sounding && f >= pad.off_frame && !pad.Deciding()) {
        EndNote(p, std::max(pad.off_frame, first_frame), sink);
      }
      const float* in = inputs ? inputs[p] : nullptr;
      if (pad.Step(in ? in[i] : 0.f, f, p == latest_pad ? second : latest)) Decide(p, f, sink);
    }
  }
}

void THitEngine::Decide(int p, uint64_t f, IHitSink& sink) {
  THitPad& pad = pad_[p];
  // Crosstalk: a louder hit on another pad close enough in time makes this one its echo. The
  // pad keeps the hit all the same (mask, following threshold), so the echo's ring stays quiet.
  if (crosstalk_window_) {
    for (int q = 0; q < pads_; ++q) {
      const THitPad& other = pad_[q];
      if (q == p || !other.Enabled() || !other.HasHit()) continue;
      const uint64_t apart =
          other.Onset() > pad.Onset() ? other.Onset() - pad.Onset() : pad.Onset() - other.Onset();
      if (apart <= crosstalk_window_ && other.Level() > pad.Level() * crosstalk_ratio_) {
        if (pad.sounding && f >= pad.off_frame) EndNote(p, pad.off_frame, sink);  // it waited
        return;
      }
    }
  }
  const THitPadSettings& s = pad.Settings();
  const double level_db = pad.PeakDb();
  if (s.Event == THitEvent::kSound) {
    sink.Sound(p, pad.Onset(), HitVolume(level_db, s));
    return;
  }
  uint64_t on = pad.Onset();
  // One key, one note: end whatever note of this key still sounds, on this pad or another one
  // playing the same key, and never start before that note's own note-on or before a note-off
  // of the key already sent.
  const auto same_key = [&](int q) {
    return q == p || (s.Key >= 0 && pad_[q].Settings().Key == s.Key);
  };
  for (int q = 0; q < pads_; ++q) {
    if (!same_key(q)) continue;
    on = std::max({on, pad_[q].last_off_frame, pad_[q].sounding ? pad_[q].on_frame : 0});
  }
  for (int q = 0; q < pads_; ++q) {
    if (same_key(q) && pad_[q].sounding) EndNote(q, on, sink);
  }
  sink.NoteOn(p, on, HitVelocity(level_db, s));
  pad.sounding = true;
  pad.on_frame = on;
  pad.off_frame = std::max(on + note_frames_[p], f);
}

void THitEngine::EndNote(int p, uint64_t frame, IHitSink& sink) {
  pad_[p].sounding = false;
  pad_[p].last_off_frame = frame;
  sink.NoteOff(p, frame);
}

void THitEngine::ReleaseAll(uint64_t frame, IHitSink& sink) {
  for (int p = 0; p < pads_; ++p) {
    if (pad_[p].sounding) EndNote(p, frame, sink);
    pad_[p].Reset();
  }
}

double THitEngine::ThresholdDb(int pad) const {
  if (pad < 0 || pad >= pads_) return 0;
  return pad_[pad].ThresholdDb();
}

bool THitEngine::Sounding(int pad) const {
  return pad >= 0 && pad < pads_ && pad_[pad].sounding;
}
