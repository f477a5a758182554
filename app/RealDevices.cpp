#include "RealDevices.h"

#include <alsa/asoundlib.h>
#include <rtaudio/RtAudio.h>

#include <cstdarg>

#include "platform/jack/JackClient.h"
#include "platform/jack/JackMidiOutService.h"
#include "platform/jack/JackSoundService.h"
#include "platform/jack/JackWaveIn.h"
#include "platform/jack/JackWaveOut.h"
#include "platform/rt/DeadServerRelease.h"
#include "platform/rt/RtMidiOutService.h"
#include "platform/rt/RtServerMonitor.h"
#include "platform/rt/RtSoundService.h"
#include "platform/rt/RtWaveIn.h"
#include "platform/rt/RtWaveOut.h"

namespace {
// libasound tells every failed look for a card on standard error, some forty lines on a machine
// without one; the window says what matters in its status bar.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

std::string ApiName(RtAudio::Api api) {
  switch (api) {
    case RtAudio::LINUX_PULSE:
      return "PulseAudio";
    case RtAudio::LINUX_ALSA:
      return "ALSA";
    case RtAudio::UNIX_JACK:
      return "JACK";
    default:
      return RtAudio::getApiDisplayName(api);
  }
}
}  // namespace

TRealServices::TRealServices(const std::string& client_name) : client_name_(client_name) {
  snd_lib_error_set_handler(&QuietAlsa);
  // RtAudio and RtMidi print their failures to probe a missing server on std::cerr before they
  // report them to us.
  SilenceRtAudioNotices();
  jack_ = std::make_unique<TJackClient>(client_name_);
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
  midi_out_ = std::make_unique<TRtMidiOutService>(client_name_);
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
  b.System = this;
  return b;
}

std::string TRealServices::ClientName() {
  if (jack_) {
    const std::string name = jack_->ClientName();
    if (!name.empty()) return name;
  }
  return client_name_;
}

TAudioSystemInfo TRealServices::AudioSystem() {
  TAudioSystemInfo info;
  if (jack_) {
    info.Name = "JACK";
    info.SampleRate = jack_->SampleRate();
    info.Period = jack_->BufferSize();
    return info;
  }
  auto* in = static_cast<TRtWaveIn*>(wave_in_.get());
  const bool inputs = !wave_in_->DeviceNames().empty();
  if (!inputs && wave_out_->DeviceNames().empty()) return info;  // no sound system at all
  info.Name = ApiName(in->Api());
  try {
    RtAudio audio(in->Api());
    audio.showWarnings(false);
    if (inputs && audio.getDeviceCount() > 0) {
      const RtAudio::DeviceInfo device = audio.getDeviceInfo(audio.getDefaultInputDevice());
      if (device.probed && device.inputChannels > 0) info.SampleRate = device.preferredSampleRate;
    }
  } catch (const std::exception&) {
    // the rate stays unknown
  }
  return info;
}
