#include "DrumKit.h"

#include <sndfile.h>

#include <cmath>
#include <stdexcept>

namespace {
const char* const kPieceNames[] = {"Kick", "Snare", "Crash", "Ride"};
const char* const kLayerNames[] = {"Softest", "Soft", "Med", "Hard", "Hardest"};

TKitSample Load(const std::string& path, uint32_t& rate) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) throw std::runtime_error(path + ": " + sf_strerror(nullptr));
  std::vector<float> frames(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
  const sf_count_t got = sf_readf_float(f, frames.data(), info.frames);
  sf_close(f);
  if (got != info.frames) throw std::runtime_error(path + ": cut short");
  if (rate && rate != static_cast<uint32_t>(info.samplerate)) {
    throw std::runtime_error(path + ": another sample rate than the kit's other files");
  }
  rate = static_cast<uint32_t>(info.samplerate);
  TKitSample s;
  s.Samples.resize(static_cast<size_t>(info.frames));
  for (size_t i = 0; i < s.Samples.size(); ++i) {
    s.Samples[i] = frames[i * static_cast<size_t>(info.channels)];  // the first channel
    s.Peak = std::max(s.Peak, std::fabs(s.Samples[i]));
  }
  const float start = s.Peak * 0.01f;
  while (s.Onset < s.Samples.size() && std::fabs(s.Samples[s.Onset]) < start) ++s.Onset;
  return s;
}
}  // namespace

const char* TDrumKit::DefaultFolder() {
  return "/usr/share/hydrogen/data/drumkits/GMRockKit";
}

TDrumKit::TDrumKit(const std::string& folder) {
  for (size_t piece = 0; piece < 4; ++piece) {
    for (size_t layer = 0; layer < kLayers; ++layer) {
      const std::string path =
          folder + "/" + kPieceNames[piece] + "-" + kLayerNames[layer] + ".wav";
      samples_[piece][layer] = Load(path, rate_);
    }
  }
}
