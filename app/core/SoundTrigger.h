// The main window's sound-file side without the toolkit: playing a channel's sound on a
// detection, the inhibition window that follows, loading and stopping the channel sounds, and
// the logic of the radio buttons, file boxes and inhibition controls. The window calls these
// with its control values and applies what they return.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "AppState.h"
#include "platform/RealtimeRelay.h"
#include "timing/VrHPTimer.h"

// The browse buttons' open dialog.
inline constexpr const char* kWaveFileFilter = "Fichiers audio Wave (*.wav)|*.wav";
inline constexpr const char* kWaveDefaultExt = "wav";

// What a click on a channel's "Note MIDI" or "Fichier son" button enables.
struct TStartModeControls {
  bool NoteListEnabled;  // lstMidiOutNote0/1
  bool FileBoxEnabled;   // edAudioOutFileName0/1 and its browse button
};

class TSoundTrigger {
 public:
  // Binds each timer's tick to the end of its channel's inhibition. The timers must have a time
  // base; the slots' waves are set by the window.
  TSoundTrigger(TMySound (&sounds)[2], TVrHPTimer& timer0, TVrHPTimer& timer1);
  ~TSoundTrigger();
  TSoundTrigger(const TSoundTrigger&) = delete;
  TSoundTrigger& operator=(const TSoundTrigger&) = delete;

  // Called on the capture thread for a channel above its threshold and not inhibited. Starts the
  // sound and the inhibition window, and returns at once: the flag is set before it returns, and
  // the timer's tick about two periods later clears it. The volume is shown, not applied.
  // In an audio server's cycle, which may take no lock, the timer is started by the UI thread
  // on a wake-up from here, its schedule dated from the hit.
  void TriggerSound(int channel, double volume);
  // The same for a hit at `frame` of the capture, from the capture tap on an audio thread (the
  // server's cycle or the stream callback): the sound starts at that frame where the service can
  // place it, and the inhibition timer is started by the UI thread, dated from now.
  void TriggerSoundAt(int channel, double volume, uint64_t frame);
  // Whether the channel may fire: not inhibited. Any thread.
  bool Ready(int channel) const {
    return (channel == 0 || channel == 1) &&
           !sounds_[channel].Inhibited.load(std::memory_order_acquire);
  }
  // UI thread. Loads the file when it exists; otherwise the slot keeps its sound. Never raises.
  void LoadChannelSound(int channel, const std::string& file_name);
  // UI thread; also from the close sequence. Never raises.
  void StopChannelSound(int channel);

  // rbStartMidiNote0Click / rbStartMidiNote1Click, for either button of the channel.
  TStartModeControls StartModeClick(int channel, bool midi_note_checked, bool audio_file_checked);
  // edAudioOutFileName0Change / edAudioOutFileName1Change.
  void FileNameChange(int channel, const std::string& text) { LoadChannelSound(channel, text); }
  // edAudioOutputTempDisabledDurationChange: both channels share the duration, in ms.
  void DurationChange(int milliseconds);
  // cbAudioOutputTempDisabledClick: whether the duration box is enabled. The inhibition stays in
  // force either way.
  static bool DurationBoxEnabled(bool temp_disabled_checked) { return temp_disabled_checked; }
  // The text of lblAudioOutLastVol0/1: two decimals with the user's separator.
  static std::string FormatVolume(double volume, char decimal_separator = '.');

  // The timers' tick handlers (VrHPTimer0/1HighPrecisionTimer), on the UI thread.
  void InhibitionElapsed(int channel);

 private:
  void StartPending();                            // UI thread: the timers asked for from the cycle
  static constexpr int64_t kNothing = INT64_MIN;  // no start asked for
  static constexpr int64_t kUndated = INT64_MIN + 1;  // asked for without a time base

  TMySound (&sounds_)[2];
  TVrHPTimer* timers_[2];
  std::atomic<int64_t> pending_[2] = {kNothing, kNothing};  // counter value at the hit
  std::unique_ptr<TRealtimeRelay> relay_;
};
