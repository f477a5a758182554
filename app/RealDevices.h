// The program's own back-ends: the system's MIDI ports, sound service and audio devices.
#pragma once

#include <memory>

#include "WindowDevices.h"

class IMidiOutService;
class ISoundService;
class IWaveIn;

// The services live as long as this object; the window built on them must die first.
class TRealServices {
 public:
  TRealServices();
  ~TRealServices();
  // The chains over the services, handed over to the window.
  TWindowBackends Backends();

 private:
  std::unique_ptr<IWaveIn> wave_in_;
  std::unique_ptr<IMidiOutService> midi_out_;
  std::unique_ptr<ISoundService> sound_;
};
