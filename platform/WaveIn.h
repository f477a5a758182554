// Wave input as the capture component needs it: named input devices, opened (or the default
// input) with a PCM format, fed fixed-size blocks that the back-end fills and hands back on a
// thread of its own. Back-ends: RtAudio (rt/) and an in-process device for tests (virtual/).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Messages a device reports through its callback.
inline constexpr uint32_t kWimOpen = 958;
inline constexpr uint32_t kWimClose = 959;
inline constexpr uint32_t kWimData = 960;

// The default input, for Open.
inline constexpr int kWaveInDefault = -1;

struct TWaveInFormat {
  uint16_t channels = 2;
  uint16_t bits = 16;  // 16: signed little-endian; 8: unsigned, 128 is the zero line
  uint32_t sample_rate = 44100;
  uint32_t BlockAlign() const { return (bits / 8u) * channels; }
};

// One block handed to a device. The caller owns it and its memory; the device writes data and
// recorded until it reports the block (kWimData) or Reset returns.
struct TWaveInBlock {
  uint8_t* data = nullptr;
  uint32_t bytes = 0;     // capacity, a whole number of frames
  uint32_t recorded = 0;  // bytes filled when reported
  void* user = nullptr;   // the caller's own value
};

class ICaptureTap;
class IWaveInDevice;

// Called on a back-end thread (never the caller of AddBuffer/Start), or on the caller of Reset
// for the blocks Reset returns. Must not block: post and return.
using TWaveInCallback =
    std::function<void(IWaveInDevice* device, uint32_t message, TWaveInBlock* block)>;

class IWaveInDevice {
 public:
  virtual ~IWaveInDevice() = default;  // closes the device if still open
  // Hands one block to the device; blocks are filled in the order they were added.
  virtual void AddBuffer(TWaveInBlock* block) = 0;
  virtual void Start() = 0;
  // Stops recording and reports every block not yet reported, before returning. After Reset the
  // device no longer touches any block.
  virtual void Reset() = 0;
  virtual void Close() = 0;
  // Inside the callback: true when the device reports from an audio server's real-time cycle,
  // where the caller may handle the block at once if it neither waits nor allocates. A block
  // added back from there (AddBuffer) is taken without a lock.
  virtual bool InRealtimeCycle() const { return false; }
};

class IWaveIn {
 public:
  virtual ~IWaveIn() = default;
  // Input device names in device-number order: at most 32 characters, distinct.
  virtual std::vector<std::string> DeviceNames() = 0;
  // A device the default input is (left out of DeviceNames so that it is not offered twice), by
  // the name a user may have stored for it; empty when there is none.
  virtual std::string DefaultDeviceAlias() { return {}; }
  // Opens device number device (or kWaveInDefault); null when it cannot be opened.
  virtual std::unique_ptr<IWaveInDevice> Open(int device, const TWaveInFormat& format,
                                              TWaveInCallback callback) = 0;
  // Where the devices opened from now on hand the samples of every cycle, as the server gives
  // them, before they make blocks of them (none: null). Set before capture starts, on the thread
  // that opens devices; the tap must outlive them. A back-end without the road ignores it.
  virtual void SetCaptureTap(ICaptureTap* tap) { (void)tap; }
};
