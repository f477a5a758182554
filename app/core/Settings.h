// The settings file beside the executable: loading its 21 keys into the main window's records
// and controls, applying them to the components and controls, and saving them at close; with a
// hit record, hit detection's keys after them. The window reaches in only through ISettingsView.
// UI thread only.
#pragma once

#include <string>
#include <string_view>

#include "AppState.h"
#include "HitRecord.h"
#include "IniFile.h"
#include "SettingsView.h"

// The records the settings land in.
struct TSettingsRecords {
  TAudioInParams& Params;
  TMyAudio& Audio;
  TMyMidi& Midi;
  // Hit detection's keys, read, shown and saved with the others; none: left alone.
  TMyHit* Hit = nullptr;
};
TSettingsRecords GlobalSettingsRecords();

// The executable's path with its extension replaced by ".ini" (appended when the file name has
// none): the settings sit beside the executable and carry its name.
std::string SettingsFileNameFor(std::string_view executable_path);
// The running executable's full path; empty when the system does not say.
std::string RunningExecutablePath();
// Where the settings live: beside the executable when a settings file is already there and the
// user may write it or its folder (a portable install); otherwise, for an installed program and
// a build tree alike, "tocsin/tocsin.ini" in the user's configuration folder (`xdg_config_home`
// when it is an absolute path, else `home`/.config). Either may be null.
std::string SettingsFileLocation(std::string_view executable_path, const char* xdg_config_home,
                                 const char* home);
// SettingsFileLocation for this program, as this user runs it.
std::string UsualSettingsFile();

// Where the settings file leaves capture values the capture format could not survive: a block
// or a rate outside these reads as the key's default.
inline constexpr int32_t kMaxSettingsBufferSize = 1 << 20;  // frames
inline constexpr int32_t kMaxSettingsSampleRate = 1000000;  // Hz

// A threshold as its box holds it: clamped to -144..0 dB and rounded to the nearest whole dB
// (halves away from zero), so that a hand-written -45.5 becomes -46 rather than a box whose
// text is no whole number and so reads as -144.
int ThresholdBoxValue(double db);
// The inhibition duration as its box holds it: clamped to 1..10000 ms, rounded the same way.
int InhibitionBoxValue(double milliseconds);

// Reads keys 1 to 21 in file order into the records and the view's controls (a missing file,
// section or key, or an unparsable value, gives the key's default), then ApplySettings.
// Floats are read with `decimal_separator`, the user's (UserDecimalSeparator()).
void LoadSettings(const std::string& ini_path, std::string_view decimal_separator,
                  ISettingsView& view, const TSettingsRecords& records = GlobalSettingsRecords());

// Pushes the records into the components and controls in 16 steps; steps 1 to 8 (the capture
// and output components) each swallow their own errors, as does the MIDI port name of step 14.
void ApplySettings(ISettingsView& view, const TSettingsRecords& records = GlobalSettingsRecords());

// Writes keys 1 to 21 into `ini` in file order, keeping whatever else it holds.
void WriteSettings(TIniFile& ini, std::string_view decimal_separator, const ISettingsView& view,
                   const TSettingsRecords& records = GlobalSettingsRecords());

// WriteSettings into the file. The file is replaced whole or not at all; on failure the window
// shows CannotWriteMessage(ini_path) and still closes.
TIniWriteResult SaveSettings(const std::string& ini_path, std::string_view decimal_separator,
                             const ISettingsView& view,
                             const TSettingsRecords& records = GlobalSettingsRecords());

// "Impossible d'écrire dans <path>".
std::string CannotWriteMessage(const std::string& ini_path);
