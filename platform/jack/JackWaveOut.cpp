#include "JackWaveOut.h"

#include "JackWaveIn.h"
#include "JackWaveOutDevice.h"

namespace {
constexpr size_t kMaxNameLength = 32;
}

std::vector<std::string> TJackWaveOut::Clients() {
  return JackClientsOf(client_.Ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput));
}

std::vector<std::string> TJackWaveOut::DeviceNames() {
  std::vector<std::string> names;
  for (const auto& name : Clients()) names.push_back(name.substr(0, kMaxNameLength));
  return names;
}

std::unique_ptr<IWaveOutDevice> TJackWaveOut::Open(int device, const TWaveOutFormat& format,
                                                   TWaveOutCallback callback) {
  if (format.channels == 0 || (format.bits != 8 && format.bits != 16) || format.sample_rate == 0)
    return nullptr;
  std::vector<std::string> destinations;
  if (device == kWaveOutDefault) {
    destinations = client_.Ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput | JackPortIsPhysical);
  } else {
    const auto clients = Clients();
    if (device < 0 || static_cast<size_t>(device) >= clients.size()) return nullptr;
    const std::string prefix = clients[static_cast<size_t>(device)] + ":";
    for (auto& port : client_.Ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput))
      if (port.compare(0, prefix.size(), prefix) == 0) destinations.push_back(std::move(port));
    if (destinations.empty()) return nullptr;
  }
  auto opened =
      std::make_unique<TJackWaveOutDevice>(client_, destinations, format, std::move(callback));
  if (!opened->Ok()) return nullptr;
  return opened;
}
