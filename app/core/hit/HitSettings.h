// The settings of hit detection ("Frappe"): per pad, and those linking the pads (crosstalk), as
// plain values. The window and tocsin-render fill one from their controls or options; the engine
// reads it through Configure on the thread that runs Process.
// Any thread; plain data.
#pragma once

#include <cstdint>

// How a channel decides to fire: "Niveau" (a block's positive peak against the threshold, the
// note held while above) or "Frappe" (hits, per sample, by THitEngine).
enum class TDetectionKind : uint8_t { kLevel = 0, kHit = 1 };

// The velocity (or volume) curve between the threshold and the full-velocity level.
enum class TVelocityCurve : uint8_t { kLinear = 0, kSoft = 1, kHard = 2 };

// What a pad fires on a hit: a note (note-on, then its note-off) or its sound.
enum class THitEvent : uint8_t { kNote = 0, kSound = 1 };

struct THitPadSettings {
  bool Enabled = false;  // the channel is in "Frappe"; otherwise the engine leaves it alone
  THitEvent Event = THitEvent::kNote;
  double ThresholdDb = -45;        // base threshold, dB full scale (the channel's threshold box)
  double ScanMs = 2.5;             // scan window after the first sample above; 0 allowed
  double MaskMs = 10;              // nothing fires after a hit for this long
  double DecayMs = 60;             // the hit-following threshold's fall back to the base
  double ReleaseDb = 0;            // hysteresis under the threshold; 0: none
  double NoteLengthMs = 50;        // note-on to note-off
  double HighPassHz = 0;           // detection filter; 0: off
  double LowPassHz = 0;            // 0: off
  double FullVelocityDb = 0;       // the level that gives velocity 127 (volume 100)
  TVelocityCurve Curve = TVelocityCurve::kLinear;
  bool VelocityFollowsLevel = true;  // false: velocity 100, volume 100
};

struct THitSettings {
  static constexpr int kMaxPads = 8;
  THitPadSettings Pad[kMaxPads];
  // A hit within CrosstalkWindowMs of a louder hit on another pad, and quieter than it by more
  // than CrosstalkRatioDb, is dropped. Window 0: no rejection.
  double CrosstalkWindowMs = 30;
  double CrosstalkRatioDb = 12;
};
