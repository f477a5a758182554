#include "HitPad.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {
float FromDb(double db) {
  return static_cast<float>(std::pow(10.0, db / 20.0));
}
double ToDb(double v) {
  return v > 1e-10 ? 20.0 * std::log10(v) : -200.0;
}
uint32_t Frames(double ms, uint32_t rate) {
  return static_cast<uint32_t>(std::lround(ms * rate / 1000.0));
}
// How long a stroke takes to rise above the ring it lands on.
constexpr double kRiseMs = 2;
}  // namespace

void THitPad::Configure(const THitPadSettings& s, uint32_t rate, uint32_t hold_frames,
                        uint32_t window_frames) {
  const bool filter_changed = s.HighPassHz != s_.HighPassHz || s.LowPassHz != s_.LowPassHz;
  s_ = s;
  base_ = FromDb(s.ThresholdDb);
  floor_ = FromDb(s.ThresholdDb - s.ReleaseDb);
  retrigger_ = FromDb(s.RetriggerDb);
  scan_ = Frames(s.ScanMs, rate);
  mask_ = Frames(s.MaskMs, rate);
  hold_ = hold_frames;
  window_ = window_frames;
  // The rate that takes the threshold from full scale down to the base in DecayMs; at once for 0.
  const double decay_frames = s.DecayMs * rate / 1000.0;
  fall_ = decay_frames >= 1 ? static_cast<float>(std::pow(base_, 1.0 / decay_frames)) : 0.f;
  rise_ = std::clamp<uint32_t>(Frames(kRiseMs, rate), 1, kHistory - 1);
  dc_.SetRate(rate);
  hp_.Set(THitBiquad::TKind::kHighPass, s.HighPassHz, rate);
  lp_.Set(THitBiquad::TKind::kLowPass, s.LowPassHz, rate);
  if (filter_changed) {
    hp_.Reset();
    lp_.Reset();
  }
}

void THitPad::Reset() {
  phase_ = TPhase::kIdle;
  has_hit_ = false;
  decided_ = false;
  std::fill(std::begin(history_), std::end(history_), 0.f);
  dc_.Reset();
  hp_.Reset();
  lp_.Reset();
}

void THitPad::StartHit(uint64_t onset, uint64_t f, float a) {
  phase_ = TPhase::kHit;
  has_hit_ = true;
  decided_ = false;
  onset_ = onset;
  scan_end_ = f + scan_;
  decide_at_ = scan_end_ + hold_;
  mask_end_ = scan_end_ + std::max(mask_, hold_);
  vel_peak_ = a;
  top_ = a;
  level_ = a;
}

void THitPad::StartFollowing() {
  phase_ = TPhase::kFollow;
  thr_ = top_;
  above_ = false;
}

bool THitPad::Step(float x, uint64_t f) {
  // A sample that is not a number counts as silence; a wild one as far over full scale.
  if (!(x >= -8.f && x <= 8.f)) x = x > 0 ? 8.f : (x < 0 ? -8.f : 0.f);
  const double clean = dc_.Process(x);
  double det = clean;
  if (hp_.On()) det = hp_.Process(det);
  if (lp_.On()) det = lp_.Process(det);
  // Velocity is read on the detection signal too: the filter keeps the drum's body and drops the
  // cymbals' spill and the other drum's click, and the body grows with the stroke more steadily
  // than the raw peak does (measured on the recorded-drums benchmark).
  const float a = static_cast<float>(std::fabs(det));
  history_[at_] = a;
  const float old = history_[(at_ - rise_) & (kHistory - 1)];
  at_ = (at_ + 1) & (kHistory - 1);

  if (phase_ == TPhase::kHit) {
    if (decided_ && f > mask_end_) {
      StartFollowing();
    } else {
      if (f <= scan_end_) vel_peak_ = std::max(vel_peak_, a);
      top_ = std::max(top_, a);
      level_ = std::max(level_, a);
    }
  }
  if (phase_ == TPhase::kFollow) {
    if (f - onset_ <= window_) level_ = std::max(level_, a);
    thr_ *= fall_;
    if (thr_ < floor_) {
      phase_ = TPhase::kIdle;
    } else if (a > std::max(base_, thr_ * retrigger_)) {
      // A stroke on a ring: it began where the signal last rose above the following threshold,
      // when that was within the rise time.
      StartHit(above_ && f - above_since_ <= rise_ ? above_since_ : f, f, a);
    } else {
      if (a > thr_ && !above_) above_since_ = f;
      above_ = a > thr_;
      if (old > thr_) thr_ = old;  // still the drum's own ring
    }
  }
  if (phase_ == TPhase::kIdle && a > base_) StartHit(f, f, a);

  if (phase_ == TPhase::kHit && !decided_ && f >= decide_at_) {
    decided_ = true;
    return true;
  }
  return false;
}

double THitPad::PeakDb() const {
  return ToDb(vel_peak_);
}

double THitPad::ThresholdDb() const {
  switch (phase_) {
    case TPhase::kIdle:
      return s_.ThresholdDb;
    case TPhase::kHit:
      return ToDb(top_ * retrigger_);
    case TPhase::kFollow:
      break;
  }
  return ToDb(std::max(base_, thr_ * retrigger_));
}
