#include "HitVelocity.h"

#include <algorithm>
#include <cmath>

double HitCurve(double level_db, const THitPadSettings& pad) {
  const double span = pad.FullVelocityDb - pad.ThresholdDb;
  // A full-velocity level at or under the threshold: every hit is a full one.
  double x = span > 1e-6 ? (level_db - pad.ThresholdDb) / span : 1.0;
  if (!(x > 0)) x = 0;  // also a level that is not a number
  x = std::min(x, 1.0);
  switch (pad.Curve) {
    case TVelocityCurve::kSoft:
      return 1.0 - (1.0 - x) * (1.0 - x);
    case TVelocityCurve::kHard:
      return x * x;
    case TVelocityCurve::kLinear:
      break;
  }
  return x;
}

int HitVelocity(double level_db, const THitPadSettings& pad) {
  if (!pad.VelocityFollowsLevel) return 100;
  const long v = 1 + std::lround(126.0 * HitCurve(level_db, pad));
  return static_cast<int>(std::clamp(v, 1L, 127L));
}

double HitVolume(double level_db, const THitPadSettings& pad) {
  if (!pad.VelocityFollowsLevel) return 100.0;
  return 100.0 * HitCurve(level_db, pad);
}
