// Recording devices for the window's tests: every switch lands in one shared log, in call order,
// so tests see the order of steps across devices. The capture chain hands blocks to the window's
// block handler on whatever thread the test delivers them from.
#pragma once

#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "AppState.h"
#include "WindowDevices.h"

struct TDeviceLog {
  std::mutex mutex;
  std::vector<std::string> entries;
  void Add(const std::string& e) {
    std::lock_guard l(mutex);
    entries.push_back(e);
  }
  std::vector<std::string> Take() {
    std::lock_guard l(mutex);
    auto out = std::move(entries);
    entries.clear();
    return out;
  }
  std::vector<std::string> Get() {
    std::lock_guard l(mutex);
    return entries;
  }
};

class TFakeCaptureChain final : public ICaptureChain {
 public:
  TFakeCaptureChain(TDeviceLog& log, std::vector<std::string> names)
      : log_(log), names_(std::move(names)) {}
  std::vector<std::string> DeviceNames() override { return names_; }
  void SetDeviceName(const std::string& name) override { name_ = name; }
  std::string DeviceName() const override { return name_; }
  void SetChannels(uint32_t v) override { log_.Add("channels " + std::to_string(v)); }
  void SetBits(uint32_t v) override { log_.Add("bits " + std::to_string(v)); }
  void SetBufferSize(uint32_t v) override { log_.Add("buffer " + std::to_string(v)); }
  void SetSampleRate(uint32_t v) override { log_.Add("rate " + std::to_string(v)); }
  void SetCaptureEnabled(bool on) override {
    log_.Add(on ? "capture on" : "capture off");
    capture_on_ = on;
  }
  void SetFilterEnabled(bool on) override {
    log_.Add(on ? "filter on" : "filter off");
    filter_on_ = on;
  }
  void SetBlockHandler(std::function<void(const IALAudioBufferPtr&)> h) override {
    handler_ = std::move(h);
  }
  // As the capture thread would: the block reaches the handler only while the chain runs.
  void Deliver(const IALAudioBufferPtr& block) {
    if (capture_on_ && filter_on_ && handler_) handler_(block);
  }
  bool Running() const { return capture_on_ && filter_on_; }

 private:
  TDeviceLog& log_;
  std::vector<std::string> names_;
  std::string name_;
  std::atomic<bool> capture_on_{false}, filter_on_{false};
  std::function<void(const IALAudioBufferPtr&)> handler_;
};

class TFakeOutputDevice final : public IAudioOutputDevice {
 public:
  explicit TFakeOutputDevice(TDeviceLog& log) : log_(log) {}
  std::vector<std::string> DeviceNames() override { return {"Sortie 1"}; }
  void SetDeviceName(const std::string& name) override { name_ = name; }
  std::string DeviceName() const override { return name_; }
  void SetEnabled(bool on) override { log_.Add(on ? "output on" : "output off"); }

 private:
  TDeviceLog& log_;
  std::string name_;
};

class TFakeMidiPort final : public IMidiPort {
 public:
  TFakeMidiPort(TDeviceLog& log, std::vector<std::string> ports) : log_(log), ports_(std::move(ports)) {}
  std::vector<std::string> PortNames() override { return ports_; }
  void SelectPort(const std::string& name) override {
    for (const auto& p : ports_)
      if (p == name) {
        selected_ = name;
        return;
      }
    throw std::runtime_error("no such port");
  }
  void Open() override {
    if (!open_error_.empty()) throw std::runtime_error(open_error_);
    log_.Add("midi open " + selected_);
  }
  void Close() override { log_.Add("midi close"); }
  void Free() override { log_.Add("midi free"); }
  // Like the real sending: the channel's sounding flag changes before the send.
  void NoteOn(int channel, int velocity) override {
    MyMidi.NoteOn(channel) = true;
    log_.Add("noteon " + std::to_string(channel) + " " + std::to_string(velocity));
  }
  void NoteOff(int channel) override {
    MyMidi.NoteOn(channel) = false;
    log_.Add("noteoff " + std::to_string(channel));
  }

  std::string selected_;
  std::string open_error_;

 private:
  TDeviceLog& log_;
  std::vector<std::string> ports_;
};

class TFakeSoundSlots final : public ISoundSlots {
 public:
  explicit TFakeSoundSlots(TDeviceLog& log) : log_(log) {}
  void TriggerSound(int channel, double volume) override {
    log_.Add("sound " + std::to_string(channel) + " " + std::to_string(static_cast<int>(volume)));
  }
  void StopChannelSound(int channel) override { log_.Add("stop sound " + std::to_string(channel)); }

 private:
  TDeviceLog& log_;
};
