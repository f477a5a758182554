// Reference-counted blocks of interleaved PCM frames, each preceded by its own wave header.
// The memory block is shared between buffer objects and freed with its last holder, so a buffer
// handed downstream stays valid for as long as any consumer keeps it. Samples are read and
// written through access objects, which check channel and index first.
#pragma once

#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <vector>

#include "WaveFormat.h"

class IALAudioBuffer;
using IALAudioBufferPtr = std::shared_ptr<IALAudioBuffer>;

// Sample access on one buffer. The access object caches the buffer's layout when created and
// keeps the memory it reads alive.
class IALAudioDataAccess {
 public:
  virtual ~IALAudioDataAccess() = default;
  virtual uint32_t Count() const = 0;  // frames
  virtual uint8_t* Data() const = 0;   // first sample byte
  // 8-bit: 0..255 as stored (128 is silence); 16-bit: -32768..32767; other widths: 0.
  // Raises ERangeError "Channel out of rabge = %u" or "Index out of rabge = %u", channel first.
  virtual int32_t GetSample(uint32_t index, uint32_t channel) const = 0;
  // Stores the low 8 or 16 bits of value; same checks as GetSample.
  virtual void SetSample(uint32_t index, uint32_t channel, int32_t value) = 0;
};
using IALAudioDataAccessPtr = std::shared_ptr<IALAudioDataAccess>;

// The raw memory block: wave header, then sample data.
class TSLSmartBuffer {
 public:
  explicit TSLSmartBuffer(size_t size) : bytes_(size) {}
  uint8_t* Begin() { return bytes_.data(); }
  size_t Size() const { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
};

class TALSmartAudioBuffer : public TSLSmartBuffer {
 public:
  // Allocates (bits div 8) x frames x channels data bytes behind an 18-byte header at 11025 Hz.
  TALSmartAudioBuffer(uint32_t bits, uint32_t frames, uint32_t channels);
  TWaveFormatEx Header() { return TWaveFormatEx::ReadFrom(Begin()); }
  size_t HeaderSize() { return TWaveFormatEx::kSize + Header().cbSize; }
};

class IALAudioBuffer {
 public:
  virtual ~IALAudioBuffer() = default;
  virtual IALAudioDataAccessPtr GetAccess() = 0;
  // Makes this buffer share source's memory block (no copy).
  virtual void Assign(const IALAudioBufferPtr& source) = 0;
  virtual TWaveFormatEx Header() const = 0;
  virtual uint32_t FrameCount() const = 0;
  virtual size_t DataSize() const = 0;
  virtual size_t BlockSize() const = 0;
  virtual std::shared_ptr<TALSmartAudioBuffer> Block() const = 0;
};

class TALAudioDataBufferAccess;

// Bookkeeping common to data buffers: a multi-reader lock, active reader and writer counts, and
// the access objects open on the buffer.
class TSLGenericBuffer {
 public:
  int ActiveReaders() const;
  int ActiveWriters() const;
  size_t OpenAccessCount() const;

 protected:
  mutable std::shared_mutex lock_;
  int readers_ = 0;
  int writers_ = 0;
  std::vector<const TALAudioDataBufferAccess*> accesses_;
};

class TMLMediaBuffer : public TSLGenericBuffer {};

class TALAudioBuffer final : public TMLMediaBuffer,
                             public IALAudioBuffer,
                             public std::enable_shared_from_this<TALAudioBuffer> {
  struct Private {};

 public:
  // One 8-bit mono frame.
  static std::shared_ptr<TALAudioBuffer> Create();
  static std::shared_ptr<TALAudioBuffer> Create(uint32_t bits, uint32_t frames, uint32_t channels);
  // A new buffer on the same memory block as source.
  static std::shared_ptr<TALAudioBuffer> CreateCopy(const IALAudioBufferPtr& source);

  TALAudioBuffer(Private, std::shared_ptr<TALSmartAudioBuffer> block);
  ~TALAudioBuffer() override;

  IALAudioDataAccessPtr GetAccess() override;
  // The concrete access, for hot loops that want inlined sample reads.
  std::shared_ptr<TALAudioDataBufferAccess> GetDataAccess();
  void Assign(const IALAudioBufferPtr& source) override;
  TWaveFormatEx Header() const override;
  uint32_t FrameCount() const override;
  size_t DataSize() const override;
  size_t BlockSize() const override;
  std::shared_ptr<TALSmartAudioBuffer> Block() const override;

 private:
  friend class TALAudioDataBufferAccess;
  void Unregister(const TALAudioDataBufferAccess* access);

  std::shared_ptr<TALSmartAudioBuffer> block_;
};

class TALAudioDataBufferAccess final : public IALAudioDataAccess {
 public:
  TALAudioDataBufferAccess(std::shared_ptr<TALAudioBuffer> owner,
                           std::shared_ptr<TALSmartAudioBuffer> block);
  ~TALAudioDataBufferAccess() override;

  uint32_t Count() const override { return count_; }
  uint8_t* Data() const override { return data_; }
  uint32_t Channels() const { return channels_; }
  uint32_t Bits() const { return bits_; }
  uint32_t BlockAlign() const { return block_align_; }
  size_t HeaderSize() const { return header_size_; }

  int32_t GetSample(uint32_t index, uint32_t channel) const override {
    CheckRange(index, channel);
    return GetSampleUnchecked(index, channel);
  }
  void SetSample(uint32_t index, uint32_t channel, int32_t value) override;

  // GetSample for callers that have checked index < Count() and channel < Channels() already.
  int32_t GetSampleUnchecked(uint32_t index, uint32_t channel) const {
    const uint8_t* p = data_ + static_cast<size_t>(index) * block_align_;
    if (bits_ <= 8) return p[channel];
    if (bits_ <= 16) {
      p += 2 * static_cast<size_t>(channel);
      return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    }
    return 0;
  }

 private:
  void CheckRange(uint32_t index, uint32_t channel) const {
    if (channel >= channels_ || index >= count_) [[unlikely]]
      RaiseRange(index, channel);
  }
  [[noreturn]] void RaiseRange(uint32_t index, uint32_t channel) const;

  std::shared_ptr<TALAudioBuffer> owner_;
  std::shared_ptr<TALSmartAudioBuffer> block_;
  uint32_t count_ = 0;
  uint8_t* data_ = nullptr;
  uint32_t channels_ = 0;
  uint32_t bits_ = 0;
  uint32_t block_align_ = 0;
  size_t header_size_ = 0;
};
