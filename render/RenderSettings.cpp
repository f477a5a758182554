#include "RenderSettings.h"

#include <cstdlib>
#include <filesystem>
#include <map>

#include "AppState.h"
#include "IniValues.h"
#include "NoteNames.h"
#include "Settings.h"

namespace {
// The window's controls as far as the block handler and the note trigger read them. Lists
// without entries here (devices, formats, ports) are those the render has no use for.
class THeadlessSettingsView final : public ISettingsView {
 public:
  explicit THeadlessSettingsView(TControlSnapshot& c)
      : c_(c), notes_(NoteEntryNamesUtf8()), channels_(MidiChannelEntries()) {}

  std::vector<std::string> ListEntries(ESettingsList list) const override {
    switch (list) {
      case ESettingsList::MidiOutChannel:
        return channels_;
      case ESettingsList::MidiOutNote0:
      case ESettingsList::MidiOutNote1:
        return notes_;
      default:
        return {};
    }
  }
  void SelectListEntry(ESettingsList list, int index) override {
    if (list == ESettingsList::MidiOutChannel) c_.MidiChannelIndex = index;
    if (list == ESettingsList::MidiOutNote0) c_.NoteIndex[0] = index;
    if (list == ESettingsList::MidiOutNote1) c_.NoteIndex[1] = index;
  }

  void SetCaptureDeviceName(const std::string&) override {}
  std::string CaptureDeviceName() const override { return {}; }
  void SetOutputDeviceName(const std::string&) override {}
  std::string OutputDeviceName() const override { return {}; }
  void SetCaptureChannels(uint16_t) override {}
  void SetCaptureBufferSize(uint32_t) override {}
  void SetCaptureSampleRate(uint32_t) override {}
  void SetCaptureBits(uint16_t) override {}
  void SetMidiOutProductName(const std::string&) override {}

  bool StartMidiNoteChecked(int channel) const override { return c_.StartMidiNote[channel]; }
  void CheckStartMidiNote(int channel, bool midi_note) override {
    c_.StartMidiNote[channel] = midi_note;
    c_.StartAudioFile[channel] = !midi_note;
  }
  std::string AudioOutFileName(int channel) const override { return files_[channel]; }
  void SetAudioOutFileName(int channel, const std::string& name) override {
    files_[channel] = name;
  }
  bool MidiOutVelFollowChecked() const override { return c_.MidiVelFollowLevel; }
  void CheckMidiOutVelFollow(bool checked) override { c_.MidiVelFollowLevel = checked; }
  bool AudioOutVolFollowChecked() const override { return c_.AudioVolFollowLevel; }
  void CheckAudioOutVolFollow(bool checked) override { c_.AudioVolFollowLevel = checked; }
  int InhibitionDuration() const override { return inhibition_; }
  void SetInhibitionDuration(int ms) override { inhibition_ = ms; }
  void SetThresholdBoxesQuietly(int left_db, int right_db) override {
    c_.Thres[0] = left_db;
    c_.Thres[1] = right_db;
  }
  void RunEventKindClickHandlers() override {}
  void RunNoteListChangeHandler() override {}
  void RunInhibitionDurationChangeHandler() override {}

 private:
  TControlSnapshot& c_;
  std::vector<std::string> notes_;
  std::vector<std::string> channels_;
  std::string files_[2];
  int inhibition_ = 40;
};
}  // namespace

std::string WindowSettingsFile() {
  const std::filesystem::path self = RunningExecutablePath();
  if (self.empty()) return {};
  // The window's own lookup, as if made by the window's program beside this one.
  return SettingsFileLocation((self.parent_path() / "tocsin").string(),
                              std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

int NoteEntryForName(const std::string& name) {
  return NoteEntryForText(name);
}

void LoadRenderSettings(const std::string& ini_path, const TRenderOverrides& o,
                        TRenderSettings& s) {
  TAudioInParams params;
  TMyAudio audio;
  TMyMidi midi;
  THeadlessSettingsView view(s.Controls);
  LoadSettings(ini_path, UserDecimalSeparator(), view,
               TSettingsRecords{params, audio, midi, &s.Hit});
  s.BufferSize = params.BufferSize;
  s.Bits = params.Bits;

  if (o.BufferSize) s.BufferSize = *o.BufferSize;
  if (o.Bits) s.Bits = *o.Bits;
  for (int side = 0; side < 2; ++side) {
    if (o.Threshold[side]) s.Controls.Thres[side] = *o.Threshold[side];
    if (o.NoteIndex[side]) s.Controls.NoteIndex[side] = *o.NoteIndex[side];
  }
  if (o.ChannelIndex) s.Controls.MidiChannelIndex = *o.ChannelIndex;
  if (o.FixedVelocity) s.Controls.MidiVelFollowLevel = false;
  if (o.VelocityFollowsLevel) s.Controls.MidiVelFollowLevel = true;
  if (o.ForceMidi) {
    for (int side = 0; side < 2; ++side) {
      s.Controls.StartMidiNote[side] = true;
      s.Controls.StartAudioFile[side] = false;
    }
  }
  for (int side = 0; side < 2; ++side) {
    if (o.HitDetection[side]) s.Hit.HitDetection[side] = *o.HitDetection[side];
    for (int k = 0; k < static_cast<int>(THitOption::kCount); ++k) {
      if (!o.Hit[k][side]) continue;
      s.Hit.Pad[side].*HitOptionField(static_cast<THitOption>(k)) = *o.Hit[k][side];
    }
    if (o.Curve[side]) s.Hit.Pad[side].Curve = *o.Curve[side];
    s.Controls.HitDetection[side] = s.Hit.HitDetection[side];
  }
  if (o.CrosstalkMs) s.Hit.CrosstalkWindowMs = *o.CrosstalkMs;
  if (o.CrosstalkDb) s.Hit.CrosstalkRatioDb = *o.CrosstalkDb;
  if (o.CrosstalkHoldMs) s.Hit.CrosstalkHoldMs = *o.CrosstalkHoldMs;
}

double THitPadSettings::*HitOptionField(THitOption option) {
  switch (option) {
    case THitOption::kScanMs: return &THitPadSettings::ScanMs;
    case THitOption::kMaskMs: return &THitPadSettings::MaskMs;
    case THitOption::kDecayMs: return &THitPadSettings::DecayMs;
    case THitOption::kRetriggerDb: return &THitPadSettings::RetriggerDb;
    case THitOption::kReleaseDb: return &THitPadSettings::ReleaseDb;
    case THitOption::kNoteLengthMs: return &THitPadSettings::NoteLengthMs;
    case THitOption::kHighPassHz: return &THitPadSettings::HighPassHz;
    case THitOption::kLowPassHz: return &THitPadSettings::LowPassHz;
    case THitOption::kFullVelocityDb:
    case THitOption::kCount: break;
  }
  return &THitPadSettings::FullVelocityDb;
}
