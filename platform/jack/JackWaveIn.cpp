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

std::vector<std::string> JackInputClients(const std::vector<std::string>& outputs,
                                          const std::vector<std::string>& physical) {
  std::vector<std::string> clients = JackClientsOf(outputs);
  const std::string alias = JackDefaultInputAlias(outputs, physical);
  // (The two lists come from two looks at a changing graph: the alias may be gone already.)
  if (auto it = std::find(clients.begin(), clients.end(), alias); !alias.empty() &&
                                                                   it != clients.end()) {
    clients.erase(it);
  }
  return clients;
}

std::string JackDefaultInputAlias(const std::vector<std::string>& outputs,
                                  const std::vector<std::string>& physical) {
  const std::vector<std::string> owners = JackClientsOf(physical);
  if (owners.size() != 1) return {};
  // Only when that client has nothing but the physical capture: any other output of its own
  // would be lost with its entry.
  const auto of_owner = std::count_if(outputs.begin(), outputs.end(), [&](const std::string& p) {
    return JackClientOfPort(p) == owners[0];
  });
  return of_owner == static_cast<long>(physical.size()) ? owners[0] : std::string();
}

std::vector<std::string> TJackWaveIn::Clients() {
  return JackInputClients(client_.Ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput),
                          client_.Ports(JACK_DEFAULT_AUDIO_TYPE,
                                        JackPortIsOutput | JackPortIsPhysical));
}

std::string TJackWaveIn::DefaultDeviceAlias() {
  return JackDefaultInputAlias(
      client_.Ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput),
      client_.Ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput | JackPortIsPhysical));
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
