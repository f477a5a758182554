// The window's capture chain on the audio engine: ALAudioIn1 (capture on a wave-input back-end)
// with its output pin feeding ALGenericFilter1, whose processing runs the block handler directly
// on the capture's wave thread. UI thread, except the block handler.
#pragma once

#include "WindowDevices.h"
#include "audio/ALAudioIn.h"
#include "audio/ALGenericFilter.h"

class TEngineCaptureChain final : public ICaptureChain {
 public:
  TEngineCaptureChain(IWaveIn& wave_in, IMainThreadDispatcher& dispatcher);
  ~TEngineCaptureChain() override;

  std::vector<std::string> DeviceNames() override;
  void SetDeviceName(const std::string& name) override;
  std::string DeviceName() const override;
  void SetChannels(uint32_t channels) override;
  void SetBits(uint32_t bits) override;
  void SetBufferSize(uint32_t frames) override;
  void SetSampleRate(uint32_t rate) override;
  void SetCaptureEnabled(bool enabled) override;
  void SetFilterEnabled(bool enabled) override;
  void SetBlockHandler(std::function<void(const IALAudioBufferPtr&)> handler) override;

  TALAudioIn& AudioIn() { return ALAudioIn1; }
  TALGenericFilter& Filter() { return ALGenericFilter1; }

 private:
  TALAudioIn ALAudioIn1;
  TALGenericFilter ALGenericFilter1;
  TALAudioCaptureDevice& device_ = ALAudioIn1.Device();
};
