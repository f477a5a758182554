// Wave output on RtAudio: the first of JACK, PulseAudio and ALSA that lists output devices (as
// for capture), its devices by name, its default output for kWaveOutDefault, and libsamplerate
// conversion when the device runs at a fixed rate other than the stream's (a JACK server's).
#pragma once

#include <string>

#include "platform/WaveOut.h"

class TRtWaveOut final : public IWaveOut {
 public:
  // api names an RtAudio API ("jack", "pulse", "alsa"); empty picks the first of those three
  // that lists an output device (JACK is found through JACK_DEFAULT_SERVER).
  explicit TRtWaveOut(std::string api = {});
  const std::string& Api() const { return api_; }

  std::vector<std::string> DeviceNames() override;
  std::unique_ptr<IWaveOutDevice> Open(int device, const TWaveOutFormat& format,
                                       TWaveOutCallback callback) override;

 private:
  std::string api_;
};
