// A main window for the settings tests: lists filled as the window fills them at creation,
// components that echo or refuse names, and a log of every call in order.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "AppState.h"
#include "Settings.h"
#include "SettingsView.h"

// The 132 note names as the note lists hold them: Do-2 .. Si8.
inline std::vector<std::string> TestNoteNames() {
  static const char* kSemitones[12] = {"Do",  "Do#", "Ré",   "Ré#", "Mi",  "Fa",
                                       "Fa#", "Sol", "Sol#", "La",  "La#", "Si"};
  std::vector<std::string> names;
  for (int octave = -2; octave <= 8; ++octave) {
    for (const char* s : kSemitones) names.push_back(s + std::to_string(octave));
  }
  return names;
}

struct TFakeSettingsView : ISettingsView {
  TMyMidi* midi = nullptr;  // the note-list change handler writes the names here
  bool components_throw = false;
  std::map<ESettingsList, std::vector<std::string>> lists;
  std::map<ESettingsList, int> selected;
  std::vector<std::string> log;

  std::string capture_device, output_device, midi_product;
  uint32_t capture_channels = 0, capture_buffer = 0, capture_rate = 0, capture_bits = 0;
  bool start_midi[2] = {true, true};
  std::string file_name[2];
  bool vel_follow = false, vol_follow = false;
  int duration = 30;  // the form's own initial value
  int left_box = 0, right_box = 0;

  TFakeSettingsView() {
    using L = ESettingsList;
    lists[L::InputDevices] = {"Default", "Carte Son A", "USB Audio"};
    lists[L::OutputDevices] = {"Default", "Carte Son A", "HDMI"};
    lists[L::AudioInputChannels] = {"1 - Mono", "2 - Stéréo"};
    lists[L::AudioInputBufferSize] = {"32",   "64",   "128",  "256", "512",
                                      "1024", "2048", "4096", "8192"};
    lists[L::AudioInputSampleRate] = {"11025", "22050", "44100", "48000", "96000"};
    lists[L::AudioInputBits] = {"8", "16", "20", "24"};
    for (int c = 1; c <= 16; ++c) lists[L::MidiOutChannel].push_back(std::to_string(c));
    lists[L::MidiOutNote0] = TestNoteNames();
    lists[L::MidiOutNote1] = TestNoteNames();
    lists[L::MidiOut] = {"Midi Through Port-0", "Synth Externe"};
    for (auto& [list, entries] : lists) selected[list] = -1;
    selected[L::MidiOut] = 0;  // the port list selects its first port at creation
  }

  std::string Selected(ESettingsList list) const {
    int i = selected.at(list);
    return i < 0 ? std::string() : lists.at(list)[i];
  }
  void Component(const std::string& what) {
    log.push_back(what);
    if (components_throw) throw std::runtime_error(what);
  }

  std::vector<std::string> ListEntries(ESettingsList list) const override { return lists.at(list); }
  void SelectListEntry(ESettingsList list, int index) override {
    log.push_back("select " + std::to_string(static_cast<int>(list)) + " " + std::to_string(index));
    if (index < -1 || index >= static_cast<int>(lists.at(list).size())) {
      throw std::logic_error("index outside the list");
    }
    selected[list] = index;
  }
  void SetCaptureDeviceName(const std::string& n) override {
    Component("capture device");
    capture_device = n;
  }
  std::string CaptureDeviceName() const override { return capture_device; }
  void SetOutputDeviceName(const std::string& n) override {
    Component("output device");
    output_device = n;
  }
  std::string OutputDeviceName() const override { return output_device; }
  void SetCaptureChannels(uint16_t v) override {
    Component("channels");
    capture_channels = v;
  }
  void SetCaptureBufferSize(uint32_t v) override {
    Component("buffer");
    capture_buffer = v;
  }
  void SetCaptureSampleRate(uint32_t v) override {
    Component("rate");
    capture_rate = v;
  }
  void SetCaptureBits(uint16_t v) override {
    Component("bits");
    capture_bits = v;
  }
  void SetMidiOutProductName(const std::string& n) override {
    Component("midi port");
    midi_product = n;
  }
  bool StartMidiNoteChecked(int c) const override { return start_midi[c]; }
  void CheckStartMidiNote(int c, bool m) override { start_midi[c] = m; }
  std::string AudioOutFileName(int c) const override { return file_name[c]; }
  void SetAudioOutFileName(int c, const std::string& f) override { file_name[c] = f; }
  bool MidiOutVelFollowChecked() const override { return vel_follow; }
  void CheckMidiOutVelFollow(bool v) override {
    log.push_back("vel follow");
    vel_follow = v;
  }
  bool AudioOutVolFollowChecked() const override { return vol_follow; }
  void CheckAudioOutVolFollow(bool v) override {
    log.push_back("vol follow");
    vol_follow = v;
  }
  int InhibitionDuration() const override { return duration; }
  void SetInhibitionDuration(int ms) override { duration = ms; }
  void SetThresholdBoxesQuietly(int l, int r) override {
    log.push_back("thresholds");
    left_box = l;
    right_box = r;
  }
  void RunEventKindClickHandlers() override { log.push_back("event kinds"); }
  // As the window's handler: the texts selected now, empty for a list without selection.
  void RunNoteListChangeHandler() override {
    log.push_back("note handler");
    midi->NoteName0 = Selected(ESettingsList::MidiOutNote0);
    midi->NoteName1 = Selected(ESettingsList::MidiOutNote1);
  }
  void RunInhibitionDurationChangeHandler() override { log.push_back("duration handler"); }
};
