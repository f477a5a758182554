// Where THitEngine's decisions go. Called on the thread that runs THitEngine::Process (an audio
// server's real-time cycle live, the caller's thread offline), in frame order: implementations
// neither allocate nor wait there.
#pragma once

#include <cstdint>

class IHitSink {
 public:
  virtual ~IHitSink() = default;
  // frame: absolute frame of the event (Process's first_frame counts them). A note-on carries the
  // frame of the hit's first sample above the threshold; it is called when the scan has ended.
  virtual void NoteOn(int pad, uint64_t frame, int velocity) = 0;  // velocity 1..127
  virtual void NoteOff(int pad, uint64_t frame) = 0;
  virtual void Sound(int pad, uint64_t frame, double volume) = 0;  // volume 0..100
};
