// Recording devices for the window's tests: every switch lands in one shared log, in call order,
// so tests see the order of steps across devices. The capture chain hands blocks to the window's
// block handler on whatever thread the test delivers them from; MIDI and sounds go through the
// virtual services.
#pragma once

#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "AppState.h"
#include "WindowDevices.h"
#include "platform/AudioSystemInfo.h"
#include "platform/WaveIn.h"
#include "platform/SteadyClock.h"
#include "platform/virtual/VirtualMidiOutService.h"
#include "platform/virtual/VirtualSoundService.h"

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
  // Other devices from now on, as when programs come and go on the server. UI thread.
  void SetDeviceNames(std::vector<std::string> names) { names_ = std::move(names); }
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
  // error: what switching on raises, after logging it; empty for none.
  explicit TFakeOutputDevice(TDeviceLog& log, std::string error = {})
      : log_(log), error_(std::move(error)) {}
  std::vector<std::string> DeviceNames() override { return {"Sortie 1"}; }
  void SetDeviceName(const std::string& name) override { name_ = name; }
  std::string DeviceName() const override { return name_; }
  void SetEnabled(bool on) override {
    log_.Add(on ? "output on" : "output off");
    if (on && !error_.empty()) throw std::runtime_error(error_);
  }

 private:
  TDeviceLog& log_;
  std::string name_;
  std::string error_;
};

// Wave input that only tells which device "Default" stands for (the window's capture chain is
// the fake one above).
class TAliasWaveIn final : public IWaveIn {
 public:
  std::vector<std::string> DeviceNames() override { return {}; }
  std::unique_ptr<IWaveInDevice> Open(int, const TWaveInFormat&, TWaveInCallback) override {
    return nullptr;
  }
  std::string DefaultDeviceAlias() override { return alias; }
  std::string alias;
};

// A sound system as the status bar sees it, told by the test.
class TFakeAudioSystem final : public IAudioSystemInfo {
 public:
  TAudioSystemInfo AudioSystem() override { return info; }
  TAudioSystemInfo info;
};

// The virtual MIDI service, with opening and closing written into the shared log.
class TLoggingMidiService final : public IMidiOutService {
 public:
  TLoggingMidiService(TDeviceLog& log, TVirtualMidiOutService& inner) : log_(log), inner_(inner) {}
  uint32_t GetNumDevs() override { return inner_.GetNumDevs(); }
  TMidiResult GetDevCaps(int32_t device, TMidiOutCaps& caps) override {
    return inner_.GetDevCaps(device, caps);
  }
  TMidiResult Open(TMidiOutHandle& handle, int32_t device, TMidiOutCallback callback,
                   void* context) override {
    const TMidiResult r = inner_.Open(handle, device, callback, context);
    TMidiOutCaps caps;
    inner_.GetDevCaps(device, caps);
    if (r == kMidiOk) log_.Add("midi open " + caps.ProductName);
    return r;
  }
  TMidiResult Close(TMidiOutHandle handle) override {
    log_.Add("midi close");
    return inner_.Close(handle);
  }
  TMidiResult ShortMsg(TMidiOutHandle handle, uint32_t message) override {
    return inner_.ShortMsg(handle, message);
  }
  TMidiResult PrepareHeader(TMidiOutHandle h, TMidiOutHeader& header) override {
    return inner_.PrepareHeader(h, header);
  }
  TMidiResult LongMsg(TMidiOutHandle h, TMidiOutHeader& header) override {
    return inner_.LongMsg(h, header);
  }
  TMidiResult UnprepareHeader(TMidiOutHandle h, TMidiOutHeader& header) override {
    return inner_.UnprepareHeader(h, header);
  }
  TMidiResult GetErrorText(TMidiResult code, std::string& text) override {
    return inner_.GetErrorText(code, text);
  }

 private:
  TDeviceLog& log_;
  TVirtualMidiOutService& inner_;
};

// The virtual sound service, with stops written into the shared log.
class TLoggingSoundService final : public ISoundService {
 public:
  TLoggingSoundService(TDeviceLog& log, TVirtualSoundService& inner) : log_(log), inner_(inner) {}
  void Play(TSoundImagePtr image, uint32_t flags) override { inner_.Play(std::move(image), flags); }
  void Stop() override {
    log_.Add("stop sound");
    inner_.Stop();
  }
  void Prepare(const std::vector<TSoundImagePtr>& images) override { inner_.Prepare(images); }

 private:
  TDeviceLog& log_;
  TVirtualSoundService& inner_;
};
