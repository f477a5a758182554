// What the main window is built on: the capture chain (capture device feeding the processing
// filter) and the audio output component as the window drives them, and the platform services
// its MIDI output and sounds use. Every operation may throw; the window decides which errors it
// swallows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/ALAudioBuffer.h"

// ALAudioIn1 with ALGenericFilter1 on its output pin. UI thread, except the block handler.
class ICaptureChain {
 public:
  virtual ~ICaptureChain() = default;
  // The system's input device names in device-number order ("Default" not included).
  virtual std::vector<std::string> DeviceNames() = 0;
  virtual void SetDeviceName(const std::string& name) = 0;
  virtual std::string DeviceName() const = 0;
  // The capture format; each setter hands the value to the format, which applies its limits.
  virtual void SetChannels(uint32_t channels) = 0;
  virtual void SetBits(uint32_t bits) = 0;
  virtual void SetBufferSize(uint32_t frames) = 0;
  virtual void SetSampleRate(uint32_t rate) = 0;
  virtual void SetCaptureEnabled(bool enabled) = 0;
  virtual void SetFilterEnabled(bool enabled) = 0;
  // The filter's processing event, called on the capture thread for every block while the
  // filter is enabled. Set once, before the first enable.
  virtual void SetBlockHandler(std::function<void(const IALAudioBufferPtr&)> handler) = 0;
};

// ALAudioOut1. UI thread.
class IAudioOutputDevice {
 public:
  virtual ~IAudioOutputDevice() = default;
  virtual std::vector<std::string> DeviceNames() = 0;
  virtual void SetDeviceName(const std::string& name) = 0;
  virtual std::string DeviceName() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
};

class IMidiOutService;
class IAudioSystemInfo;
class IServerMonitor;
class ISoundService;
class IWaveIn;
class IWaveOut;

// What the window is built on: the platform's services (the program's real ones, or virtual
// ones in tests) and the audio chains over them. A missing one is simply absent from the
// window's work: its list stays empty and its light dark.
struct TWindowBackends {
  IWaveIn* WaveIn = nullptr;  // ALAudioIn1 captures from it
  // The capture chain; when none is given the window builds its own on WaveIn.
  std::unique_ptr<ICaptureChain> Capture;
  IWaveOut* WaveOut = nullptr;  // ALAudioOut1 plays on it
  // The audio output; when none is given the window builds its own on WaveOut.
  std::unique_ptr<IAudioOutputDevice> Output;
  IMidiOutService* MidiOut = nullptr;  // MyMidi.Output's ports
  ISoundService* Sound = nullptr;      // VrWave0 and VrWave1 play through it
  IServerMonitor* Server = nullptr;    // tells when the audio server is lost and back
  IAudioSystemInfo* System = nullptr;  // which sound system, its rate and period
};
