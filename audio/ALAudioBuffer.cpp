#include "ALAudioBuffer.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "ALErrors.h"

namespace {
size_t FramesOf(const TWaveFormatEx& h, size_t data_size) {
  return h.nBlockAlign == 0 ? 0 : data_size / h.nBlockAlign;
}
}  // namespace

TALSmartAudioBuffer::TALSmartAudioBuffer(uint32_t bits, uint32_t frames, uint32_t channels)
    : TSLSmartBuffer(static_cast<size_t>(bits / 8) * frames * channels + TWaveFormatEx::kSize) {
  TWaveFormatEx::Pcm(static_cast<uint16_t>(channels), static_cast<uint16_t>(bits), 11025)
      .WriteTo(Begin());
}

int TSLGenericBuffer::ActiveReaders() const {
  std::shared_lock lock(lock_);
  return readers_;
}

int TSLGenericBuffer::ActiveWriters() const {
  std::shared_lock lock(lock_);
  return writers_;
}

size_t TSLGenericBuffer::OpenAccessCount() const {
  std::shared_lock lock(lock_);
  return accesses_.size();
}

std::shared_ptr<TALAudioBuffer> TALAudioBuffer::Create() { return Create(8, 1, 1); }

std::shared_ptr<TALAudioBuffer> TALAudioBuffer::Create(uint32_t bits, uint32_t frames,
                                                       uint32_t channels) {
  return std::make_shared<TALAudioBuffer>(
      Private{}, std::make_shared<TALSmartAudioBuffer>(bits, frames, channels));
}

std::shared_ptr<TALAudioBuffer> TALAudioBuffer::CreateCopy(const IALAudioBufferPtr& source) {
  return std::make_shared<TALAudioBuffer>(Private{}, source->Block());
}

TALAudioBuffer::TALAudioBuffer(Private, std::shared_ptr<TALSmartAudioBuffer> block)
    : block_(std::move(block)) {}

TALAudioBuffer::~TALAudioBuffer() = default;

IALAudioDataAccessPtr TALAudioBuffer::GetAccess() { return GetDataAccess(); }

std::shared_ptr<TALAudioDataBufferAccess> TALAudioBuffer::GetDataAccess() {
  std::shared_ptr<TALSmartAudioBuffer> block;
  {
    std::shared_lock lock(lock_);
    block = block_;
  }
  auto access = std::make_shared<TALAudioDataBufferAccess>(shared_from_this(), std::move(block));
  std::unique_lock lock(lock_);
  accesses_.push_back(access.get());
  return access;
}

void TALAudioBuffer::Unregister(const TALAudioDataBufferAccess* access) {
  std::unique_lock lock(lock_);
  accesses_.erase(std::remove(accesses_.begin(), accesses_.end(), access), accesses_.end());
}

void TALAudioBuffer::Assign(const IALAudioBufferPtr& source) {
  if (!source) return;
  auto block = source->Block();
  std::unique_lock lock(lock_);
  if (block == block_) return;  // itself, or already sharing
  ++writers_;
  block_ = std::move(block);  // the previous block loses this reference
  --writers_;
}

TWaveFormatEx TALAudioBuffer::Header() const {
  std::shared_lock lock(lock_);
  return block_->Header();
}

size_t TALAudioBuffer::BlockSize() const {
  std::shared_lock lock(lock_);
  return block_->Size();
}

size_t TALAudioBuffer::DataSize() const {
  std::shared_lock lock(lock_);
  return block_->Size() - block_->HeaderSize();
}

uint32_t TALAudioBuffer::FrameCount() const {
  std::shared_lock lock(lock_);
  return static_cast<uint32_t>(FramesOf(block_->Header(), block_->Size() - block_->HeaderSize()));
}

std::shared_ptr<TALSmartAudioBuffer> TALAudioBuffer::Block() const {
  std::shared_lock lock(lock_);
  return block_;
}

TALAudioDataBufferAccess::TALAudioDataBufferAccess(std::shared_ptr<TALAudioBuffer> owner,
                                                   std::shared_ptr<TALSmartAudioBuffer> block)
    : owner_(std::move(owner)), block_(std::move(block)) {
  const TWaveFormatEx h = block_->Header();
  header_size_ = block_->HeaderSize();
  data_ = block_->Begin() + header_size_;
  count_ = static_cast<uint32_t>(FramesOf(h, block_->Size() - header_size_));
  channels_ = h.nChannels;
  bits_ = h.wBitsPerSample;
  block_align_ = h.nBlockAlign;
}

TALAudioDataBufferAccess::~TALAudioDataBufferAccess() { owner_->Unregister(this); }

void TALAudioDataBufferAccess::SetSample(uint32_t index, uint32_t channel, int32_t value) {
  CheckRange(index, channel);
  uint8_t* p = data_ + static_cast<size_t>(index) * block_align_;
  if (bits_ <= 8) {
    p[channel] = static_cast<uint8_t>(value);
  } else if (bits_ <= 16) {
    p += 2 * static_cast<size_t>(channel);
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
  }
}

void TALAudioDataBufferAccess::RaiseRange(uint32_t index, uint32_t channel) const {
  char msg[64];
  if (channel >= channels_) {
    std::snprintf(msg, sizeof msg, "Channel out of rabge = %u", channel);
  } else {
    std::snprintf(msg, sizeof msg, "Index out of rabge = %u", index);
  }
  throw ERangeError(msg);
}
