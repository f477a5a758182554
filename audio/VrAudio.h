// The wave sound component: one complete sound-file image held in memory (TVrAudioData) and
// played whole through the process's sound service (TVrWave). The main window holds one per
// channel; the capture thread plays them while the UI thread loads them.
#pragma once

#include <atomic>
#include <cstdint>
#include <istream>
#include <mutex>
#include <ostream>
#include <string>

#include "audio/ALErrors.h"
#include "platform/SoundService.h"

// "Unknown audio streaming format.", and the stream and file errors of loading and saving.
class EVrAudioError : public EALError {
 public:
  using EALError::EALError;
};

// A growable byte block. Its bytes are never changed in place: every change publishes a new
// image, so an image handed to the sound service stays valid while the UI thread loads another.
class TVrAudioData {
 public:
  static constexpr uint32_t kSignature = 627200;  // 0x99200, the header of streamed data

  TVrAudioData() = default;
  virtual ~TVrAudioData() = default;
  TVrAudioData(const TVrAudioData&) = delete;
  TVrAudioData& operator=(const TVrAudioData&) = delete;

  uint32_t Size() const;
  bool Empty() const { return Size() == 0; }
  // The bytes, valid until the next change; for the thread that changes the block.
  const uint8_t* Data() const;
  // Reallocates to exactly n bytes, keeping the leading bytes and zeroing new ones. The same size
  // again does nothing.
  void SetSize(uint32_t n);
  void SetData(const uint8_t* data, uint32_t size);
  // The current image, none when empty. Safe on any thread: takes a lock held only for a pointer
  // copy; an audio server's real-time thread only tries it a few times (none when it stays taken).
  TSoundImagePtr Image() const;
  // The same for an audio thread, which never waits: none when the lock stays taken.
  TSoundImagePtr ImageNoWait() const;

  // With the header: the signature and the 32-bit size, little-endian, then the bytes. Nothing
  // at all when empty.
  virtual void WriteData(std::ostream& stream, bool with_header) const;
  // The byte count is the stream's total size, or with the header the stored size after a
  // signature check. On any failure the block is left as it was.
  virtual void ReadData(std::istream& stream, bool with_header);
  virtual void Clear();
  void LoadFromStream(std::istream& stream) { ReadData(stream, true); }
  void SaveToStream(std::ostream& stream) const { WriteData(stream, true); }
  // The whole file, byte for byte, whatever it holds. A missing or unreadable file raises.
  void LoadFromFile(const std::string& file_name);
  void SaveToFile(const std::string& file_name) const;
  void Assign(const TVrAudioData& source);

 private:
  void Publish(TSoundImagePtr image);

  mutable std::mutex mutex_;  // guards the pointer, never the bytes: they are immutable
  TSoundImagePtr image_;
};

enum class TVrWaveOption : uint8_t { vwoAsync, vwoNoDefault, vwoLoop, vwoNoStop, vwoNoWait };

class TVrWaveOptions {
 public:
  constexpr TVrWaveOptions() = default;
  constexpr TVrWaveOptions(std::initializer_list<TVrWaveOption> options) {
    for (auto o : options) bits_ |= Bit(o);
  }
  constexpr bool Has(TVrWaveOption o) const { return bits_ & Bit(o); }
  constexpr bool operator==(const TVrWaveOptions&) const = default;

 private:
  static constexpr uint8_t Bit(TVrWaveOption o) { return uint8_t(1u << static_cast<unsigned>(o)); }
  uint8_t bits_ = 0;
};

class TVrWave {
 public:
  explicit TVrWave(ISoundService& service);

  TVrAudioData& Sound() { return sound_; }
  const TVrAudioData& Sound() const { return sound_; }
  void SetSound(const TVrAudioData& source) { sound_.Assign(source); }

  TVrWaveOptions Options() const { return options_; }
  void SetOptions(TVrWaveOptions options);
  // The service's flags: memory image plus one flag per option.
  uint32_t PlayFlags() const { return play_flags_.load(std::memory_order_relaxed); }

  // Starts the sound and returns at once, replacing any sound the process plays; nothing when
  // the sound is empty. Called on the capture thread: hands a shared image over, no copy.
  void Play();
  // The capture tap's play: a hit at `frame` of the capture, from an audio thread (no waiting).
  void PlayAt(uint64_t frame);
  void Stop();

 private:
  void UpdatePlayFlags();

  ISoundService& service_;
  TVrAudioData sound_;
  TVrWaveOptions options_{TVrWaveOption::vwoAsync, TVrWaveOption::vwoNoDefault};
  std::atomic<uint32_t> play_flags_{0};  // read by Play on the capture thread
};
