// The program's own back-ends: the system's MIDI ports, sound service and audio devices. When a
// JACK server answers they all run on one JACK client of our own; otherwise on RtAudio/RtMidi,
// watched by a server monitor of their own. Also what the status bar says of that sound system.
// UI thread.
#pragma once

#include <memory>
#include <string>

#include "WindowDevices.h"
#include "platform/AudioSystemInfo.h"

class IMidiOutService;
class IServerMonitor;
class ISoundService;
class IWaveIn;
class IWaveOut;
class TJackClient;

// The services live as long as this object; the window built on them must die first.
class TRealServices final : public IAudioSystemInfo {
 public:
  // client_name: the JACK client's (and the ALSA sequencer client's) name.
  explicit TRealServices(const std::string& client_name = "Tocsin");
  ~TRealServices() override;
  // The chains over the services, handed over to the window.
  TWindowBackends Backends();
  // The name the sound system knows this instance by: the JACK client's, or the name asked for.
  std::string ClientName();

  TAudioSystemInfo AudioSystem() override;

 private:
  std::string client_name_;
  std::unique_ptr<TJackClient> jack_;
  // RtAudio/RtMidi only. Last out: the others may still learn of a server loss while they close.
  std::unique_ptr<IServerMonitor> server_;
  std::unique_ptr<IWaveIn> wave_in_;
  std::unique_ptr<IWaveOut> wave_out_;
  std::unique_ptr<IMidiOutService> midi_out_;
  std::unique_ptr<ISoundService> sound_;
};
