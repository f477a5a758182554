#include "uMaths.h"

#include <cmath>

#include "AppState.h"

double AmplitudeToDb(int32_t Reference, double Value) {
  const double silence = 20.0 * std::log10(1.0 / Reference);
  if (Value == 0.0) return std::isfinite(silence) ? silence : 0.0;
  const double db = 20.0 * std::log10(std::fabs(Value) / Reference);
  if (std::isfinite(db)) return db;
  // A reference of 0 or less has no meaningful level: report 0 dB rather than inf or NaN.
  return std::isfinite(silence) ? silence : 0.0;
}

double SampleToDb(double Value) { return AmplitudeToDb(AudioInParams.FullScale, Value); }

double FloorDb(int32_t Reference) { return AmplitudeToDb(Reference, 1.0) - 6.0; }
