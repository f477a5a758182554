// The meter's buffer queue: received buffers (sharing the sender's memory, no copy) waiting to be
// cut into measuring periods, with the read position inside the first one. Guarded by the
// meter's lock; used on the thread that delivers buffers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>

#include "ALAudioBuffer.h"

class TALMeterBufferQueue {
 public:
  // A chunk of consecutive frames of one buffer, handed to a period's fill.
  struct TChunk {
    const uint8_t* data;  // first frame of the chunk
    uint32_t frames;
    uint16_t channels;
    uint16_t bits;
    uint32_t block_align;
  };

  void Append(const IALAudioBufferPtr& buffer);
  void Clear();
  // Frames received and not yet consumed.
  uint64_t Unconsumed() const { return total_ - position_; }
  uint64_t TotalFrames() const { return total_; }
  size_t BufferCount() const { return buffers_.size(); }

  // Consumes frames frames (at most Unconsumed()), handing them to fill chunk by chunk in order;
  // a buffer used up is removed. Returns the frames consumed.
  template <class F>
  uint64_t Consume(uint64_t frames, F&& fill) {
    uint64_t done = 0;
    while (done < frames && !buffers_.empty()) {
      const TEntry& e = buffers_.front();
      const uint64_t take = std::min<uint64_t>(frames - done, e.frames - position_);
      if (take > 0)
        fill(TChunk{e.data + position_ * e.block_align, static_cast<uint32_t>(take), e.channels,
                    e.bits, e.block_align});
      done += take;
      position_ += static_cast<uint32_t>(take);
      if (position_ >= e.frames) Pop();
    }
    return done;
  }

 private:
  struct TEntry {
    IALAudioDataAccessPtr access;  // keeps the shared memory alive
    const uint8_t* data;
    uint32_t frames;
    uint16_t channels;
    uint16_t bits;
    uint32_t block_align;
  };
  void Pop();

  std::deque<TEntry> buffers_;
  uint64_t total_ = 0;     // frames in the list, the first buffer's consumed ones included
  uint32_t position_ = 0;  // frames of the first buffer already consumed
};
