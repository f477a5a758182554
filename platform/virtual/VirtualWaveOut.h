// An in-process wave output for tests: named devices that play nothing until the test says so,
// recording every byte played, every open, pause, restart and reset. Blocks are reported on the
// thread that calls PlayBlocks (or Reset), which stands for the back-end's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/WaveOut.h"

// The test's view of one opened device; it outlives the device object, so a test may keep it
// while the component closes and frees the device on its own threads.
class TVirtualWaveOutStream {
 public:
  TVirtualWaveOutStream(int device, const TWaveOutFormat& format, TWaveOutCallback callback)
      : device_(device), format_(format), callback_(std::move(callback)) {}

  int Device() const { return device_; }
  const TWaveOutFormat& Format() const { return format_; }

  // Plays up to max_blocks from the head of the queue, reporting each; none while closed, nor
  // while paused unless even_paused (a device finishing the block it was in when paused).
  // Returns how many were played.
  size_t PlayBlocks(size_t max_blocks, bool even_paused = false);
  size_t Pending() const;      // written, not yet reported
  size_t Written() const;      // blocks written since open
  std::vector<uint8_t> Played() const;  // bytes of every block played, in order
  size_t PlayedBlocks() const;
  bool Paused() const;
  bool Closed() const;
  int Pauses() const;
  int Restarts() const;
  int Resets() const;

  // Device side, called through TVirtualWaveOutDevice.
  void Write(IWaveOutDevice* device, TWaveOutBlock* block);
  void Pause();
  void Restart();
  void Reset(IWaveOutDevice* device);
  void Close();

 private:
  const int device_;
  const TWaveOutFormat format_;
  mutable std::mutex mutex_;
  TWaveOutCallback callback_;  // cleared on close: nothing is reported after it
  IWaveOutDevice* device_object_ = nullptr;
  std::vector<TWaveOutBlock*> queue_;
  std::vector<uint8_t> played_;
  size_t written_ = 0;
  size_t played_blocks_ = 0;
  bool paused_ = false;
  bool closed_ = false;
  int pauses_ = 0;
  int restarts_ = 0;
  int resets_ = 0;
};
using TVirtualWaveOutStreamPtr = std::shared_ptr<TVirtualWaveOutStream>;

class TVirtualWaveOut final : public IWaveOut {
 public:
  explicit TVirtualWaveOut(std::vector<std::string> names = {"Virtual Out 1", "Virtual Out 2"});

  std::vector<std::string> DeviceNames() override;
  std::unique_ptr<IWaveOutDevice> Open(int device, const TWaveOutFormat& format,
                                       TWaveOutCallback callback) override;

  void SetDeviceNames(std::vector<std::string> names);
  // While set, every Open fails (returns null), as a busy or missing device would.
  void SetOpenFails(bool fails);
  // Every successful open so far, oldest first, test opens included.
  std::vector<TVirtualWaveOutStreamPtr> Streams() const;
  // The latest stream that is still open, or null.
  TVirtualWaveOutStreamPtr Current() const;
  size_t OpenCount() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> names_;
  bool open_fails_ = false;
  std::vector<TVirtualWaveOutStreamPtr> streams_;
};
