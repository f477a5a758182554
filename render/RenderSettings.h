// The window's settings for a render: the same settings file read by the same loading code into
// the controls the block handler reads, then the command line's overrides.
// Single-threaded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ControlSnapshot.h"
#include "HitRecord.h"

struct TRenderSettings {
  TControlSnapshot Controls;
  uint32_t BufferSize = 1024;  // frames per block
  uint16_t Bits = 16;          // capture sample width
  TMyHit Hit;                  // hit detection's choices ("Frappe")
  // The settings hit detection works with, from Hit and Controls.
  THitSettings HitSettings() const { return WindowHitSettings(Hit, Controls); }
};

// One hit setting of a side (or of both) given on the command line.
enum class THitOption {
  kScanMs,
  kMaskMs,
  kDecayMs,
  kRetriggerDb,
  kReleaseDb,
  kNoteLengthMs,
  kHighPassHz,
  kLowPassHz,
  kFullVelocityDb,
  kCount
};

// What the command line changes; unset values keep the settings file's.
struct TRenderOverrides {
  std::optional<uint32_t> BufferSize;
  std::optional<uint16_t> Bits;
  std::optional<int> Threshold[2];  // whole dB, -144..0
  std::optional<int> ChannelIndex;  // 0..15
  std::optional<int> NoteIndex[2];  // note list entry
  bool FixedVelocity = false;
  bool VelocityFollowsLevel = false;
  bool ForceMidi = false;  // both channels give notes, whatever event kind the file says
  std::optional<bool> HitDetection[2];  // "Frappe" (true) or "Niveau"
  std::optional<double> Hit[static_cast<int>(THitOption::kCount)][2];
  std::optional<TVelocityCurve> Curve[2];
  std::optional<double> CrosstalkMs, CrosstalkDb, CrosstalkHoldMs;
};

// The field of THitPadSettings an option sets.
double THitPadSettings::*HitOptionField(THitOption option);

// The settings file the window reads, found the way the window finds it for the window's program,
// which is installed (and built) in the same folder as this one: in the user's configuration
// folder, or beside it when a file is already there (a portable install).
std::string WindowSettingsFile();

// Loads `ini_path` as the window does (a missing file gives the window's defaults), then applies
// the overrides.
void LoadRenderSettings(const std::string& ini_path, const TRenderOverrides& overrides,
                        TRenderSettings& settings);

// The note list entry of a note as typed: a number (36), an English name (C1, C3 = 60) or a
// French one with or without its accent (Ré1, re1), letter case ignored; -1 when none.
int NoteEntryForName(const std::string& name);
