#include "ALAudioFormat.h"

#include <algorithm>

TALAudioFormatBasic::TALAudioFormatBasic(IOWOwnerLock* owner_lock) : owner_lock_(owner_lock) {
  SetChannels(2);
  SetBits(16);
  SetSampleRate(11025);
}

void TALAudioFormatBasic::SetChannels(uint32_t value) {
  value = std::clamp<uint32_t>(value, 1, 32);
  {
    TOWOwnerWriteGuard guard(owner_lock_);
    if (value == channels_) return;
    channels_ = value;
    UpdateHeader();
  }
  Notify();
}

void TALAudioFormatBasic::SetBits(uint32_t value) {
  value = value <= 8 ? 8 : 16;
  {
    TOWOwnerWriteGuard guard(owner_lock_);
    if (value == bits_) return;
    bits_ = value;
    UpdateHeader();
  }
  Notify();
}

void TALAudioFormatBasic::SetSampleRate(uint32_t value) {
  {
    TOWOwnerWriteGuard guard(owner_lock_);
    sample_rate_ = value;
    UpdateHeader();
  }
  Notify();
}

void TALAudioFormatBasic::UpdateHeader() {
  header_.wFormatTag = 1;
  header_.nChannels = static_cast<uint16_t>(channels_);
  header_.nSamplesPerSec = sample_rate_;
  header_.wBitsPerSample = static_cast<uint16_t>(bits_);
  header_.nBlockAlign = static_cast<uint16_t>((bits_ / 8) * channels_);
  header_.nAvgBytesPerSec = static_cast<uint32_t>(header_.nBlockAlign) * sample_rate_;
  header_.cbSize = 0;
}

void TALAudioFormatBasic::Notify() {
  if (on_change_) on_change_(*this);
}

TALAudioFormat::TALAudioFormat(IOWOwnerLock* owner_lock) : TALAudioFormatBasic(owner_lock) {}

void TALAudioFormat::SetBufferSize(uint32_t value) {
  value = std::max<uint32_t>(value, 1);
  {
    TOWOwnerWriteGuard guard(OwnerLock());
    if (value == buffer_size_) return;
    buffer_size_ = value;
  }
  Notify();
}
