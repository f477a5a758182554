// The program's own back-ends: the system's MIDI ports, sound service and audio devices, and
// the watch on the audio server they run on.
#pragma once

#include <memory>

#include "WindowDevices.h"

class IMidiOutService;
class IServerMonitor;
class ISoundService;
class IWaveIn;
class IWaveOut;

// The services live as long as this object; the window built on them must die first.
class TRealServices {
 public:
  TRealServices();
  ~TRealServices();
  // The chains over the services, handed over to the window.
  TWindowBackends Backends();

 private:
  // First in, last out: the others may still learn of a server loss while they close.
  std::unique_ptr<IServerMonitor> server_;
  std::unique_ptr<IWaveIn> wave_in_;
  std::unique_ptr<IWaveOut> wave_out_;
  std::unique_ptr<IMidiOutService> midi_out_;
  std::unique_ptr<ISoundService> sound_;
};
