#include "HitSettingsClamp.h"

#include <algorithm>
#include <cmath>

namespace {
void Clamp(double& v, double lo, double hi, double fallback) {
  v = std::isfinite(v) ? std::clamp(v, lo, hi) : fallback;
}
}  // namespace

void ClampHitSettings(THitSettings& s) {
  const THitPadSettings d;
  for (THitPadSettings& p : s.Pad) {
    Clamp(p.ThresholdDb, -144, 0, d.ThresholdDb);
    Clamp(p.ScanMs, 0, 20, d.ScanMs);
    Clamp(p.MaskMs, 0, 500, d.MaskMs);
    Clamp(p.DecayMs, 0, 2000, d.DecayMs);
    Clamp(p.ReleaseDb, 0, 40, d.ReleaseDb);
    Clamp(p.NoteLengthMs, 1, 2000, d.NoteLengthMs);
    Clamp(p.HighPassHz, 0, 20000, d.HighPassHz);
    Clamp(p.LowPassHz, 0, 20000, d.LowPassHz);
    Clamp(p.FullVelocityDb, -143, 0, d.FullVelocityDb);
  }
  const THitSettings ds;
  Clamp(s.CrosstalkWindowMs, 0, 200, ds.CrosstalkWindowMs);
  Clamp(s.CrosstalkRatioDb, 0, 60, ds.CrosstalkRatioDb);
}
