// The block handler of the main window: per captured block, each channel's peaks, its level in
// dB, the clip decision, the strict per-channel threshold decision that fires notes or sounds,
// and the level display refresh at most every 100 ms. A channel in "Frappe" keeps its level and
// clip here, but is fired by hit detection (THitRunner), which also lights its threshold light.
// Runs on the capture thread: reads controls from the snapshot, never waits for the UI thread;
// everything it changes or fires goes out through TTriggerActions, in the order of the block.
#pragma once

#include <cstdint>

#include "AppState.h"
#include "ControlSnapshot.h"
#include "audio/ALAudioBuffer.h"
#include "platform/TickClock.h"
#include "uVumeter.h"

// Everything the detection changes or fires. Called on the capture thread; implementations post
// indicator changes to the UI thread in call order, and send notes and sounds at once.
class ITriggerActions {
 public:
  virtual ~ITriggerActions() = default;
  virtual void SetClipVisible(bool visible) = 0;              // lblClip
  virtual void SetThresholdLight(int channel, bool lit) = 0;  // ledLeftThres / ledRightThres
  virtual void ShowVelocity(int channel, int velocity) = 0;   // lblMidiOutLastVel0/1
  virtual void NoteOn(int channel, int velocity) = 0;
  virtual void NoteOff(int channel) = 0;
  virtual void ShowVolume(int channel, double volume) = 0;  // lblAudioOutLastVol0/1
  virtual void TriggerSound(int channel, double volume) = 0;
  // Both bars and both dB labels, left first.
  virtual void RefreshLevels(double left_db, double right_db) = 0;
};

// The velocity and volume lines: 0 at the threshold, full at 0 dB; fixed when not following.
// The velocity stays within 1..127, the values a note-on can carry.
int NoteVelocity(double LevelDb, double ThresDb, bool follow_level);
double SoundVolume(double LevelDb, double ThresDb, bool follow_level);

class TTriggerDetector {
 public:
  struct TState {
    TRunFlags& Flags;
    TAudioInParams& Params;
    TMyMidi& Midi;
    TMySound (&Sounds)[2];
    TVumeters& Meters;
  };

  // The global records of the main window.
  TTriggerDetector(const TControlSnapshot& controls, ITriggerActions& actions, ITickClock& clock);
  TTriggerDetector(const TState& state, const TControlSnapshot& controls, ITriggerActions& actions,
                   ITickClock& clock);

  // The filter's processing event: reads in, never changes it.
  void ProcessBlock(const IALAudioBufferPtr& in);
  void EvaluateThresholds(double LeftDb, double RightDb);

 private:
  template <typename Access>
  bool Scan(const Access& access, double (&peaks)[4]);
  void EvaluateChannel(int channel, double level_db, double thres_db, bool above);
  // The index of the block's first sample whose own level is above thres_db on the channel's
  // side (where the hit crossed the threshold); 0 when none or no block is under way.
  uint32_t FirstAbove(int channel, double thres_db) const;
  template <typename Access>
  static uint32_t FirstAboveIn(const void* access, uint32_t channel, double thres_db);
  // The rest of the handler once the block is scanned, with the block at hand.
  template <typename Access>
  void Evaluate(const Access& access, const double (&peaks)[4]);
  void EvaluatePeaks(const double (&peaks)[4]);

  // The block under way, read through the same access as the scan; set by ProcessBlock.
  const void* block_ = nullptr;
  uint32_t (*first_above_)(const void*, uint32_t, double) = nullptr;

  TState s_;
  const TControlSnapshot& controls_;
  ITriggerActions& actions_;
  ITickClock& clock_;
};
