// The main window's hit detection choices ("Frappe"): the record the settings file fills
// (global MyHit), its keys in the file, and the whole THitSettings the capture tap works with,
// made from that record and the controls both detection kinds share (threshold, event kind,
// velocity check boxes). UI thread, or the single thread of tocsin-render.
#pragma once

#include <string_view>

#include "ControlSnapshot.h"
#include "IniFile.h"
#include "hit/HitSettings.h"

struct TMyHit {
  // lstTocsinDetection0/1: "Frappe" (true) or "Niveau" (false, the default).
  bool HitDetection[2] = {false, false};
  // Per channel, the settings of its own: scan, mask, decay, retrigger, release, note length,
  // filter, full-velocity level and curve. The others of THitPadSettings are not read from here.
  THitPadSettings Pad[2];
  double CrosstalkWindowMs = THitSettings{}.CrosstalkWindowMs;
  double CrosstalkRatioDb = THitSettings{}.CrosstalkRatioDb;
  double CrosstalkHoldMs = THitSettings{}.CrosstalkHoldMs;
};

extern TMyHit MyHit;

// The texts of the detection lists, in list order ("Niveau" is entry 0).
inline constexpr const char* kDetectionLevel = "Niveau";
inline constexpr const char* kDetectionHit = "Frappe";
// The velocity curve list, in TVelocityCurve order.
inline constexpr const char* kCurveNames[3] = {"Linéaire", "Douce", "Dure"};

// Reads the hit keys, which follow the 21 of the window in [Main]. A missing key gives its
// default; a value that is no number gives its default; a number out of range is brought to
// the nearest value the engine accepts. Nothing else of the file is touched.
void ReadHitSettings(const TIniFile& ini, std::string_view decimal_separator, TMyHit& hit);
// Writes them, in that order, after the others.
void WriteHitSettings(TIniFile& ini, std::string_view decimal_separator, const TMyHit& hit);

// The settings the capture tap works with: each channel's own from `hit`, and from the shared
// controls its kind ("Frappe" enables the pad), its event ("Fichier son" plays the sound), its
// threshold and whether velocity (or volume) follows the level. Brought within range.
THitSettings WindowHitSettings(const TMyHit& hit, const TControlSnapshot& controls);
