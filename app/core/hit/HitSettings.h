// The settings of hit detection ("Frappe"): per pad, and those linking the pads (crosstalk), as
// plain values. The window and tocsin-render fill one from their controls or options; the engine
// reads it through Configure on the thread that runs Process.
// Any thread; plain data.
#pragma once

#include <cmath>
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
  double ThresholdDb = -45;  // base threshold, dB full scale (the channel's threshold box)
  // The velocity scan from the first sample above the threshold; the note is decided at its end,
  // and stamped where the hit began (its rise, looked back for). 0 allowed.
  double ScanMs = 4;
  double MaskMs = 10;  // nothing fires after a hit's scan for this long
  // After the mask the threshold starts from the hit's peak and falls back to the base, linearly
  // in dB, at the rate that would take it from full scale (0 dB) to the base in DecayMs; the
  // drum's own ring pushes it back up as it goes (see RetriggerDb).
  double DecayMs = 200;
  // While the threshold is above the base, a sample must pass it by RetriggerDb to be a new hit;
  // a sample above it by less is the drum still ringing, and the threshold follows it up. This is
  // what keeps a steady tone or a long ring to one hit.
  double RetriggerDb = 4;
  // Hysteresis: after a hit the pad is back at its bare base threshold only once the threshold
  // has fallen ReleaseDb under the base; until then the retrigger margin holds. 0: none.
  double ReleaseDb = 3;
  double NoteLengthMs = 50;   // note-on to note-off
  double HighPassHz = 40;     // detection filter (velocity is read behind it too); 0: off
  double LowPassHz = 600;     // 0: off
  double FullVelocityDb = 0;  // the level that gives velocity 127 (volume 100)
  TVelocityCurve Curve = TVelocityCurve::kLinear;
  bool VelocityFollowsLevel = true;  // false: velocity 100, volume 100
  // The note the pad plays (for example channel * 128 + note number); pads given the same key
  // share one note: a hit on one ends the other's sounding note first. -1: a key of its own.
  int Key = -1;
};

struct THitSettings {
  static constexpr int kMaxPads = 8;
  THitPadSettings Pad[kMaxPads];
  // A hit within CrosstalkWindowMs of a louder hit on another pad, and quieter than it by more
  // than CrosstalkRatioDb, is dropped. Window 0: no rejection.
  double CrosstalkWindowMs = 30;
  double CrosstalkRatioDb = 12;
  // How long a hit whose scan has ended waits for a louder hit on another pad that has not
  // crossed its threshold yet (bleed that reaches a mic before the drum's own does). It adds to
  // every note's latency; 0: decide at the scan's end.
  double CrosstalkHoldMs = 0;

  // The same settings with every value within its limits: times and rates that are negative,
  // huge or not numbers, levels outside -144..0 dB, unknown curve or event values.
  THitSettings Clamped() const;
};

// A time setting in frames at a rate, to the nearest frame.
inline uint32_t HitFrames(double ms, uint32_t rate) {
  return static_cast<uint32_t>(std::lround(ms * rate / 1000.0));
}
