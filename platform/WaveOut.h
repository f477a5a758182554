// Wave output as the audio output component needs it: named output devices, opened (or the
// default output) with a PCM format, fed blocks that the back-end plays in order and hands back
// when played, with pause, restart and reset. Back-ends: RtAudio (rt/) and an in-process device
// for tests (virtual/).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Messages a device reports through its callback.
inline constexpr uint32_t kWomOpen = 955;
inline constexpr uint32_t kWomClose = 956;
inline constexpr uint32_t kWomDone = 957;

// The default output, for Open.
inline constexpr int kWaveOutDefault = -1;

struct TWaveOutFormat {
  uint16_t channels = 2;
  uint16_t bits = 16;  // 16: signed little-endian; 8: unsigned, 128 is the zero line
  uint32_t sample_rate = 44100;
  uint32_t BlockAlign() const { return (bits / 8u) * channels; }
  bool operator==(const TWaveOutFormat&) const = default;
};

// One block written to a device. The caller owns it and its memory, which must stay valid and
// unchanged until the device reports the block (kWomDone) or Reset returns.
struct TWaveOutBlock {
  const uint8_t* data = nullptr;
  uint32_t bytes = 0;    // a whole number of frames; 0 is allowed and reported at its turn
  void* user = nullptr;  // the caller's own value
};

class IWaveOutDevice;

// Called on a back-end thread (never inside Write, Pause or Restart), or on the caller of Reset
// for the blocks Reset returns. Must not block: post and return.
using TWaveOutCallback =
    std::function<void(IWaveOutDevice* device, uint32_t message, TWaveOutBlock* block)>;

class IWaveOutDevice {
 public:
  virtual ~IWaveOutDevice() = default;  // closes the device if still open
  // Queues one block behind those already written; it plays once they have played.
  virtual void Write(TWaveOutBlock* block) = 0;
  // Holds playback where it is: nothing is consumed until Restart.
  virtual void Pause() = 0;
  virtual void Restart() = 0;
  // Stops playback and reports every block not yet reported, before returning; after Reset the
  // device no longer touches any block. The device stays open and paused state is kept.
  virtual void Reset() = 0;
  virtual void Close() = 0;
};

class IWaveOut {
 public:
  virtual ~IWaveOut() = default;
  // Output device names in device-number order: at most 32 characters each.
  virtual std::vector<std::string> DeviceNames() = 0;
  // Opens device number device (or kWaveOutDefault) playing, not paused; null when it cannot be
  // opened with that format.
  virtual std::unique_ptr<IWaveOutDevice> Open(int device, const TWaveOutFormat& format,
                                               TWaveOutCallback callback) = 0;
};
