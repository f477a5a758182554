#include "RealDevices.h"

#include <iostream>
#include <streambuf>

#include "platform/rt/RtMidiOutService.h"
#include "platform/rt/RtServerMonitor.h"
#include "platform/rt/RtSoundService.h"
#include "platform/rt/RtWaveIn.h"
#include "platform/rt/RtWaveOut.h"

namespace {
// RtAudio writes to std::cerr from JACK's notification thread when the server goes away, while a
// thread of its own closes the stream and cancels that very thread: cancelled inside the write,
// the process hangs or ends. The program prints nothing anyway, so nothing is written.
class TDiscard final : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void SilenceErrorStream() {
  static TDiscard discard;
  std::cerr.rdbuf(&discard);
}
}  // namespace

TRealServices::TRealServices()
    : server_(std::make_unique<TRtServerMonitor>()),
      wave_in_(std::make_unique<TRtWaveIn>()),
      wave_out_(std::make_unique<TRtWaveOut>()),
      midi_out_(std::make_unique<TRtMidiOutService>("Tocsin")),
      sound_(std::make_unique<TRtSoundService>()) {
  SilenceErrorStream();
}

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
