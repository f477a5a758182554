// The peak meter's signal processing, one channel at a time on blocks of 32-bit floats: the
// first-order DC-blocking high-pass and the peak detector with exponential release. Plain
// arithmetic with no locks or allocation, so it may run on the capture thread.
#pragma once

#include <cstddef>
#include <cstdint>

// Frames in one measuring period: rate x period / 1000, at least 1.
uint32_t MeterPeriodFrames(uint32_t sample_rate, uint32_t period_ms);

// y[n] = x[n-1] - x[n-2] + alpha * y[n-1], with alpha = 1 - 40 pi / rate. The one-sample delay
// and the history carried from block to block are part of the meter's response: an 8-bit stream
// (zero line at 128) starts with a transient of 128.
class TALDcBlocker {
 public:
  explicit TALDcBlocker(uint32_t sample_rate = 44100);
  float Alpha() const { return alpha_; }
  // Filters block in place.
  void Process(float* block, size_t count);

 private:
  float alpha_;
  float x1_ = 0.0f;  // x[n-1]
  float x2_ = 0.0f;  // x[n-2]
  float y1_ = 0.0f;  // y[n-1]
};

// Follows rises at once and releases by P x 1000 / (rate x half_life) per sample, so the peak
// falls by a factor e about every half_life milliseconds; at 0.005 or below it drops to 0.
class TALPeakRelease {
 public:
  static constexpr double kFloor = 0.005;

  // A half-life of 0 or less releases at once (the peak follows the signal).
  void SetRelease(uint32_t sample_rate, int32_t half_life_ms);
  double Peak() const { return peak_; }
  void SetPeak(double value) { peak_ = value; }
  // Runs the detector over filtered samples; returns the peak after the last one.
  double Process(const float* samples, size_t count);

 private:
  double peak_ = 0.0;
  double release_ = 1.0 / 44100.0;  // fraction of the peak lost per sample
};
