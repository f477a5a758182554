// Wave output on RtAudio: the API's output devices by name, the API's default output for
// kWaveOutDefault, and libsamplerate conversion when the device runs at a fixed rate other than
// the stream's (a JACK server's rate, for instance).
#pragma once

#include <string>

#include "platform/WaveOut.h"

class TRtWaveOut final : public IWaveOut {
 public:
  // api names an RtAudio API ("jack", "alsa", "pulse"); empty lets RtAudio pick the first one
  // that has devices.
  explicit TRtWaveOut(std::string api = {});

  std::vector<std::string> DeviceNames() override;
  std::unique_ptr<IWaveOutDevice> Open(int device, const TWaveOutFormat& format,
                                       TWaveOutCallback callback) override;

 private:
  std::string api_;
};
