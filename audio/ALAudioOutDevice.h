// Which output device an audio output opens: a device name ("Default" for the default output)
// and an ordered list of fallbacks, resolved against the back-end at each open.
#pragma once

#include <string>
#include <vector>

#include "platform/WaveOut.h"

class TALAudioOutDeviceItem {
 public:
  explicit TALAudioOutDeviceItem(std::string name) : name_(std::move(name)) {}
  const std::string& DeviceName() const { return name_; }
  void SetDeviceName(std::string name) { name_ = std::move(name); }

 private:
  std::string name_;
};

class TALAudioOutDeviceItems {
 public:
  explicit TALAudioOutDeviceItems(IWaveOut& wave_out) : wave_out_(wave_out) {}
  // A new last item, preset to the device name (or "Default") that the existing items name least
  // often, the first in device order on a tie.
  TALAudioOutDeviceItem& Add();
  size_t Count() const { return items_.size(); }
  TALAudioOutDeviceItem& Item(size_t index) { return items_.at(index); }
  const TALAudioOutDeviceItem& Item(size_t index) const { return items_.at(index); }
  void Delete(size_t index);
  void Clear() { items_.clear(); }

 private:
  IWaveOut& wave_out_;
  std::vector<TALAudioOutDeviceItem> items_;
};

class TALAudioOutDevice {
 public:
  explicit TALAudioOutDevice(IWaveOut& wave_out);
  // Copies the name and the fallbacks.
  TALAudioOutDevice& operator=(const TALAudioOutDevice& other);

  const std::string& DeviceName() const { return name_; }
  void SetDeviceName(std::string name) { name_ = std::move(name); }
  TALAudioOutDeviceItems& AlternativeDevices() { return alternatives_; }
  const TALAudioOutDeviceItems& AlternativeDevices() const { return alternatives_; }

  // Appends every output device's name (at most 32 characters), in device order.
  void GetDeviceNames(std::vector<std::string>& list) const;
  // kWaveOutDefault for "Default" (any case); else the first device named exactly so; else the
  // first fallback that resolves ("Default" ends the search); else kWaveOutDefault.
  int ResolveDeviceID() const;

 private:
  IWaveOut& wave_out_;
  std::string name_ = "Default";
  TALAudioOutDeviceItems alternatives_;
};
