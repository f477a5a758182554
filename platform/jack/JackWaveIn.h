// Wave input on the program's JACK client: the devices are the JACK clients with audio outputs
// ("Default" is the physical capture, so the one client made of it, jackd's "system", is not
// listed a second time); opening one connects its first two outputs to our in_1 and in_2 and
// captures there.
#pragma once

#include "JackClient.h"
#include "platform/WaveIn.h"

class TJackWaveIn final : public IWaveIn {
 public:
  explicit TJackWaveIn(TJackClient& client) : client_(client) {}

  std::vector<std::string> DeviceNames() override;
  std::string DefaultDeviceAlias() override;
  std::unique_ptr<IWaveInDevice> Open(int device, const TWaveInFormat& format,
                                      TWaveInCallback callback) override;
  void SetCaptureTap(ICaptureTap* tap) override { tap_ = tap; }

 private:
  std::vector<std::string> Clients();  // names as JACK has them, in the server's order

  TJackClient& client_;
  ICaptureTap* tap_ = nullptr;
};

// The client part of a full port name ("system:capture_1" -> "system").
std::string JackClientOfPort(const std::string& port);
// The distinct client names among ports, in order of first appearance.
std::vector<std::string> JackClientsOf(const std::vector<std::string>& ports);
// The input devices among the clients owning `outputs` (every audio output port): all of them
// but JackDefaultInputAlias.
std::vector<std::string> JackInputClients(const std::vector<std::string>& outputs,
                                          const std::vector<std::string>& physical);
// The client that "Default" stands for when one client owns the physical capture ports and
// nothing else (jackd's "system"); empty otherwise (PipeWire's cards, say, have several).
std::string JackDefaultInputAlias(const std::vector<std::string>& outputs,
                                  const std::vector<std::string>& physical);
