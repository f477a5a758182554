#include "JackWaveIn.h"

#include <algorithm>

#include "JackWaveInDevice.h"
#include "platform/rt/RtWaveIn.h"

std::string JackClientOfPort(const std::string& port) {
  return port.substr(0, port.find(':'));
}

std::vector<std::string> JackClientsOf(const std::vector<std::string>& ports) {
  std::vector<std::string> clients;
  for (const auto& port : ports) {
    std::string client = JackClientOfPort(port);
    if (std::find(clients.begin(), clients.end(), client) == clients.end())
      clients.push_back(std::move(client));
  }
  return clients;
}

std::vector<std::string> TJackWaveIn::Clients() {
  return JackClientsOf(client_.Ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput));
}

std::vector<std::string> TJackWaveIn::DeviceNames() {
  // Cut and told apart as the other back-end lists them, so settings keep their meaning.
  return TRtWaveIn::ListNames(Clients());
}

std::unique_ptr<IWaveInDevice> TJackWaveIn::Open(int device, const TWaveInFormat& format,
                                                 TWaveInCallback callback) {
  std::vector<std::string> sources;
  if (device == kWaveInDefault) {
    sources = client_.Ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput | JackPortIsPhysical);
  } else {
    const auto clients = Clients();
    if (device < 0 || static_cast<size_t>(device) >= clients.size()) return nullptr;
    const std::string prefix = clients[static_cast<size_t>(device)] + ":";
    for (auto& port : client_.Ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput))
      if (port.compare(0, prefix.size(), prefix) == 0) sources.push_back(std::move(port));
    if (sources.empty()) return nullptr;
  }
  auto opened =
      std::make_unique<TJackWaveInDevice>(client_, sources, format, std::move(callback), tap_);
  if (!opened->Ok()) return nullptr;
  return opened;
}
