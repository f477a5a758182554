#include "RealDevices.h"

#include "platform/jack/JackClient.h"
#include "platform/jack/JackMidiOutService.h"
#include "platform/jack/JackSoundService.h"
#include "platform/jack/JackWaveIn.h"
#include "platform/jack/JackWaveOut.h"
#include "platform/rt/RtMidiOutService.h"
#include "platform/rt/RtServerMonitor.h"
#include "platform/rt/RtSoundService.h"
#include "platform/rt/RtWaveIn.h"
#include "platform/rt/RtWaveOut.h"

TRealServices::TRealServices() : jack_(std::make_unique<TJackClient>("Tocsin")) {
  if (jack_->Ok()) {
    wave_in_ = std::make_unique<TJackWaveIn>(*jack_);
    wave_out_ = std::make_unique<TJackWaveOut>(*jack_);
    midi_out_ = std::make_unique<TJackMidiOutService>(*jack_);
    sound_ = std::make_unique<TJackSoundService>(*jack_);
    return;
  }
  // No JACK server answers: the desktop's sound system (PulseAudio, ALSA, the ALSA sequencer).
  jack_.reset();
  server_ = std::make_unique<TRtServerMonitor>();
  wave_in_ = std::make_unique<TRtWaveIn>();
  wave_out_ = std::make_unique<TRtWaveOut>();
  midi_out_ = std::make_unique<TRtMidiOutService>("Tocsin");
  sound_ = std::make_unique<TRtSoundService>();
}

TRealServices::~TRealServices() {
  // The services detach from the client before it closes.
  sound_.reset();
  midi_out_.reset();
  wave_out_.reset();
  wave_in_.reset();
  jack_.reset();
  server_.reset();
}

TWindowBackends TRealServices::Backends() {
  TWindowBackends b;
  b.WaveIn = wave_in_.get();
  b.WaveOut = wave_out_.get();
  b.MidiOut = midi_out_.get();
  b.Sound = sound_.get();
  b.Server = jack_ ? static_cast<IServerMonitor*>(jack_.get()) : server_.get();
  return b;
}

std::string TRealServices::RenamedJackClient() {
  return jack_ && jack_->Renamed() ? jack_->ClientName() : std::string();
}
