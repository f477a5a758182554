// The program's whole capture road without its window, on the back-ends the program uses with a
// JACK server: the window's capture chain (capture on the JACK client's wave input, processing
// filter, meter), the block handler, note triggering and TMidiOutput on its MIDI service, and
// sound triggering with its inhibition timers on the sound service of the same JACK client, and
// hit detection on the capture's tap ("Frappe"). The thread that builds it plays the UI thread:
// it must pump (Pump) for the inhibitions to end.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "AppState.h"
#include "ControlSnapshot.h"
#include "EngineCaptureChain.h"
#include "HitActions.h"
#include "HitRecord.h"
#include "HitRunner.h"
#include "HitSettingsSnapshot.h"
#include "MidiNoteTrigger.h"
#include "SoundTrigger.h"
#include "TriggerDetector.h"
#include "audio/VrAudio.h"
#include "midi/MidiOut.h"
#include "platform/jack/JackClient.h"
#include "platform/jack/JackMidiOutService.h"
#include "platform/jack/JackSoundService.h"
#include "platform/jack/JackWaveIn.h"
#include "platform/virtual/LoopDispatcher.h"
#include "timing/VrHPTimeBase.h"
#include "timing/VrHPTimer.h"
#include "uVumeter.h"

class TRealTriggerChain {
 public:
  // Opens the back-ends on the JACK server named by JACK_DEFAULT_SERVER; client is the name our
  // JACK client takes there.
  explicit TRealTriggerChain(const std::string& client);
  ~TRealTriggerChain();

  // The controls the block handler reads; change them before Start or between blocks.
  TControlSnapshot& Controls() { return controls_; }
  // Puts a channel in "Fichier son" mode with this image as its sound, as a click on the
  // channel's "Fichier son" button and a file chosen for it do. Before Start. The first call
  // brings in the sound service, which then holds the sound part of the JACK client's cycle;
  // without it the sound slots are empty, as in a window without a sound service.
  void SetChannelSound(int channel, const std::vector<uint8_t>& image);
  // The inhibition duration in ms, both channels, as the window's duration box sets it.
  void SetInhibitionDuration(int milliseconds);
  // Hit detection's choices, as the window's detection lists and "Frappe" page set them; they
  // reach the capture tap at once, with the controls' threshold, event and velocity choices.
  void SetHitSettings(const TMyHit& hit);
  // The note trigger, for tests that end notes as Stop does.
  TMidiNoteTrigger& Notes() { return *notes_; }
  // Waits until the sounds handed over at Start are ready to start inside a cycle.
  bool WaitSoundsReady(std::chrono::milliseconds timeout);
  // Full name of our JACK client's sound output ("Tocsin:out_1" for channel 0).
  std::string SoundOutPort(int channel);
  // Start as the window does it: capture, then filter, then the sounds handed to the sound
  // service to prepare, then the MIDI port (by product name).
  // False, with everything off again, when the device or the port refuse.
  bool Start(const std::string& input_device, uint32_t sample_rate, uint32_t buffer_size,
             const std::string& midi_port);
  // Stop as the window does it: StopRequest, up to 1000 ms for StopAck, filter, capture, port.
  void Stop();
  bool Running() const { return running_; }

  // UI thread: runs posted changes until pred holds or timeout passes.
  bool Pump(const std::function<bool()>& pred, std::chrono::milliseconds timeout);
  // The program's JACK client, for tests that put parts of their own in its cycle.
  TJackClient& Jack() { return jack_; }
  // Capture thread blocks handled so far.
  uint64_t Blocks() const { return blocks_.load(std::memory_order_acquire); }
  // The capture chain (its counts of blocks that left the cycle) and the MIDI service (its
  // replays of dropped cycles).
  TEngineCaptureChain& Engine() { return engine_; }
  TJackMidiOutService& MidiService() { return midi_service_; }

 private:
  class TActions;
  class TActivityView;
  void PrepareSounds();

  TLoopDispatcher ui_;
  TJackClient jack_;
  TJackWaveIn wave_in_;
  TJackMidiOutService midi_service_;
  std::unique_ptr<TJackSoundService> sound_service_;
  TMidiOutput midi_out_;
  TRunFlags flags_;
  TAudioInParams params_;
  TMyMidi midi_;
  std::unique_ptr<TVrWave> waves_[2];
  TMySound sounds_[2];
  TVrHPTimeBase time_base_;
  TVrHPTimer timer0_{ui_}, timer1_{ui_};
  TSoundTrigger sound_trigger_{sounds_, timer0_, timer1_};
  TVumeters meters_;
  TControlSnapshot controls_;
  std::unique_ptr<TActivityView> view_;
  std::unique_ptr<TMidiNoteTrigger> notes_;
  std::unique_ptr<TActions> actions_;
  std::unique_ptr<TTriggerDetector> detector_;
  TMyHit hit_;
  THitSettingsSnapshot hit_settings_;
  std::unique_ptr<THitActions> hit_actions_;
  std::unique_ptr<THitRunner> hit_runner_;
  TEngineCaptureChain engine_;
  std::atomic<uint64_t> blocks_{0};
  bool running_ = false;
};
