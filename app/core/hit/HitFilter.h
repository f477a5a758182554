// The filters of one pad's hit detection: a DC blocker on everything the pad hears, and the
// second-order high- and low-pass sections of the detection filter.
// Called on the thread that runs THitEngine::Process; no allocation, plain arithmetic.
#pragma once

#include <cmath>

// First order, corner a few hertz: removes a DC offset so that it neither counts as a level nor
// shifts a hit's peak. Primed with the first sample it hears, so a signal that starts on an
// offset gives no step.
class THitDcBlocker {
 public:
  void SetRate(double rate) { pole_ = 1.0 - 2.0 * M_PI * kCornerHz / rate; }
  void Reset() { primed_ = false; }
  double Process(double x) {
    if (!primed_) {
      x1_ = x;
      y1_ = 0;
      primed_ = true;
    }
    double y = x - x1_ + pole_ * y1_;
    if (std::fabs(y) < 1e-30) y = 0;  // no denormals in a long silence
    x1_ = x;
    y1_ = y;
    return y;
  }

 private:
  static constexpr double kCornerHz = 5;
  double pole_ = 0.999;
  double x1_ = 0, y1_ = 0;
  bool primed_ = false;
};

// One biquad section (Butterworth quality), transposed direct form II. Off passes the signal
// through.
class THitBiquad {
 public:
  enum class TKind { kHighPass, kLowPass };

  // hz <= 0 switches the section off; hz is kept under the Nyquist frequency.
  void Set(TKind kind, double hz, double rate) {
    on_ = hz > 0;
    if (!on_) return;
    hz = std::fmin(hz, 0.45 * rate);
    const double w = 2.0 * M_PI * hz / rate;
    const double cw = std::cos(w);
    const double alpha = std::sin(w) / (2.0 * M_SQRT1_2);
    const double a0 = 1.0 + alpha;
    if (kind == TKind::kLowPass) {
      b0_ = (1.0 - cw) / 2.0 / a0;
      b1_ = (1.0 - cw) / a0;
    } else {
      b0_ = (1.0 + cw) / 2.0 / a0;
      b1_ = -(1.0 + cw) / a0;
    }
    b2_ = b0_;
    a1_ = -2.0 * cw / a0;
    a2_ = (1.0 - alpha) / a0;
  }
  void Reset() { z1_ = z2_ = 0; }
  bool On() const { return on_; }
  double Process(double x) {
    const double y = b0_ * x + z1_;
    z1_ = b1_ * x - a1_ * y + z2_;
    z2_ = b2_ * x - a2_ * y;
    if (std::fabs(z1_) < 1e-30) z1_ = 0;
    if (std::fabs(z2_) < 1e-30) z2_ = 0;
    return y;
  }

 private:
  bool on_ = false;
  double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
  double z1_ = 0, z2_ = 0;
};
