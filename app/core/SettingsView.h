// What loading, applying and saving the settings need of the main window: its lists, the
// capture, output and MIDI components behind it, the controls the settings file feeds and the
// handlers of other parts that applying runs. The Qt window implements it; tests fake it.
// Everything here is called on the UI thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TMyHit;

enum class ESettingsList {
  InputDevices,          // lstInputDevices
  OutputDevices,         // lstOutputDevices
  AudioInputChannels,    // lstAudioInputChannels
  AudioInputBufferSize,  // lstAudioInputBufferSize
  AudioInputSampleRate,  // lstAudioInputSampleRate
  AudioInputBits,        // lstAudioInputBits
  MidiOutChannel,        // lstMidiOutChannel
  MidiOutNote0,          // lstMidiOutNote0
  MidiOutNote1,          // lstMidiOutNote1
  MidiOut,               // lstMidiOut
};

class ISettingsView {
 public:
  virtual ~ISettingsView() = default;

  // A list's entry texts, in UTF-8, in list order.
  virtual std::vector<std::string> ListEntries(ESettingsList list) const = 0;
  // Selects entry `index` (always within the list), or nothing when -1. Selecting from here
  // never runs the list's change handler.
  virtual void SelectListEntry(ESettingsList list, int index) = 0;

  // Components: these may throw; applying the settings swallows their errors.
  virtual void SetCaptureDeviceName(const std::string& name) = 0;  // ALAudioIn1
  virtual std::string CaptureDeviceName() const = 0;
  virtual void SetOutputDeviceName(const std::string& name) = 0;  // ALAudioOut1
  virtual std::string OutputDeviceName() const = 0;
  virtual void SetCaptureChannels(uint16_t channels) = 0;  // the capture format's fields
  virtual void SetCaptureBufferSize(uint32_t frames) = 0;
  virtual void SetCaptureSampleRate(uint32_t rate) = 0;
  virtual void SetCaptureBits(uint16_t bits) = 0;
  virtual void SetMidiOutProductName(const std::string& name) = 0;  // MyMidi.Output

  // rbStartMidiNote0/1 checked; checking false checks rbStartAudioFile0/1 instead.
  virtual bool StartMidiNoteChecked(int channel) const = 0;
  virtual void CheckStartMidiNote(int channel, bool midi_note) = 0;
  // edAudioOutFileName0/1; setting the text runs the box's change handler, as typing would.
  virtual std::string AudioOutFileName(int channel) const = 0;
  virtual void SetAudioOutFileName(int channel, const std::string& file_name) = 0;
  virtual bool MidiOutVelFollowChecked() const = 0;  // cbMidiOutVelFollowAudioInLevel
  virtual void CheckMidiOutVelFollow(bool checked) = 0;
  virtual bool AudioOutVolFollowChecked() const = 0;  // cbAudioOutVolFollowAudioInLevel
  virtual void CheckAudioOutVolFollow(bool checked) = 0;
  // edAudioOutputTempDisabledDuration's whole-number value, in ms (1 to 10000).
  virtual int InhibitionDuration() const = 0;
  virtual void SetInhibitionDuration(int milliseconds) = 0;
  // edTocsinLeftThres / edTocsinRightThres, whole dB within -144..0, with their change handler
  // detached: nothing runs.
  virtual void SetThresholdBoxesQuietly(int left_db, int right_db) = 0;

  // Handlers of other parts.
  virtual void RunEventKindClickHandlers() = 0;           // rbStartMidiNote0Click, then ...1Click
  virtual void RunNoteListChangeHandler() = 0;            // lstMidiOutNote0Change
  virtual void RunInhibitionDurationChangeHandler() = 0;  // edAudioOutputTempDisabledDurationChange

  // Hit detection's controls take the record's values (the detection lists and the "Frappe"
  // page). A view without them ignores it.
  virtual void ShowHitSettings(const TMyHit& hit) { (void)hit; }
};
