// Decodes a sound-file image held in memory into float samples, and shapes them for the output
// device (stereo, the device's rate). Runs on the sound service's worker thread, never on the
// capture thread: decoding and resampling a whole file takes milliseconds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct TDecodedSound {
  uint32_t SampleRate = 0;
  uint32_t Channels = 0;
  std::vector<float> Samples;  // interleaved
  size_t Frames() const { return Channels ? Samples.size() / Channels : 0; }
};

// Longest sound kept, in samples of all channels: a header may claim any length, and a
// compressed image decodes to far more than its size, so the decoder never trusts either.
inline constexpr size_t kMaxDecodedSamples = size_t{48000} * 60 * 10 * 2;

// Any format libsndfile reads from memory. Nothing when the image is not a sound it can decode
// (including an image of no frames).
std::optional<TDecodedSound> DecodeSoundImage(const uint8_t* data, size_t size);

// Interleaved stereo at the given rate: mono is doubled, more than two channels keep the first
// two, and the rate is converted when it differs. Empty when the conversion fails.
std::vector<float> ToStereo(const TDecodedSound& sound, uint32_t rate);
