// The process's one-sound-at-a-time play service: plays a complete sound-file image held in
// memory, the newest request replacing the sound that plays. Real back-end in rt/, a recording
// one for tests in virtual/.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// A complete sound-file image (a RIFF WAVE file, or any format the back-end decodes), shared so
// that handing it to the service never copies or allocates on the calling thread.
using TSoundImage = std::vector<uint8_t>;
using TSoundImagePtr = std::shared_ptr<const TSoundImage>;

// Play flags, the values of the wave component's options.
enum : uint32_t {
  kSndAsync = 0x0001,      // return at once (the service always does)
  kSndNoDefault = 0x0002,  // stay silent for an image it cannot play (the service always does)
  kSndMemory = 0x0004,     // the sound is an image in memory (the only kind the service plays)
  kSndLoop = 0x0008,       // play again and again until stopped or replaced
  kSndNoStop = 0x0010,     // leave a playing sound alone and play nothing
  kSndNoWait = 0x2000,     // don't wait when the service is busy (it never waits)
};

class ISoundService {
 public:
  virtual ~ISoundService() = default;
  // Starts the image and returns at once; the sound playing stops. An image the service cannot
  // decode plays as silence: it still stops the sound that played. A null or empty image plays
  // nothing. Safe on any thread, including the capture thread: no decoding, no waiting.
  virtual void Play(TSoundImagePtr image, uint32_t flags) = 0;
  // The same for a sound caused at a known frame of the capture (ICaptureTap's count), asked for
  // from inside the capture's tap: a back-end whose cycle is under way starts it at that frame's
  // place in the cycle (clamped into it, never before the frame); others start it at once.
  virtual void PlayAt(TSoundImagePtr image, uint32_t flags, uint64_t frame) {
    (void)frame;
    Play(std::move(image), flags);
  }
  // Stops the sound playing; harmless when nothing plays. Safe on any thread.
  virtual void Stop() = 0;
  // Gets the output ready for these images (device open, images decoded), so that the first
  // Play of one of them sounds as soon as the following ones. Returns at once; the work is done
  // off the calling thread. UI thread, at Start. A service with nothing to prepare ignores it.
  virtual void Prepare(const std::vector<TSoundImagePtr>& images) { (void)images; }
};
