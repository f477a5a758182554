// The blocks a wave output device plays, in the order written, and the ones played out that
// wait to be reported. The device's own lock guards it; Pull and ReportDeferred run in the audio
// callback and never allocate, Push may grow the ring and so never runs there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/WaveOut.h"

class TWaveOutBlockQueue {
 public:
  explicit TWaveOutBlockQueue(size_t capacity = 64) : ring_(capacity, nullptr) {}

  void Push(TWaveOutBlock* block);
  // Converts up to frames frames of the queued blocks into dst (interleaved, the format's
  // channels) and returns how many it converted. Blocks used up wait until ReportDeferred.
  unsigned Pull(float* dst, unsigned frames, const TWaveOutFormat& format, IWaveOutDevice* device,
                const TWaveOutCallback& callback);
  void ReportDeferred(IWaveOutDevice* device, const TWaveOutCallback& callback);
  // Every block not yet reported, the played ones first; the queue is empty afterwards.
  void TakeAll(std::vector<TWaveOutBlock*>& returned);
  // Forgets every block without reporting it (the device is closed).
  void Drop();

 private:
  TWaveOutBlock* Pop();

  static constexpr size_t kMaxDeferred = 64;
  std::vector<TWaveOutBlock*> ring_;
  size_t head_ = 0;
  size_t count_ = 0;
  uint32_t head_offset_ = 0;  // bytes of the head block already played
  TWaveOutBlock* deferred_[kMaxDeferred] = {};
  size_t deferred_count_ = 0;
};
