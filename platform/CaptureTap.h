// What a capture back-end hands over of every cycle before it makes blocks of it: the audio
// server's own floating-point samples, per input, at the server's rate, before any conversion to
// 16-bit samples or to another rate. Hit detection reads them there, sample by sample.
// Capture runs on the back-end's audio thread (inside an audio server's real-time cycle for
// JACK, in the stream callback for RtAudio): implementations neither allocate nor wait there.
#pragma once

#include <cstdint>

class ICaptureTap {
 public:
  virtual ~ICaptureTap() = default;
  // inputs[c] holds frames samples (full scale 1.0) of input c, for c below channels (1 for a
  // mono capture, 2 for stereo); a null entry is silence. first_frame counts the server's frames
  // (for JACK its frame time, widened to 64 bits); calls come in frame order, and a jump means
  // frames were skipped. sample_rate: the server's rate, the one the samples come at.
  // What a call causes is sent with these frames: a back-end whose cycle is under way writes it
  // there (JACK), others send it at once and the frames only order it (RtAudio).
  virtual void Capture(const float* const* inputs, uint32_t channels, uint32_t frames,
                       uint64_t first_frame, uint32_t sample_rate) = 0;
};
