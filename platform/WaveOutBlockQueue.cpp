#include "WaveOutBlockQueue.h"

namespace {
float SampleToFloat(const uint8_t* p, uint16_t bits) {
  if (bits == 8) return (static_cast<float>(p[0]) - 128.0f) / 128.0f;
  return static_cast<float>(static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)))) /
         32768.0f;
}
}  // namespace

void TWaveOutBlockQueue::Push(TWaveOutBlock* block) {
  if (count_ == ring_.size()) {
    std::vector<TWaveOutBlock*> bigger(ring_.size() * 2, nullptr);
    for (size_t i = 0; i < count_; ++i) bigger[i] = ring_[(head_ + i) % ring_.size()];
    ring_.swap(bigger);
    head_ = 0;
  }
  ring_[(head_ + count_) % ring_.size()] = block;
  ++count_;
}

unsigned TWaveOutBlockQueue::Pull(float* dst, unsigned frames, const TWaveOutFormat& format,
                                  IWaveOutDevice* device, const TWaveOutCallback& callback) {
  const uint32_t align = format.BlockAlign();
  const uint16_t bytes_per_sample = format.bits / 8;
  unsigned done = 0;
  while (done < frames && count_ > 0) {
    TWaveOutBlock* block = ring_[head_];
    const uint32_t whole = block->bytes - block->bytes % align;
    while (done < frames && head_offset_ < whole) {
      const uint8_t* p = block->data + head_offset_;
      for (size_t c = 0; c < format.channels; ++c)
        *dst++ = SampleToFloat(p + c * bytes_per_sample, format.bits);
      head_offset_ += align;
      ++done;
    }
    if (head_offset_ >= whole) {
      Pop();
      head_offset_ = 0;
      if (deferred_count_ < kMaxDeferred)
        deferred_[deferred_count_++] = block;
      else if (callback)
        callback(device, kWomDone, block);
    }
  }
  return done;
}

void TWaveOutBlockQueue::ReportDeferred(IWaveOutDevice* device, const TWaveOutCallback& callback) {
  for (size_t i = 0; i < deferred_count_; ++i)
    if (callback) callback(device, kWomDone, deferred_[i]);
  deferred_count_ = 0;
}

void TWaveOutBlockQueue::TakeAll(std::vector<TWaveOutBlock*>& returned) {
  returned.reserve(returned.size() + count_ + deferred_count_);
  for (size_t i = 0; i < deferred_count_; ++i) returned.push_back(deferred_[i]);
  deferred_count_ = 0;
  while (count_ > 0) returned.push_back(Pop());
  head_offset_ = 0;
}

void TWaveOutBlockQueue::Drop() {
  count_ = 0;
  deferred_count_ = 0;
}

TWaveOutBlock* TWaveOutBlockQueue::Pop() {
  TWaveOutBlock* block = ring_[head_];
  ring_[head_] = nullptr;
  head_ = (head_ + 1) % ring_.size();
  --count_;
  return block;
}
