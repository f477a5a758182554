#include "WaveFormat.h"

namespace {
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, static_cast<uint16_t>(v));
  Put16(p + 2, static_cast<uint16_t>(v >> 16));
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | (static_cast<uint32_t>(Get16(p + 2)) << 16); }
}  // namespace

void TWaveFormatEx::WriteTo(uint8_t* dst) const {
  Put16(dst + 0, wFormatTag);
  Put16(dst + 2, nChannels);
  Put32(dst + 4, nSamplesPerSec);
  Put32(dst + 8, nAvgBytesPerSec);
  Put16(dst + 12, nBlockAlign);
  Put16(dst + 14, wBitsPerSample);
  Put16(dst + 16, cbSize);
}

TWaveFormatEx::Bytes TWaveFormatEx::ToBytes() const {
  Bytes b{};
  WriteTo(b.data());
  return b;
}

TWaveFormatEx TWaveFormatEx::ReadFrom(const uint8_t* src) {
  TWaveFormatEx f;
  f.wFormatTag = Get16(src + 0);
  f.nChannels = Get16(src + 2);
  f.nSamplesPerSec = Get32(src + 4);
  f.nAvgBytesPerSec = Get32(src + 8);
  f.nBlockAlign = Get16(src + 12);
  f.wBitsPerSample = Get16(src + 14);
  f.cbSize = Get16(src + 16);
  return f;
}

TWaveFormatEx TWaveFormatEx::Pcm(uint16_t channels, uint16_t bits, uint32_t rate) {
  TWaveFormatEx f;
  f.wFormatTag = 1;
  f.nChannels = channels;
  f.wBitsPerSample = bits;
  f.nSamplesPerSec = rate;
  f.nBlockAlign = static_cast<uint16_t>((bits / 8) * channels);
  f.nAvgBytesPerSec = static_cast<uint32_t>(f.nBlockAlign) * rate;
  f.cbSize = 0;
  return f;
}
