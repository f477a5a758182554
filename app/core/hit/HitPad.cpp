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
// How long a stroke takes to rise above the ring it lands on.
constexpr double kRiseMs = 2;
// Where a hit began (RiseStart): the first sample, at most kBackMs before the first one above the
// threshold, that stands kStartDb over the highest of the kBeforeMs before the last kLagMs, and
// over the threshold less kStartFloorDb. The rise may sink back under that level for kGapMs at
// most (a low drum's first lobe); longer, and what rose was something else. Tuned on the
// recorded-drums benchmark.
constexpr double kBackMs = 4;
constexpr double kLagMs = 0.5;
constexpr double kBeforeMs = 2;
constexpr double kGapMs = 1;
constexpr double kStartDb = 6;
constexpr double kStartFloorDb = 8;
// The attack band's corners: a kick's ring (50-60 Hz) under it, a stroke's first milliseconds in
// it; both on the benchmark's kick and snare.
constexpr double kAttackHighPassHz = 200;
constexpr double kAttackLowPassHz = 1500;
}  // namespace

void THitPad::Configure(const THitPadSettings& s, uint32_t rate, uint32_t hold_frames,
                        uint32_t window_frames) {
  const bool filter_changed = s.HighPassHz != s_.HighPassHz || s.LowPassHz != s_.LowPassHz;
  s_ = s;
  base_ = FromDb(s.ThresholdDb);
  floor_ = FromDb(s.ThresholdDb - s.ReleaseDb);
  retrigger_ = FromDb(s.RetriggerDb);
  scan_ = HitFrames(s.ScanMs, rate);
  mask_ = HitFrames(s.MaskMs, rate);
  hold_ = hold_frames;
  window_ = window_frames;
  // The rate that takes the threshold from full scale down to the base in DecayMs; at once for 0.
  const double decay_frames = s.DecayMs * rate / 1000.0;
  fall_ = decay_frames >= 1 ? static_cast<float>(std::pow(base_, 1.0 / decay_frames)) : 0.f;
  rise_ = std::clamp<uint32_t>(HitFrames(kRiseMs, rate), 1, kHistory - 1);
  // The look-back and the level before it fit the history at any rate.
  back_ = std::clamp<uint32_t>(HitFrames(kBackMs, rate), 1, kHistory / 4);
  lag_ = std::clamp<uint32_t>(HitFrames(kLagMs, rate), 1, kHistory / 8);
  before_ = std::clamp<uint32_t>(HitFrames(kBeforeMs, rate), 1, kHistory / 2);
  gap_ = std::max<uint32_t>(HitFrames(kGapMs, rate), 1);
  rise_floor_ = FromDb(s.ThresholdDb - kStartFloorDb);
  dc_.SetRate(rate);
  hp_.Set(THitBiquad::TKind::kHighPass, s.HighPassHz, rate);
  lp_.Set(THitBiquad::TKind::kLowPass, s.LowPassHz, rate);
  // A side of the detection filter switched off leaves that side of the attack band open too.
  attack_hp_.Set(THitBiquad::TKind::kHighPass,
                 s.HighPassHz > 0 ? std::max(s.HighPassHz, kAttackHighPassHz) : 0, rate);
  attack_lp_.Set(THitBiquad::TKind::kLowPass,
                 s.LowPassHz > 0 ? std::max(s.LowPassHz, kAttackLowPassHz) : 0, rate);
  if (filter_changed) {
    hp_.Reset();
    lp_.Reset();
    attack_hp_.Reset();
    attack_lp_.Reset();
  }
}

void THitPad::Reset() {
  phase_ = TPhase::kIdle;
  has_hit_ = false;
  decided_ = false;
  std::fill(std::begin(history_), std::end(history_), 0.f);
  std::fill(std::begin(attack_), std::end(attack_), 0.f);
  dc_.Reset();
  hp_.Reset();
  lp_.Reset();
  attack_hp_.Reset();
  attack_lp_.Reset();
}

void THitPad::StartHit(uint64_t onset, uint64_t f, float a) {
  phase_ = TPhase::kHit;
  has_hit_ = true;
  decided_ = false;
  onset_ = onset;
  // The scan runs from the first sample above the threshold: the note is stamped where the hit
  // began, but its velocity is read over the same stretch as ever.
  scan_end_ = f + scan_;
  decide_at_ = scan_end_ + hold_;
  mask_end_ = scan_end_ + std::max(mask_, hold_);
  vel_peak_ = 0;
  for (uint64_t j = onset; j <= f; ++j) {
    vel_peak_ =
        std::max(vel_peak_, history_[(at_ - 1 - static_cast<uint32_t>(f - j)) & (kHistory - 1)]);
  }
  top_ = a;
  level_ = a;
}

uint64_t THitPad::RiseStart(uint64_t f, uint64_t others_onset) {
  const uint64_t span = static_cast<uint64_t>(back_) + lag_ + before_;
  if (f < span || others_onset + span >= f) return f;
  // attack_ holds frame f at at_ - 1 (Step has moved on).
  const auto at = [&](uint64_t j) {
    return attack_[(at_ - 1 - static_cast<uint32_t>(f - j)) & (kHistory - 1)];
  };
  // The highest of the frames j - lag_ - before_ .. j - lag_, for each j in turn: a queue of
  // frames whose samples fall from head to tail.
  uint32_t head = 0, tail = 0;
  const auto push = [&](uint64_t i) {
    const float v = at(i);
    while (head != tail && at(queue_[(tail - 1) & (kHistory - 1)]) <= v) --tail;
    queue_[tail & (kHistory - 1)] = i;
    ++tail;
  };
  const float step = FromDb(kStartDb);
  const uint64_t first = f - back_;
  for (uint64_t i = first - lag_ - before_; i < first - lag_; ++i) push(i);
  bool rising = false;
  uint64_t start = f, last_above = 0;
  float level = 0;  // what the rise must stay above
  for (uint64_t j = first; j <= f; ++j) {
    push(j - lag_);
    while (queue_[head & (kHistory - 1)] + lag_ + before_ < j) ++head;
    const float before = at(queue_[head & (kHistory - 1)]);
    const float v = at(j);
    if (rising && v >= level) last_above = j;
    if (rising && j - last_above > gap_) rising = false;
    if (!rising && v >= rise_floor_ && v >= step * before) {
      rising = true;
      start = last_above = j;
      level = step * before;
    }
  }
  return rising ? start : f;
}

void THitPad::StartFollowing() {
  phase_ = TPhase::kFollow;
  thr_ = top_;
  above_ = false;
}

bool THitPad::Step(float x, uint64_t f, uint64_t others_onset) {
  // A sample that is not a number counts as silence; a wild one as far over full scale.
  if (!(x >= -8.f && x <= 8.f)) x = x > 0 ? 8.f : (x < 0 ? -8.f : 0.f);
  const double clean = dc_.Process(x);
  double det = clean;
  if (hp_.On()) det = hp_.Process(det);
  if (lp_.On()) det = lp_.Process(det);
  // Velocity is read on the detection signal too: the filter keeps the drum's body and drops the
  // cymbals' spill and the other drum's click, and the body grows with the stroke more steadily
  // than the raw peak does (measured on the recorded-drums benchmark). Where a hit began is read
  // on the attack band, where a stroke's first millisecond stands out of a kick's ring.
  const float a = static_cast<float>(std::fabs(det));
  double attack = clean;
  if (attack_hp_.On()) attack = attack_hp_.Process(attack);
  if (attack_lp_.On()) attack = attack_lp_.Process(attack);
  const float va = static_cast<float>(std::fabs(attack));
  history_[at_] = a;
  attack_[at_] = va;
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
      // when that was within the rise time, or earlier where its attack rose out of the ring.
      // Never within the last hit's scan (a mask shorter than the look-back).
      const uint64_t above = above_ && f - above_since_ <= rise_ ? above_since_ : f;
      StartHit(std::max(std::min(above, RiseStart(f, others_onset)), scan_end_ + 1), f, a);
    } else {
      if (a > thr_ && !above_) above_since_ = f;
      above_ = a > thr_;
      if (old > thr_) thr_ = old;  // still the drum's own ring
    }
  }
  if (phase_ == TPhase::kIdle && a > base_) {
    const uint64_t after = has_hit_ ? scan_end_ + 1 : 0;  // the last hit's scan is its own
    StartHit(std::max(RiseStart(f, others_onset), std::min(after, f)), f, a);
  }

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
