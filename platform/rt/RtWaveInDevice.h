// One open RtAudio input stream feeding queued blocks. The RtAudio callback (the server's thread)
// converts and copies frames into the head block and reports it when full; it takes only the
// short block-queue lock, never allocates, and never waits for the caller. A capture tap, when
// given, gets each callback's samples first, at the stream's own rate, before any conversion.
#pragma once

#include <rtaudio/RtAudio.h>
#include <samplerate.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/CaptureTap.h"
#include "platform/WaveIn.h"

class TRtWaveInDevice final : public IWaveInDevice {
 public:
  // Opens the stream; Ok() tells whether it worked. tap: may be null.
  TRtWaveInDevice(RtAudio::Api api, unsigned device_id, const TWaveInFormat& format,
                  TWaveInCallback callback, ICaptureTap* tap = nullptr);
  ~TRtWaveInDevice() override;

  bool Ok() const { return ok_; }
  // The rate the server runs at (the format's rate unless converting).
  unsigned StreamRate() const { return stream_rate_; }
  bool Converting() const { return converter_ != nullptr; }

  void AddBuffer(TWaveInBlock* block) override;
  void Start() override;
  void Reset() override;
  void Close() override;

  // Frames that arrived while no block was queued.
  uint64_t DroppedFrames() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  static int OnAudio(void* out, void* in, unsigned frames, double time, RtAudioStreamStatus status,
                     void* self);
  void Consume(const float* in, unsigned frames);  // callback thread
  void Tap(const float* in, unsigned frames);      // callback thread
  void Push(const float* in, size_t frames);       // callback thread
  bool TryOpen(unsigned device_id, unsigned rate);

  TWaveInFormat format_;
  TWaveInCallback callback_;
  ICaptureTap* const tap_;
  std::vector<float> tap_samples_[2];  // one period per input, sized at open
  uint64_t tap_frame_ = 0;             // frames handed to the tap so far
  std::unique_ptr<RtAudio> audio_;  // null once closed
  uint64_t losses_at_open_ = 0;
  bool ok_ = false;
  unsigned stream_rate_ = 0;
  std::mutex call_mutex_;  // serialises our own calls into RtAudio

  SRC_STATE* converter_ = nullptr;
  double ratio_ = 1.0;
  std::vector<float> converted_;  // sized at open for one period

  std::mutex queue_mutex_;
  std::vector<TWaveInBlock*> ring_;  // fixed capacity, allocated at open
  size_t head_ = 0, count_ = 0;
  uint32_t filled_ = 0;  // bytes of the head block already written
  std::atomic<uint64_t> dropped_{0};
};
