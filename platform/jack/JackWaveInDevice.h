// One capture on the JACK client's in_1/in_2: the process callback (JACK's real-time thread)
// converts the cycle's frames to the requested PCM format (and rate, with libsamplerate, when the
// server runs at another), fills the queued blocks and reports each full one at once through
// the callback, telling the client where in the cycle each block lies. Blocks are queued
// lock-free; the callback never allocates or waits. A block added back from inside the callback
// goes to a list of the cycle's own, taken before the queue. A capture tap, when given, gets the
// cycle's samples first, as the server gave them.
#pragma once

#include <samplerate.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "JackClient.h"
#include "platform/CaptureTap.h"
#include "platform/LockFreeQueue.h"
#include "platform/WaveIn.h"

class TJackWaveInDevice final : public IWaveInDevice, private IJackCyclePart {
 public:
  // Connects sources (full port names) to in_1 and in_2 (a single source feeds both). tap: where
  // each cycle's samples go before anything else (may be null).
  TJackWaveInDevice(TJackClient& client, std::vector<std::string> sources,
                    const TWaveInFormat& format, TWaveInCallback callback,
                    ICaptureTap* tap = nullptr);
  ~TJackWaveInDevice() override;

  bool Ok() const { return ok_; }
  void AddBuffer(TWaveInBlock* block) override;
  void Start() override;
  void Reset() override;
  void Close() override;
  bool InRealtimeCycle() const override;

  // Frames that arrived while no block was queued.
  uint64_t DroppedFrames() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  void Cycle(const TJackCycle& cycle) override;  // real-time thread
  // at: the cycle frame of the first frame given; exact: false when converting, where only the
  // end of what was given is known (blocks are then stamped there, never too early).
  void Push(const float* interleaved, size_t frames, jack_nframes_t at, bool exact);

  static constexpr size_t kChunk = 1024;  // frames interleaved at a time

  TJackClient& client_;
  const TWaveInFormat format_;
  TWaveInCallback callback_;
  ICaptureTap* const tap_;
  // The server's frame time, widened to 64 bits (callback only).
  uint64_t frame_time_ = 0;
  jack_nframes_t last_first_ = 0;
  bool have_frame_time_ = false;
  bool ok_ = false;
  bool closed_ = false;
  std::vector<std::pair<std::string, std::string>> connections_;  // the ones we made

  std::atomic<bool> running_{false};
  std::mutex add_mutex_;  // one producer at a time into blocks_; never taken by the callback
  TSpscQueue<TWaveInBlock*, 4096> blocks_;
  static constexpr size_t kMaxOwn = 256;
  TWaveInBlock* own_[kMaxOwn] = {};  // added back inside the cycle: callback, or Reset once stopped
  size_t own_count_ = 0;
  TWaveInBlock* current_ = nullptr;  // the block being filled: callback, or Reset once stopped
  uint32_t filled_ = 0;
  jack_nframes_t block_first_ = 0;  // where the block being filled began in this cycle
  double step_ = 1.0;               // cycle frames per captured frame when converting
  std::atomic<uint64_t> dropped_{0};

  SRC_STATE* converter_ = nullptr;
  std::vector<float> interleaved_;  // kChunk frames
  std::vector<float> converted_;
};
