// Where hit detection's decisions go in the program: a pad's note through the note trigger (so
// that Stop, close and a lost server end hit notes as they end level notes, and two channels on
// one key give one note), a pad's sound through the sound trigger (its inhibition window as for
// the level road), each with the hit's frame, and the indicators of the channel: its threshold
// light lit from a hit to its note-off (a sound's light stays lit 50 ms), its last velocity or
// volume. Pad p is channel p. Two pads on one key that hit within the scan time of each other
// hit the same stroke (a mono input drives both): one note.
// Called by THitRunner on the capture tap's thread: nothing here allocates or waits.
#pragma once

#include <cstdint>

#include "HitRunner.h"
#include "RunFlags.h"

class TMidiNoteTrigger;
class TSoundTrigger;

// The indicators hit detection changes. Called on an audio thread: implementations only leave
// the change for the UI thread (no posting, no allocation).
class IHitIndicators {
 public:
  virtual ~IHitIndicators() = default;
  virtual void HitLight(int channel, bool lit) = 0;         // ledLeftThres / ledRightThres
  virtual void HitVelocity(int channel, int velocity) = 0;  // lblMidiOutLastVel0/1
  virtual void HitVolume(int channel, double volume) = 0;   // lblAudioOutLastVol0/1
};

class THitActions final : public IHitRunnerSink {
 public:
  // Any of notes, sounds and indicators may be null: that side is skipped.
  THitActions(TRunFlags& flags, TMidiNoteTrigger* notes, TSoundTrigger* sounds,
              IHitIndicators* indicators);

  void NoteOn(int pad, uint64_t frame, int velocity) override;
  void NoteOff(int pad, uint64_t frame) override;
  void Sound(int pad, uint64_t frame, double volume) override;
  void Configured(const THitSettings& settings, uint32_t rate) override;
  void Passed(uint64_t end_frame, uint32_t rate) override;

  static constexpr double kSoundLightMs = 50;

 private:
  static bool ValidPad(int pad) { return pad == 0 || pad == 1; }

  TRunFlags& flags_;
  TMidiNoteTrigger* notes_;
  TSoundTrigger* sounds_;
  IHitIndicators* indicators_;
  // A sound's light: lit from the hit until this frame (audio thread only).
  bool sound_lit_[2] = {false, false};
  uint64_t sound_hit_[2] = {0, 0};
  uint64_t join_frames_[2] = {0, 0};  // each pad's scan, in frames
};
