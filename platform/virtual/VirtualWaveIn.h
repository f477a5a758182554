// Wave input for tests: named input devices whose samples a test supplies as a function of the
// frame number, filled on the device's own thread either as fast as blocks are queued or only as
// many blocks as the test releases with Deliver. Records what was opened, with which format. A
// capture tap gets each block's samples as floats (the sample over full scale) before the block
// is reported, counted in frames from the device's start, at the opened format's rate.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/WaveIn.h"

class TVirtualWaveIn final : public IWaveIn {
 public:
  enum class TPacing { kFreeRun, kManual };
  // The sample of channel at frame (counted from the device's start), in the opened format's
  // units: -32768..32767 for 16 bits, 0..255 for 8 bits.
  using TSignal = std::function<int32_t(uint64_t frame, uint32_t channel)>;

  explicit TVirtualWaveIn(std::vector<std::string> names, TPacing pacing = TPacing::kFreeRun);
  ~TVirtualWaveIn() override;

  std::vector<std::string> DeviceNames() override;
  std::unique_ptr<IWaveInDevice> Open(int device, const TWaveInFormat& format,
                                      TWaveInCallback callback) override;
  void SetCaptureTap(ICaptureTap* tap) override;

  void SetSignal(TSignal signal);
  void SetNames(std::vector<std::string> names);
  // Makes every later Open fail (a busy or vanished device).
  void SetOpenFails(bool fails);
  // kManual: lets the open device fill n more blocks (as they are queued).
  void Deliver(uint32_t blocks);

  int OpenCount() const;
  int LastDevice() const;             // device number of the last Open
  TWaveInFormat LastFormat() const;
  size_t QueuedBlocks() const;        // blocks waiting in the open device
  uint64_t FramesDelivered() const;   // by the open device
  bool DeviceOpen() const;

 private:
  class TDevice;
  friend class TDevice;

  mutable std::mutex mutex_;
  std::vector<std::string> names_;
  TPacing pacing_;
  TSignal signal_;
  bool open_fails_ = false;
  int open_count_ = 0;
  int last_device_ = -2;
  TWaveInFormat last_format_;
  TDevice* current_ = nullptr;
  ICaptureTap* tap_ = nullptr;
};
