// Wave input on RtAudio: the first of JACK, PulseAudio and ALSA that lists input devices. Whatever
// period the server runs at, the device hands back whole blocks in the requested PCM format; when
// the server's rate is fixed and differs from the requested one (JACK, PipeWire through JACK),
// the stream is captured at the server's rate and converted with libsamplerate.
#pragma once

#include <rtaudio/RtAudio.h>

#include <string>
#include <vector>

#include "platform/WaveIn.h"

class TRtWaveIn final : public IWaveIn {
 public:
  // Picks the first API with input devices (JACK is found through JACK_DEFAULT_SERVER).
  TRtWaveIn();
  explicit TRtWaveIn(RtAudio::Api api) : api_(api) {}

  RtAudio::Api Api() const { return api_; }
  std::vector<std::string> DeviceNames() override;
  std::unique_ptr<IWaveInDevice> Open(int device, const TWaveInFormat& format,
                                      TWaveInCallback callback) override;
  void SetCaptureTap(ICaptureTap* tap) override { tap_ = tap; }

  // Names cut to 32 characters and made distinct, as listed to the user; exposed for tests.
  static std::vector<std::string> ListNames(const std::vector<std::string>& raw);

 private:
  struct TInput {
    unsigned id;
    std::string name;
  };
  std::vector<TInput> Inputs();

  RtAudio::Api api_ = RtAudio::UNSPECIFIED;
  ICaptureTap* tap_ = nullptr;
};
