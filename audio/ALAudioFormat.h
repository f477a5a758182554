// The audio format a component publishes: channels, sample width, rate (and, for TALAudioFormat,
// frames per buffer), with the matching PCM wave header kept current. Setters clamp, never fail.
// Property changes are made under the owner's write lock; the change notification runs after it
// is released, on the thread that made the change.
#pragma once

#include <cstdint>
#include <functional>

#include "OWOwnerLock.h"
#include "WaveFormat.h"

class TALAudioFormatBasic {
 public:
  using TChangeEvent = std::function<void(TALAudioFormatBasic& format)>;

  explicit TALAudioFormatBasic(IOWOwnerLock* owner_lock = nullptr);
  virtual ~TALAudioFormatBasic() = default;
  TALAudioFormatBasic(const TALAudioFormatBasic&) = delete;
  TALAudioFormatBasic& operator=(const TALAudioFormatBasic&) = delete;

  uint32_t Channels() const { return channels_; }
  uint32_t Bits() const { return bits_; }
  uint32_t SampleRate() const { return sample_rate_; }

  // 1..32; notifies only when the stored value changes.
  void SetChannels(uint32_t value);
  // 8 or 16 (below 8 gives 8, above 8 gives 16); notifies only on a change.
  void SetBits(uint32_t value);
  // Stored as given; recomputes the header and notifies on every assignment.
  void SetSampleRate(uint32_t value);

  // The PCM header that describes the current values.
  const TWaveFormatEx* WaveFormat() const { return &header_; }

  void SetOwnerLock(IOWOwnerLock* lock) { owner_lock_ = lock; }
  void SetOnChange(TChangeEvent handler) { on_change_ = std::move(handler); }

 protected:
  void Notify();
  IOWOwnerLock* OwnerLock() const { return owner_lock_; }

 private:
  void UpdateHeader();

  IOWOwnerLock* owner_lock_;
  TChangeEvent on_change_;
  uint32_t channels_ = 0;
  uint32_t bits_ = 0;
  uint32_t sample_rate_ = 0;
  TWaveFormatEx header_{};
};

class TALAudioFormat : public TALAudioFormatBasic {
 public:
  explicit TALAudioFormat(IOWOwnerLock* owner_lock = nullptr);

  uint32_t BufferSize() const { return buffer_size_; }
  // Frames per buffer, at least 1; notifies on a change and leaves the header alone.
  void SetBufferSize(uint32_t value);

 private:
  uint32_t buffer_size_ = 1024;
};
