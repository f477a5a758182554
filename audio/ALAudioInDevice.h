// Which input device a capture component opens: a device name ("Default" for the system's
// default input) and an ordered list of fallbacks, resolved against the back-end at each open.
#pragma once

#include <string>
#include <vector>

#include "platform/WaveIn.h"

class TALAudioCaptureDeviceItem {
 public:
  explicit TALAudioCaptureDeviceItem(std::string name) : name_(std::move(name)) {}
  const std::string& DeviceName() const { return name_; }
  void SetDeviceName(std::string name) { name_ = std::move(name); }

 private:
  std::string name_;
};

class TALAudioCaptureDeviceItems {
 public:
  explicit TALAudioCaptureDeviceItems(IWaveIn& wave_in) : wave_in_(wave_in) {}
  // A new last item, preset to the present device that the existing items name least often
  // (the first such in device order), or "Default" when no device is present.
  TALAudioCaptureDeviceItem& Add();
  size_t Count() const { return items_.size(); }
  TALAudioCaptureDeviceItem& Item(size_t index) { return items_.at(index); }
  const TALAudioCaptureDeviceItem& Item(size_t index) const { return items_.at(index); }
  void Delete(size_t index);
  void Clear() { items_.clear(); }

 private:
  IWaveIn& wave_in_;
  std::vector<TALAudioCaptureDeviceItem> items_;
};

class TALAudioCaptureDevice {
 public:
  explicit TALAudioCaptureDevice(IWaveIn& wave_in);

  const std::string& DeviceName() const { return name_; }
  void SetDeviceName(std::string name) { name_ = std::move(name); }
  TALAudioCaptureDeviceItems& AlternativeDevices() { return alternatives_; }
  const TALAudioCaptureDeviceItems& AlternativeDevices() const { return alternatives_; }

  // Appends every input device's name, in device order.
  void GetDeviceNames(std::vector<std::string>& list) const;
  // The choices offered to the user: "Default" then every device name; empty with no device.
  std::vector<std::string> ChoiceList() const;
  // The device number to open: kWaveInDefault for "Default" (any case), else the first device
  // named exactly so, else the first fallback that resolves, else the default input.
  int ResolveDeviceNumber() const;

 private:
  IWaveIn& wave_in_;
  std::string name_ = "Default";
  TALAudioCaptureDeviceItems alternatives_;
};
