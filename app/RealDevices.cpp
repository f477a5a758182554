#include "RealDevices.h"

#include "platform/rt/RtMidiOutService.h"
#include "platform/rt/RtSoundService.h"
#include "platform/rt/RtWaveIn.h"

TRealServices::TRealServices()
    : wave_in_(std::make_unique<TRtWaveIn>()),
      midi_out_(std::make_unique<TRtMidiOutService>("Tocsin")),
      sound_(std::make_unique<TRtSoundService>()) {}

TRealServices::~TRealServices() = default;

TWindowBackends TRealServices::Backends() {
  TWindowBackends b;
  b.WaveIn = wave_in_.get();
  b.MidiOut = midi_out_.get();
  b.Sound = sound_.get();
  // The audio output component comes with its own part.
  return b;
}
