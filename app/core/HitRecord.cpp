#include "HitRecord.h"

#include <algorithm>
#include <cmath>

#include "SettingsKeys.h"

TMyHit MyHit;

namespace {

using SettingsKeys::kSection;

// The keys of one channel's setting, left then right.
struct TPadKey {
  const char* Name[2];
  double THitPadSettings::*Field;
};

constexpr TPadKey kPadKeys[] = {
    {{"TocsinHitScanMs0", "TocsinHitScanMs1"}, &THitPadSettings::ScanMs},
    {{"TocsinHitMaskMs0", "TocsinHitMaskMs1"}, &THitPadSettings::MaskMs},
    {{"TocsinHitDecayMs0", "TocsinHitDecayMs1"}, &THitPadSettings::DecayMs},
    {{"TocsinHitRetriggerDb0", "TocsinHitRetriggerDb1"}, &THitPadSettings::RetriggerDb},
    {{"TocsinHitReleaseDb0", "TocsinHitReleaseDb1"}, &THitPadSettings::ReleaseDb},
    {{"TocsinHitNoteLengthMs0", "TocsinHitNoteLengthMs1"}, &THitPadSettings::NoteLengthMs},
    {{"TocsinHitHighPassHz0", "TocsinHitHighPassHz1"}, &THitPadSettings::HighPassHz},
    {{"TocsinHitLowPassHz0", "TocsinHitLowPassHz1"}, &THitPadSettings::LowPassHz},
    {{"TocsinHitFullVelocityDb0", "TocsinHitFullVelocityDb1"}, &THitPadSettings::FullVelocityDb},
};
constexpr const char* kDetectionKeys[2] = {"TocsinDetection0", "TocsinDetection1"};
constexpr const char* kCurveKeys[2] = {"TocsinHitVelocityCurve0", "TocsinHitVelocityCurve1"};
constexpr const char* kCrosstalkMsKey = "TocsinHitCrosstalkMs";
constexpr const char* kCrosstalkDbKey = "TocsinHitCrosstalkDb";
constexpr const char* kCrosstalkHoldKey = "TocsinHitCrosstalkHoldMs";

// The record's values as the engine takes them.
void Clamp(TMyHit& hit) {
  THitSettings s;
  for (int c = 0; c < 2; ++c) s.Pad[c] = hit.Pad[c];
  s.CrosstalkWindowMs = hit.CrosstalkWindowMs;
  s.CrosstalkRatioDb = hit.CrosstalkRatioDb;
  s.CrosstalkHoldMs = hit.CrosstalkHoldMs;
  s = s.Clamped();
  for (int c = 0; c < 2; ++c) hit.Pad[c] = s.Pad[c];
  hit.CrosstalkWindowMs = s.CrosstalkWindowMs;
  hit.CrosstalkRatioDb = s.CrosstalkRatioDb;
  hit.CrosstalkHoldMs = s.CrosstalkHoldMs;
}

}  // namespace

void ReadHitSettings(const TIniFile& ini, std::string_view sep, TMyHit& hit) {
  const THitPadSettings defaults;
  for (int c = 0; c < 2; ++c) {
    // Any value other than 0 and 1 is brought to the nearer of them.
    hit.HitDetection[c] = ini.ReadInteger(kSection, kDetectionKeys[c], 0) > 0;
    for (const TPadKey& key : kPadKeys)
      hit.Pad[c].*key.Field = ini.ReadFloat(kSection, key.Name[c], defaults.*key.Field, sep);
    const int32_t curve =
        ini.ReadInteger(kSection, kCurveKeys[c], static_cast<int32_t>(defaults.Curve));
    hit.Pad[c].Curve = static_cast<TVelocityCurve>(
        std::clamp<int32_t>(curve, 0, static_cast<int32_t>(TVelocityCurve::kHard)));
  }
  const THitSettings shared;
  hit.CrosstalkWindowMs = ini.ReadFloat(kSection, kCrosstalkMsKey, shared.CrosstalkWindowMs, sep);
  hit.CrosstalkRatioDb = ini.ReadFloat(kSection, kCrosstalkDbKey, shared.CrosstalkRatioDb, sep);
  hit.CrosstalkHoldMs = ini.ReadFloat(kSection, kCrosstalkHoldKey, shared.CrosstalkHoldMs, sep);
  Clamp(hit);
}

void WriteHitSettings(TIniFile& ini, std::string_view sep, const TMyHit& hit) {
  for (int c = 0; c < 2; ++c) ini.WriteInteger(kSection, kDetectionKeys[c], hit.HitDetection[c]);
  for (const TPadKey& key : kPadKeys)
    for (int c = 0; c < 2; ++c) ini.WriteFloat(kSection, key.Name[c], hit.Pad[c].*key.Field, sep);
  for (int c = 0; c < 2; ++c)
    ini.WriteInteger(kSection, kCurveKeys[c], static_cast<int>(hit.Pad[c].Curve));
  ini.WriteFloat(kSection, kCrosstalkMsKey, hit.CrosstalkWindowMs, sep);
  ini.WriteFloat(kSection, kCrosstalkDbKey, hit.CrosstalkRatioDb, sep);
  ini.WriteFloat(kSection, kCrosstalkHoldKey, hit.CrosstalkHoldMs, sep);
}

THitSettings WindowHitSettings(const TMyHit& hit, const TControlSnapshot& controls) {
  THitSettings s;
  for (int c = 0; c < 2; ++c) {
    THitPadSettings& p = s.Pad[c];
    p = hit.Pad[c];
    p.Enabled = controls.HitDetection[c].load(std::memory_order_relaxed);
    const bool sound = !controls.StartMidiNote[c].load(std::memory_order_relaxed) &&
                       controls.StartAudioFile[c].load(std::memory_order_relaxed);
    p.Event = sound ? THitEvent::kSound : THitEvent::kNote;
    p.ThresholdDb = controls.Thres[c].load(std::memory_order_relaxed);
    p.VelocityFollowsLevel = sound ? controls.AudioVolFollowLevel.load(std::memory_order_relaxed)
                                   : controls.MidiVelFollowLevel.load(std::memory_order_relaxed);
  }
  s.CrosstalkWindowMs = hit.CrosstalkWindowMs;
  s.CrosstalkRatioDb = hit.CrosstalkRatioDb;
  s.CrosstalkHoldMs = hit.CrosstalkHoldMs;
  // Each pad is a key of its own for the engine: the note trigger keeps one note per key, and
  // joins a mono input's two pads hitting at once into one note instead of restarting it.
  return s.Clamped();
}
