#include "EngineAudioOutput.h"

TEngineAudioOutput::TEngineAudioOutput(IWaveOut& wave_out, IMainThreadDispatcher& dispatcher)
    : ALAudioOut1(wave_out), ALWavePlayer1(dispatcher) {
  // The window's stored values: output off with priority 0, player off with no file.
  ALAudioOut1.SetEnabled(false);
  ALAudioOut1.SetPumpPriority(0);
  ALWavePlayer1.SetEnabled(false);
  ALWavePlayer1.SetPumpPriority(0);
  ALWavePlayer1.OutputPin().Connect(ALAudioOut1.InputPin());
}

TEngineAudioOutput::~TEngineAudioOutput() {
  try {
    ALAudioOut1.SetEnabled(false);
  } catch (...) {
  }
}

std::vector<std::string> TEngineAudioOutput::DeviceNames() {
  std::vector<std::string> names;
  ALAudioOut1.Device().GetDeviceNames(names);
  return names;
}

void TEngineAudioOutput::SetDeviceName(const std::string& name) {
  ALAudioOut1.Device().SetDeviceName(name);
}

std::string TEngineAudioOutput::DeviceName() const {
  return const_cast<TALAudioOut&>(ALAudioOut1).Device().DeviceName();
}

void TEngineAudioOutput::SetEnabled(bool enabled) { ALAudioOut1.SetEnabled(enabled); }
