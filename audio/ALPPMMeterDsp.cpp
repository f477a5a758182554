#include "ALPPMMeterDsp.h"

#include <algorithm>
#include <cmath>

uint32_t MeterPeriodFrames(uint32_t sample_rate, uint32_t period_ms) {
  const uint64_t frames = static_cast<uint64_t>(sample_rate) * period_ms / 1000;
  return static_cast<uint32_t>(std::clamp<uint64_t>(frames, 1, UINT32_MAX));
}

TALDcBlocker::TALDcBlocker(uint32_t sample_rate)
    : alpha_(sample_rate == 0 ? 0.0f
                              : static_cast<float>(1.0 - 125.66370614359172 / sample_rate)) {}

namespace {
constexpr float kFlush = 1e-20f;
}  // namespace

void TALDcBlocker::Process(float* block, size_t count) {
  float x1 = x1_, x2 = x2_, y1 = y1_;
  const float alpha = alpha_;
  for (size_t i = 0; i < count; ++i) {
    const float x = block[i];
    float y = x1 - x2 + alpha * y1;
    // The decaying tail would otherwise settle on a subnormal limit cycle (about 2e-43) instead
    // of 0, and silence would never read 0. Sample values are whole numbers: this is far below.
    if (std::fabs(y) < kFlush) y = 0.0f;
    block[i] = y;
    x2 = x1;
    x1 = x;
    y1 = y;
  }
  x1_ = x1;
  x2_ = x2;
  y1_ = y1;
}

void TALPeakRelease::SetRelease(uint32_t sample_rate, int32_t half_life_ms) {
  // Guarded: a zero rate or half-life would make the release infinite and the peak NaN.
  if (sample_rate == 0 || half_life_ms <= 0) {
    release_ = 1.0;
    return;
  }
  release_ = 1000.0 / (static_cast<double>(sample_rate) * half_life_ms);
}

double TALPeakRelease::Process(const float* samples, size_t count) {
  double p = peak_;
  const double release = release_;
  for (size_t i = 0; i < count; ++i) {
    const double v = std::fabs(static_cast<double>(samples[i]));
    if (v > p)
      p = v;
    else if (p <= kFloor)
      p = 0.0;
    else
      p = std::max(p - p * release, v);
  }
  peak_ = p;
  return p;
}
