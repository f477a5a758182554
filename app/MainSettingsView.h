// The main window as the settings file sees it: its lists, the components behind it, the
// controls the file feeds and the handlers that applying runs. UI thread only.
#pragma once

#include "SettingsView.h"

class TfmMain;
class QComboBox;

class TMainSettingsView final : public ISettingsView {
 public:
  explicit TMainSettingsView(TfmMain& window) : w_(window) {}

  std::vector<std::string> ListEntries(ESettingsList list) const override;
  void SelectListEntry(ESettingsList list, int index) override;
  void SetCaptureDeviceName(const std::string& name) override;
  std::string CaptureDeviceName() const override;
  void SetOutputDeviceName(const std::string& name) override;
  std::string OutputDeviceName() const override;
  void SetCaptureChannels(uint16_t channels) override;
  void SetCaptureBufferSize(uint32_t frames) override;
  void SetCaptureSampleRate(uint32_t rate) override;
  void SetCaptureBits(uint16_t bits) override;
  void SetMidiOutProductName(const std::string& name) override;
  bool StartMidiNoteChecked(int channel) const override;
  void CheckStartMidiNote(int channel, bool midi_note) override;
  std::string AudioOutFileName(int channel) const override;
  void SetAudioOutFileName(int channel, const std::string& file_name) override;
  bool MidiOutVelFollowChecked() const override;
  void CheckMidiOutVelFollow(bool checked) override;
  bool AudioOutVolFollowChecked() const override;
  void CheckAudioOutVolFollow(bool checked) override;
  int InhibitionDuration() const override;
  void SetInhibitionDuration(int milliseconds) override;
  void SetThresholdBoxesQuietly(int left_db, int right_db) override;
  void RunEventKindClickHandlers() override;
  void RunNoteListChangeHandler() override;
  void RunInhibitionDurationChangeHandler() override;
  void ShowHitSettings(const TMyHit& hit) override;

 private:
  QComboBox* List(ESettingsList list) const;

  TfmMain& w_;
};
