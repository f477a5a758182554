#include "RealDevices.h"

#include "platform/rt/RtMidiOutService.h"
#include "platform/rt/RtServerMonitor.h"
#include "platform/rt/RtSoundService.h"
#include "platform/rt/RtWaveIn.h"
#include "platform/rt/RtWaveOut.h"

TRealServices::TRealServices()
    : server_(std::make_unique<TRtServerMonitor>()),
      wave_in_(std::make_unique<TRtWaveIn>()),
      wave_out_(std::make_unique<TRtWaveOut>()),
      midi_out_(std::make_unique<TRtMidiOutService>("Tocsin")),
      sound_(std::make_unique<TRtSoundService>()) {}

TRealServices::~TRealServices() = default;

TWindowBackends TRealServices::Backends() {
  TWindowBackends b;
  b.WaveIn = wave_in_.get();
  b.WaveOut = wave_out_.get();
  b.MidiOut = midi_out_.get();
  b.Sound = sound_.get();
  b.Server = server_.get();
  return b;
}
