#include "Settings.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "Cp1252.h"
#include "SettingsKeys.h"
#include "TextMatch.h"

using namespace SettingsKeys;

namespace {

// Strings other than note names are kept as UTF-8; a cut at the length limit must not leave
// half a character.
std::string ReadUtf8(const TIniFile& ini, const char* key, std::string_view fallback) {
  std::string value = ini.ReadString(kSection, key, fallback);
  if (value.size() == TIniFile::kMaxStringLength)
    value.resize(WithoutPartialUtf8Tail(value).size());
  return value;
}

std::string ReadNoteName(const TIniFile& ini, const char* key) {
  auto raw = ini.Value(kSection, key);
  if (!raw) return "Do3";
  if (raw->size() > TIniFile::kMaxStringLength) raw->resize(TIniFile::kMaxStringLength);
  return Cp1252ToUtf8(*raw);
}

uint32_t ReadBounded(const TIniFile& ini, const char* key, uint32_t fallback, int32_t max) {
  int32_t value = ini.ReadInteger(kSection, key, static_cast<int32_t>(fallback));
  return (value < 1 || value > max) ? fallback : static_cast<uint32_t>(value);
}

int RoundClamped(double value, double lo, double hi) {
  return static_cast<int>(std::lround(std::clamp(value, lo, hi)));
}

template <typename Step>
void Guarded(Step&& step) {
  try {
    step();
  } catch (...) {
    // The window swallows component errors while applying; the next step runs.
  }
}

void SelectByText(ISettingsView& view, ESettingsList list, std::string_view text) {
  view.SelectListEntry(list, FindListEntry(view.ListEntries(list), text));
}

void SelectByIndex(ISettingsView& view, ESettingsList list, int64_t index) {
  int64_t count = static_cast<int64_t>(view.ListEntries(list).size());
  view.SelectListEntry(list, (index >= 0 && index < count) ? static_cast<int>(index) : -1);
}

}  // namespace

TSettingsRecords GlobalSettingsRecords() {
  return {AudioInParams, MyAudio, MyMidi, &MyHit};
}

std::string SettingsFileNameFor(std::string_view executable_path) {
  size_t last = executable_path.find_last_of("./");
  if (last != std::string_view::npos && executable_path[last] == '.') {
    executable_path = executable_path.substr(0, last);
  }
  return std::string(executable_path) + ".ini";
}

std::string RunningExecutablePath() {
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

std::string SettingsFileLocation(std::string_view executable_path, const char* xdg_config_home,
                                 const char* home) {
  namespace fs = std::filesystem;
  std::string beside = SettingsFileNameFor(executable_path);
  fs::path folder = fs::path(beside).parent_path();
  if (folder.empty()) folder = ".";
  // Only a file already there makes a portable install: a build tree, or a folder that happens
  // to be writable, does not get one of its own.
  std::error_code ec;
  if (fs::exists(beside, ec) &&
      (::access(folder.c_str(), W_OK | X_OK) == 0 || ::access(beside.c_str(), W_OK) == 0)) {
    return beside;
  }
  fs::path config;
  if (xdg_config_home && xdg_config_home[0] == '/') {
    config = xdg_config_home;
  } else if (home && home[0] != '\0') {
    config = fs::path(home) / ".config";
  } else if (const passwd* user = ::getpwuid(::geteuid()); user && user->pw_dir) {
    config = fs::path(user->pw_dir) / ".config";
  } else {
    return beside;  // nowhere better: the write will be refused and said so
  }
  return (config / "tocsin" / "tocsin.ini").string();
}

std::string UsualSettingsFile() {
  return SettingsFileLocation(RunningExecutablePath(), std::getenv("XDG_CONFIG_HOME"),
                              std::getenv("HOME"));
}

int ThresholdBoxValue(double db) {
  return RoundClamped(db, -144, 0);
}

int InhibitionBoxValue(double milliseconds) {
  return RoundClamped(milliseconds, 1, 10000);
}

void LoadSettings(const std::string& ini_path, std::string_view decimal_separator,
                  ISettingsView& view, const TSettingsRecords& r) {
  {
    const TIniFile ini = TIniFile::Load(ini_path);
    const std::string_view sep = decimal_separator;
    r.Audio.InputDeviceName = ReadUtf8(ini, kAudioInputDeviceName, kDefaultDevice);
    r.Params.Channels =
        static_cast<uint16_t>(ini.ReadInteger(kSection, kAudioInputChannels, r.Params.Channels));
    r.Params.BufferSize =
        ReadBounded(ini, kAudioInputBufferSize, r.Params.BufferSize, kMaxSettingsBufferSize);
    r.Params.SampleRate =
        ReadBounded(ini, kAudioInputSampleRate, r.Params.SampleRate, kMaxSettingsSampleRate);
    r.Params.Bits =
        static_cast<uint16_t>(ini.ReadInteger(kSection, kAudioInputBits, r.Params.Bits));
    r.Audio.LeftThres = ini.ReadFloat(kSection, kTocsinLeftThres, -45, sep);
    r.Audio.RightThres = ini.ReadFloat(kSection, kTocsinRightThres, -45, sep);
    view.CheckStartMidiNote(0, ini.ReadBool(kSection, kTocsinStartMidiNote0, true));
    view.CheckStartMidiNote(1, ini.ReadBool(kSection, kTocsinStartMidiNote1, true));
    view.SetAudioOutFileName(0, ReadUtf8(ini, kAudioOutFileName0, ""));
    view.SetAudioOutFileName(1, ReadUtf8(ini, kAudioOutFileName1, ""));
    r.Midi.DeviceName = ReadUtf8(ini, kMidiOutDeviceName, "");
    r.Midi.VelFollowAudioInLevel[0] = ini.ReadBool(kSection, kMidiOutVelFollowAudioInLevel0, true);
    r.Midi.VelFollowAudioInLevel[1] = ini.ReadBool(kSection, kMidiOutVelFollowAudioInLevel1, true);
    r.Midi.Channel = static_cast<uint8_t>(ini.ReadInteger(kSection, kMidiOutChannel, 1));
    r.Midi.NoteName0 = ReadNoteName(ini, kMidiOutNote0);
    r.Midi.NoteName1 = ReadNoteName(ini, kMidiOutNote1);
    r.Audio.OutputDeviceName = ReadUtf8(ini, kAudioOutputDeviceName, kDefaultDevice);
    r.Audio.VolFollowAudioInLevel[0] =
        ini.ReadBool(kSection, kAudioOutVolFollowAudioInLevel0, false);
    r.Audio.VolFollowAudioInLevel[1] =
        ini.ReadBool(kSection, kAudioOutVolFollowAudioInLevel1, false);
    view.SetInhibitionDuration(
        InhibitionBoxValue(ini.ReadFloat(kSection, kAudioOutputTempDisabledDuration, 40, sep)));
    if (r.Hit) ReadHitSettings(ini, sep, *r.Hit);
  }
  ApplySettings(view, r);
}

void ApplySettings(ISettingsView& view, const TSettingsRecords& r) {
  Guarded([&] { view.SetCaptureDeviceName(r.Audio.InputDeviceName); });
  Guarded([&] { SelectByText(view, ESettingsList::InputDevices, view.CaptureDeviceName()); });
  Guarded([&] { view.SetOutputDeviceName(r.Audio.OutputDeviceName); });
  Guarded([&] { SelectByText(view, ESettingsList::OutputDevices, view.OutputDeviceName()); });
  Guarded([&] {
    SelectByIndex(view, ESettingsList::AudioInputChannels, 1);  // "2 - Stéréo", whatever is stored
    view.SetCaptureChannels(r.Params.Channels);
  });
  Guarded([&] {
    SelectByText(view, ESettingsList::AudioInputBufferSize, std::to_string(r.Params.BufferSize));
    view.SetCaptureBufferSize(r.Params.BufferSize);
  });
  Guarded([&] {
    SelectByText(view, ESettingsList::AudioInputSampleRate, std::to_string(r.Params.SampleRate));
    view.SetCaptureSampleRate(r.Params.SampleRate);
  });
  Guarded([&] {
    SelectByText(view, ESettingsList::AudioInputBits, std::to_string(r.Params.Bits));
    view.SetCaptureBits(r.Params.Bits);
  });
  view.SetThresholdBoxesQuietly(ThresholdBoxValue(r.Audio.LeftThres),
                                ThresholdBoxValue(r.Audio.RightThres));
  view.RunEventKindClickHandlers();
  view.CheckMidiOutVelFollow(r.Midi.VelFollowAudioInLevel[0]);
  SelectByIndex(view, ESettingsList::MidiOutChannel, int64_t{r.Midi.Channel} - 1);
  SelectByText(view, ESettingsList::MidiOutNote0, r.Midi.NoteName0);
  SelectByText(view, ESettingsList::MidiOutNote1, r.Midi.NoteName1);
  view.RunNoteListChangeHandler();
  int port = FindListEntry(view.ListEntries(ESettingsList::MidiOut), r.Midi.DeviceName);
  if (port >= 0) {
    view.SelectListEntry(ESettingsList::MidiOut, port);
    // As when the user picks a port: a port the MIDI output refuses is no reason to fail.
    Guarded([&] { view.SetMidiOutProductName(r.Midi.DeviceName); });
  }
  view.CheckAudioOutVolFollow(r.Audio.VolFollowAudioInLevel[0]);
  view.RunInhibitionDurationChangeHandler();
  if (r.Hit) view.ShowHitSettings(*r.Hit);
}

void WriteSettings(TIniFile& ini, std::string_view decimal_separator, const ISettingsView& view,
                   const TSettingsRecords& r) {
  const std::string_view sep = decimal_separator;
  ini.WriteString(kSection, kAudioInputDeviceName, r.Audio.InputDeviceName);
  ini.WriteInteger(kSection, kAudioInputChannels, r.Params.Channels);
  ini.WriteInteger(kSection, kAudioInputBufferSize, r.Params.BufferSize);
  ini.WriteInteger(kSection, kAudioInputSampleRate, r.Params.SampleRate);
  ini.WriteInteger(kSection, kAudioInputBits, r.Params.Bits);
  ini.WriteFloat(kSection, kTocsinLeftThres, r.Audio.LeftThres, sep);
  ini.WriteFloat(kSection, kTocsinRightThres, r.Audio.RightThres, sep);
  ini.WriteBool(kSection, kTocsinStartMidiNote0, view.StartMidiNoteChecked(0));
  ini.WriteBool(kSection, kTocsinStartMidiNote1, view.StartMidiNoteChecked(1));
  ini.WriteString(kSection, kAudioOutFileName0, view.AudioOutFileName(0));
  ini.WriteString(kSection, kAudioOutFileName1, view.AudioOutFileName(1));
  ini.WriteString(kSection, kMidiOutDeviceName, r.Midi.DeviceName);
  // One check box feeds both channels' keys.
  ini.WriteBool(kSection, kMidiOutVelFollowAudioInLevel0, view.MidiOutVelFollowChecked());
  ini.WriteBool(kSection, kMidiOutVelFollowAudioInLevel1, view.MidiOutVelFollowChecked());
  ini.WriteInteger(kSection, kMidiOutChannel, r.Midi.Channel);
  ini.WriteString(kSection, kMidiOutNote0, Utf8ToCp1252(r.Midi.NoteName0));
  ini.WriteString(kSection, kMidiOutNote1, Utf8ToCp1252(r.Midi.NoteName1));
  ini.WriteString(kSection, kAudioOutputDeviceName, r.Audio.OutputDeviceName);
  ini.WriteBool(kSection, kAudioOutVolFollowAudioInLevel0, view.AudioOutVolFollowChecked());
  ini.WriteBool(kSection, kAudioOutVolFollowAudioInLevel1, view.AudioOutVolFollowChecked());
  ini.WriteFloat(kSection, kAudioOutputTempDisabledDuration, view.InhibitionDuration(), sep);
  if (r.Hit) WriteHitSettings(ini, sep, *r.Hit);
}

TIniWriteResult SaveSettings(const std::string& ini_path, std::string_view decimal_separator,
                             const ISettingsView& view, const TSettingsRecords& records) {
  // Other sections and keys of the file survive, as with the platform's profile service.
  TIniFile ini = TIniFile::Load(ini_path);
  WriteSettings(ini, decimal_separator, view, records);
  return ini.Save(ini_path);
}

std::string CannotWriteMessage(const std::string& ini_path) {
  std::string_view text = kCannotWrite;
  size_t at = text.find("%s");
  return std::string(text.substr(0, at)) + ini_path + std::string(text.substr(at + 2));
}
