// How the capture turns the audio server's floating-point samples into the samples of its
// blocks: 16-bit signed or 8-bit unsigned (128 is silence), rounded to nearest, clipped to the
// range. Shared by the live captures (JACK and RtAudio) and the offline renderer, so that all of
// them deliver the same blocks.
// Any thread; no allocation.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

inline int32_t CaptureSampleToInt16(float x) {
  const long v = std::lrintf(x * 32768.0f);
  return static_cast<int32_t>(std::clamp<long>(v, -32768, 32767));
}

inline uint8_t CaptureSampleToUInt8(float x) {
  const long v = std::lrintf(x * 128.0f) + 128;
  return static_cast<uint8_t>(std::clamp<long>(v, 0, 255));
}
