// The 18-byte PCM wave format header (little-endian on the wire), as carried by audio formats,
// buffers and stream-start notifications.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

struct TWaveFormatEx {
  uint16_t wFormatTag = 1;  // 1 = PCM
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 0;
  uint16_t wBitsPerSample = 0;
  uint16_t cbSize = 0;

  static constexpr size_t kSize = 18;
  using Bytes = std::array<uint8_t, kSize>;

  // The header as stored in memory and files.
  Bytes ToBytes() const;
  void WriteTo(uint8_t* dst) const;
  static TWaveFormatEx ReadFrom(const uint8_t* src);
  // A PCM header with block alignment and byte rate derived from the other fields.
  static TWaveFormatEx Pcm(uint16_t channels, uint16_t bits, uint32_t rate);

  bool operator==(const TWaveFormatEx&) const = default;
};
