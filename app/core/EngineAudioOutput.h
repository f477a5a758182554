// The window's audio output on the audio engine: ALWavePlayer1 (never given a file, so it stays
// idle) feeding ALAudioOut1 on a wave-output back-end. Start and Stop switch ALAudioOut1's
// Enabled; the chosen device takes effect at the next open. UI thread.
#pragma once

#include "WindowDevices.h"
#include "audio/ALAudioOut.h"
#include "audio/ALWavePlayer.h"

class TEngineAudioOutput final : public IAudioOutputDevice {
 public:
  TEngineAudioOutput(IWaveOut& wave_out, IMainThreadDispatcher& dispatcher);
  ~TEngineAudioOutput() override;

  std::vector<std::string> DeviceNames() override;
  void SetDeviceName(const std::string& name) override;
  std::string DeviceName() const override;
  void SetEnabled(bool enabled) override;

  TALAudioOut& AudioOut() { return ALAudioOut1; }
  TALWavePlayer& Player() { return ALWavePlayer1; }

 private:
  TALAudioOut ALAudioOut1;
  TALWavePlayer ALWavePlayer1;
};
