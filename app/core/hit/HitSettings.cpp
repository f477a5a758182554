#include "HitSettings.h"

#include <algorithm>
#include <cmath>

namespace {
// v within lo..hi; a value that is not a number becomes `fallback`.
double Within(double v, double lo, double hi, double fallback) {
  if (std::isnan(v)) return fallback;
  return std::clamp(v, lo, hi);
}
}  // namespace

THitSettings THitSettings::Clamped() const {
  const THitPadSettings d;
  const THitSettings dd;
  THitSettings s = *this;
  for (THitPadSettings& p : s.Pad) {
    if (p.Event != THitEvent::kNote && p.Event != THitEvent::kSound) p.Event = d.Event;
    if (p.Curve != TVelocityCurve::kLinear && p.Curve != TVelocityCurve::kSoft &&
        p.Curve != TVelocityCurve::kHard) {
      p.Curve = d.Curve;
    }
    p.ThresholdDb = Within(p.ThresholdDb, -144, 0, d.ThresholdDb);
    p.ScanMs = Within(p.ScanMs, 0, 20, d.ScanMs);
    p.MaskMs = Within(p.MaskMs, 0, 1000, d.MaskMs);
    p.DecayMs = Within(p.DecayMs, 0, 5000, d.DecayMs);
    p.RetriggerDb = Within(p.RetriggerDb, 0, 40, d.RetriggerDb);
    p.ReleaseDb = Within(p.ReleaseDb, 0, 40, d.ReleaseDb);
    p.NoteLengthMs = Within(p.NoteLengthMs, 0, 10000, d.NoteLengthMs);
    p.HighPassHz = Within(p.HighPassHz, 0, 20000, d.HighPassHz);
    p.LowPassHz = Within(p.LowPassHz, 0, 20000, d.LowPassHz);
    p.FullVelocityDb = Within(p.FullVelocityDb, -144, 0, d.FullVelocityDb);
    p.Key = std::clamp(p.Key, -1, 16 * 128 - 1);
  }
  s.CrosstalkWindowMs = Within(s.CrosstalkWindowMs, 0, 200, dd.CrosstalkWindowMs);
  s.CrosstalkRatioDb = Within(s.CrosstalkRatioDb, 0, 60, dd.CrosstalkRatioDb);
  s.CrosstalkHoldMs = Within(s.CrosstalkHoldMs, 0, 20, dd.CrosstalkHoldMs);
  return s;
}
