// A sampled drum kit's kick, snare, crash and ride, five velocity layers each, read from the
// kit folder of Debian's hydrogen-data package (GMRockKit) with libsndfile.
// Single-threaded; loads once, then read-only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

enum class TKitPiece { kKick = 0, kSnare = 1, kCrash = 2, kRide = 3 };

struct TKitSample {
  std::vector<float> Samples;  // mono, as recorded
  float Peak = 0;              // highest absolute sample
  // First sample within 40 dB of the peak: where the drum starts to sound. The recordings open
  // with up to a few ms of near silence, which is not part of the hit.
  uint32_t Onset = 0;
};

class TDrumKit {
 public:
  static constexpr int kLayers = 5;  // softest first
  static const char* DefaultFolder();

  // Raises std::runtime_error naming the file that cannot be read, or when the files'
  // rates differ.
  explicit TDrumKit(const std::string& folder = DefaultFolder());

  uint32_t Rate() const { return rate_; }
  const TKitSample& Sample(TKitPiece piece, int layer) const {
    return samples_[static_cast<size_t>(piece)][static_cast<size_t>(layer)];
  }

 private:
  uint32_t rate_ = 0;
  std::array<std::array<TKitSample, kLayers>, 4> samples_;
};
