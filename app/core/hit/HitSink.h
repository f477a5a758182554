// Where THitEngine's decisions go. Called on the thread that runs THitEngine::Process (an audio
// server's real-time cycle live, the caller's thread offline), as the engine decides:
// implementations neither allocate nor wait there.
// No event carries a frame after the one being processed. A note-on (or a sound) carries its
// hit's first frame, which lies the scan time, or up to the 4 ms look-back for where the hit
// began, (plus the crosstalk hold) before the frame at which it is decided, so it may carry an
// earlier frame than an event of another pad sent just before it; the note-off a hit sends first
// carries the note-on's frame. A sink that must write its events in time order (a JACK MIDI
// buffer) keeps each at or after the last one it wrote.
#pragma once

#include <cstdint>

class IHitSink {
 public:
  virtual ~IHitSink() = default;
  // frame: absolute frame of the event (Process's first_frame counts them). A note-on carries the
  // frame where the hit began: where its sound rose out of the level just before, found looking
  // back from its first sample above the threshold (for a stroke on a drum still ringing, above
  // the threshold following the ring), or that first sample when no rise is clear; it is called
  // when the scan from there has ended.
  virtual void NoteOn(int pad, uint64_t frame, int velocity) = 0;  // velocity 1..127
  virtual void NoteOff(int pad, uint64_t frame) = 0;
  virtual void Sound(int pad, uint64_t frame, double volume) = 0;  // volume 0..100
};
