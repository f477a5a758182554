#include "RealDevices.h"

#include "platform/rt/RtMidiOutService.h"
#include "platform/rt/RtSoundService.h"

TRealServices::TRealServices()
    : midi_out_(std::make_unique<TRtMidiOutService>("Tocsin")),
      sound_(std::make_unique<TRtSoundService>()) {}

TRealServices::~TRealServices() = default;

TWindowBackends TRealServices::Backends() {
  TWindowBackends b;
  b.MidiOut = midi_out_.get();
  b.Sound = sound_.get();
  // The capture and output chains come with the audio engine.
  return b;
}
