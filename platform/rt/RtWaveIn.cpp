#include "RtWaveIn.h"

#include <algorithm>

#include "RtWaveInDevice.h"

namespace {
constexpr size_t kMaxNameLength = 32;

std::vector<RtAudio::Api> Candidates() {
  std::vector<RtAudio::Api> compiled;
  RtAudio::getCompiledApi(compiled);
  std::vector<RtAudio::Api> order;
  for (auto api : {RtAudio::UNIX_JACK, RtAudio::LINUX_PULSE, RtAudio::LINUX_ALSA})
    if (std::find(compiled.begin(), compiled.end(), api) != compiled.end()) order.push_back(api);
  return order;
}
}  // namespace

TRtWaveIn::TRtWaveIn() {
  const auto candidates = Candidates();
  for (auto api : candidates) {
    api_ = api;
    if (!Inputs().empty()) return;
  }
  api_ = candidates.empty() ? RtAudio::UNSPECIFIED : candidates.back();
}

std::vector<TRtWaveIn::TInput> TRtWaveIn::Inputs() {
  std::vector<TInput> inputs;
  try {
    RtAudio audio(api_);
    audio.showWarnings(false);
    const unsigned count = audio.getDeviceCount();
    for (unsigned id = 0; id < count; ++id) {
      RtAudio::DeviceInfo info = audio.getDeviceInfo(id);
      if (info.probed && info.inputChannels > 0) inputs.push_back({id, info.name});
    }
  } catch (const std::exception&) {
    // No server, or the API cannot be used: no devices.
  }
  return inputs;
}

std::vector<std::string> TRtWaveIn::ListNames(const std::vector<std::string>& raw) {
  std::vector<std::string> names;
  for (const auto& original : raw) {
    std::string name = original.substr(0, kMaxNameLength);
    for (int n = 2; std::find(names.begin(), names.end(), name) != names.end(); ++n) {
      const std::string suffix = " #" + std::to_string(n);
      name = original.substr(0, kMaxNameLength - suffix.size()) + suffix;
    }
    names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::string> TRtWaveIn::DeviceNames() {
  std::vector<std::string> raw;
  for (const auto& input : Inputs()) raw.push_back(input.name);
  return ListNames(raw);
}

std::unique_ptr<IWaveInDevice> TRtWaveIn::Open(int device, const TWaveInFormat& format,
                                               TWaveInCallback callback) {
  unsigned id = 0;
  const auto inputs = Inputs();
  if (device == kWaveInDefault) {
    try {
      RtAudio audio(api_);
      audio.showWarnings(false);
      if (audio.getDeviceCount() == 0) return nullptr;
      id = audio.getDefaultInputDevice();
      // Some APIs (JACK) name the first device whatever it is: fall back to the first input.
      if (audio.getDeviceInfo(id).inputChannels == 0) {
        if (inputs.empty()) return nullptr;
        id = inputs.front().id;
      }
    } catch (const std::exception&) {
      return nullptr;
    }
  } else {
    if (device < 0 || device >= static_cast<int>(inputs.size())) return nullptr;
    id = inputs[static_cast<size_t>(device)].id;
  }
  auto opened = std::make_unique<TRtWaveInDevice>(api_, id, format, std::move(callback), tap_);
  if (!opened->Ok()) return nullptr;
  return opened;
}
