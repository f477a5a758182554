// Builds 16-bit PCM RIFF WAVE images in memory: a sine of the given frequency on every channel.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> MakeWav(uint32_t rate, uint16_t channels, uint32_t frames,
                                    double hz = 440.0, double amplitude = 0.5) {
  std::vector<uint8_t> w;
  w.reserve(44 + size_t{frames} * channels * 2);
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) w.push_back(uint8_t(v >> (8 * i)));
  };
  auto u16 = [&](uint16_t v) {
    w.push_back(uint8_t(v));
    w.push_back(uint8_t(v >> 8));
  };
  auto tag = [&](const char* t) {
    for (int i = 0; i < 4; ++i) w.push_back(uint8_t(t[i]));
  };
  const uint32_t data_bytes = frames * channels * 2;
  tag("RIFF");
  u32(36 + data_bytes);
  tag("WAVE");
  tag("fmt ");
  u32(16);
  u16(1);
  u16(channels);
  u32(rate);
  u32(rate * channels * 2);
  u16(uint16_t(channels * 2));
  u16(16);
  tag("data");
  u32(data_bytes);
  for (uint32_t i = 0; i < frames; ++i) {
    const double s = amplitude * std::sin(2 * M_PI * hz * i / rate);
    for (uint16_t c = 0; c < channels; ++c) u16(static_cast<uint16_t>(int16_t(std::lround(s * 32767))));
  }
  return w;
}
