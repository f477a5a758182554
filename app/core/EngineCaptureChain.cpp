#include "EngineCaptureChain.h"

TEngineCaptureChain::TEngineCaptureChain(IWaveIn& wave_in, IMainThreadDispatcher& dispatcher)
    : ALAudioIn1(wave_in), ALGenericFilter1(dispatcher), ALPPMMeter1(dispatcher) {
  // The handler runs inside the dispatch on the wave thread: no hand-over, no waiting.
  ALGenericFilter1.SetSynchronizeType(stNone);
  ALGenericFilter1.SetEnabled(false);
  ALAudioIn1.OutputPin().Connect(ALGenericFilter1.InputPin());
  // The meter is on the capture's output as in the window's design, but nothing in the window
  // shows its values: its value event stays empty, so a block dispatched in an audio server's
  // cycle leaves it out instead of posting it to the wave thread.
  ALPPMMeter1.SetCountChannels(2);
  ALAudioIn1.OutputPin().Connect(ALPPMMeter1.InputPin());
}

TEngineCaptureChain::~TEngineCaptureChain() {
  try {
    ALGenericFilter1.SetEnabled(false);
    ALAudioIn1.SetEnabled(false);
  } catch (...) {
  }
}

std::vector<std::string> TEngineCaptureChain::DeviceNames() {
  std::vector<std::string> names;
  ALAudioIn1.Device().GetDeviceNames(names);
  return names;
}

void TEngineCaptureChain::SetDeviceName(const std::string& name) {
  ALAudioIn1.Device().SetDeviceName(name);
}

std::string TEngineCaptureChain::DeviceName() const {
  return device_.DeviceName();
}

void TEngineCaptureChain::SetChannels(uint32_t channels) {
  ALAudioIn1.AudioFormat().SetChannels(channels);
}
void TEngineCaptureChain::SetBits(uint32_t bits) { ALAudioIn1.AudioFormat().SetBits(bits); }
void TEngineCaptureChain::SetBufferSize(uint32_t frames) {
  ALAudioIn1.AudioFormat().SetBufferSize(frames);
}
void TEngineCaptureChain::SetSampleRate(uint32_t rate) {
  ALAudioIn1.AudioFormat().SetSampleRate(rate);
}
void TEngineCaptureChain::SetCaptureEnabled(bool enabled) { ALAudioIn1.SetEnabled(enabled); }
void TEngineCaptureChain::SetFilterEnabled(bool enabled) { ALGenericFilter1.SetEnabled(enabled); }

void TEngineCaptureChain::SetBlockHandler(std::function<void(const IALAudioBufferPtr&)> handler) {
  ALGenericFilter1.SetOnProcessData(
      [handler = std::move(handler)](TALGenericFilter&, const IALAudioBufferPtr& in,
                                     IALAudioBufferPtr&, bool&) { handler(in); });
}
