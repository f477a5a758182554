#include "RtWaveOut.h"

#include <RtAudio.h>

#include <algorithm>

#include "RtWaveOutDevice.h"

namespace {
constexpr size_t kMaxNameLength = 32;

std::unique_ptr<RtAudio> MakeRtAudio(const std::string& api) {
  auto id = api.empty() ? RtAudio::UNSPECIFIED : RtAudio::getCompiledApiByName(api);
  auto rt = std::make_unique<RtAudio>(id);
  rt->showWarnings(false);
  return rt;
}

struct TOutputDevice {
  unsigned id;
  RtAudio::DeviceInfo info;
};

// Devices that can play, in the API's order.
std::vector<TOutputDevice> OutputDevices(RtAudio& rt) {
  std::vector<TOutputDevice> list;
  const unsigned count = rt.getDeviceCount();
  for (unsigned i = 0; i < count; ++i) {
    try {
      RtAudio::DeviceInfo info = rt.getDeviceInfo(i);
      if (info.probed && info.outputChannels > 0) list.push_back({i, std::move(info)});
    } catch (const std::exception&) {
      // A device that cannot be probed is not offered.
    }
  }
  return list;
}

// The stream's rate when the device offers it, else the device's own rate.
unsigned DeviceRate(const RtAudio::DeviceInfo& info, unsigned wanted) {
  const auto& rates = info.sampleRates;
  if (rates.empty() || std::find(rates.begin(), rates.end(), wanted) != rates.end()) return wanted;
  if (info.preferredSampleRate != 0) return info.preferredSampleRate;
  return rates.back();
}
}  // namespace

TRtWaveOut::TRtWaveOut(std::string api) : api_(std::move(api)) {
  if (!api_.empty()) return;
  std::vector<RtAudio::Api> compiled;
  RtAudio::getCompiledApi(compiled);
  for (const char* name : {"jack", "pulse", "alsa"}) {
    if (std::find(compiled.begin(), compiled.end(), RtAudio::getCompiledApiByName(name)) ==
        compiled.end())
      continue;
    api_ = name;
    if (!DeviceNames().empty()) return;
  }
}

std::vector<std::string> TRtWaveOut::DeviceNames() {
  std::vector<std::string> names;
  try {
    auto rt = MakeRtAudio(api_);
    for (const auto& device : OutputDevices(*rt)) {
      std::string name = device.info.name.substr(0, device.info.name.find('\0'));
      names.push_back(name.substr(0, kMaxNameLength));
    }
  } catch (const std::exception&) {
    // No usable API: no devices.
  }
  return names;
}

std::unique_ptr<IWaveOutDevice> TRtWaveOut::Open(int device, const TWaveOutFormat& format,
                                                 TWaveOutCallback callback) {
  if (format.channels == 0 || (format.bits != 8 && format.bits != 16) || format.sample_rate == 0)
    return nullptr;
  try {
    auto rt = MakeRtAudio(api_);
    const auto devices = OutputDevices(*rt);
    const TOutputDevice* chosen = nullptr;
    if (device == kWaveOutDefault) {
      const unsigned id = rt->getDefaultOutputDevice();
      for (const auto& d : devices)
        if (d.id == id) chosen = &d;
      if (!chosen && !devices.empty()) chosen = &devices.front();
    } else if (device >= 0 && static_cast<size_t>(device) < devices.size()) {
      chosen = &devices[static_cast<size_t>(device)];
    }
    if (!chosen || chosen->info.outputChannels < format.channels) return nullptr;
    const unsigned rate = DeviceRate(chosen->info, format.sample_rate);
    const unsigned id = chosen->id;
    return std::make_unique<TRtWaveOutDevice>(std::move(rt), id, rate, format, std::move(callback));
  } catch (const std::exception&) {
    return nullptr;
  }
}
