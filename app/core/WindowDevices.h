// The devices of the main window's design as the window drives them: the capture chain
// (capture device feeding the processing filter), the audio output component, the MIDI output
// and the two sound slots. The window's logic speaks only to these; each is built over the
// engine, MIDI and sound components on whichever back-ends the program or a test chose.
// Every operation may throw; the window decides which errors it swallows.
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

// MyMidi.Output and the note sending. Port operations on the UI thread; NoteOn and NoteOff on
// the capture thread, never waiting for the UI.
class IMidiPort {
 public:
  virtual ~IMidiPort() = default;
  // The output ports' product names in port-number order.
  virtual std::vector<std::string> PortNames() = 0;
  // Throws when no port has that name.
  virtual void SelectPort(const std::string& name) = 0;
  virtual void Open() = 0;   // throws with the platform's text when the port cannot be opened
  virtual void Close() = 0;
  // The close query frees the output object; afterwards every operation does nothing.
  virtual void Free() = 0;
  virtual void NoteOn(int channel, int velocity) = 0;
  virtual void NoteOff(int channel) = 0;
};

// The two channels' sounds (Sounds[n]). TriggerSound on the capture thread, the rest on the UI
// thread.
class ISoundSlots {
 public:
  virtual ~ISoundSlots() = default;
  virtual void TriggerSound(int channel, double volume) = 0;
  virtual void StopChannelSound(int channel) = 0;
};

// What the window is built with. A missing device is simply absent from the window's work.
struct TWindowDevices {
  std::unique_ptr<ICaptureChain> Capture;
  std::unique_ptr<IAudioOutputDevice> Output;
  std::unique_ptr<IMidiPort> Midi;
  std::unique_ptr<ISoundSlots> Sounds;
};
