// What the window says about the sound system its devices run on: which one (JACK, PulseAudio,
// ALSA, none), the rate it runs at and its period, for the status bar and for the capture rate a
// first start takes (a capture at another rate is converted from it). Back-ends: the program's real services (app/RealDevices) and tests' fakes.
// UI thread; a call may ask the server, never waits for a dead one.
#pragma once

#include <cstdint>
#include <string>

struct TAudioSystemInfo {
  std::string Name;         // "JACK", "PulseAudio", "ALSA"; empty: no sound system answered
  uint32_t SampleRate = 0;  // the server's rate (or the default input's own); 0 when unknown
  uint32_t Period = 0;      // frames per server cycle; 0 for systems without one
};

class IAudioSystemInfo {
 public:
  virtual ~IAudioSystemInfo() = default;
  virtual TAudioSystemInfo AudioSystem() = 0;
};
