// Wave output on the program's JACK client: the devices are the JACK clients with audio inputs
// ("Default" is the physical playback); opening one connects our out_1/out_2 to its first two
// inputs, where the blocks play mixed with the triggered sounds.
#pragma once

#include "JackClient.h"
#include "platform/WaveOut.h"

class TJackWaveOut final : public IWaveOut {
 public:
  explicit TJackWaveOut(TJackClient& client) : client_(client) {}

  std::vector<std::string> DeviceNames() override;
  std::unique_ptr<IWaveOutDevice> Open(int device, const TWaveOutFormat& format,
                                       TWaveOutCallback callback) override;

 private:
  std::vector<std::string> Clients();

  TJackClient& client_;
};
