#include "ALAudioOutDevice.h"

#include <algorithm>
#include <cctype>

namespace {
bool IsDefault(const std::string& name) {
  std::string upper = name;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return upper == "DEFAULT";
}

int Find(const std::vector<std::string>& names, const std::string& name) {
  auto it = std::find(names.begin(), names.end(), name);
  return it == names.end() ? -2 : static_cast<int>(it - names.begin());
}
}  // namespace

TALAudioOutDeviceItem& TALAudioOutDeviceItems::Add() {
  std::vector<std::string> candidates = wave_out_.DeviceNames();
  if (candidates.empty()) candidates.push_back("Default");
  std::string best = candidates.front();
  size_t best_count = SIZE_MAX;
  for (const auto& name : candidates) {
    const size_t count = static_cast<size_t>(std::count_if(
        items_.begin(), items_.end(), [&](const auto& item) { return item.DeviceName() == name; }));
    if (count < best_count) {
      best = name;
      best_count = count;
    }
  }
  items_.emplace_back(best);
  return items_.back();
}

void TALAudioOutDeviceItems::Delete(size_t index) {
  if (index < items_.size()) items_.erase(items_.begin() + static_cast<ptrdiff_t>(index));
}

TALAudioOutDevice::TALAudioOutDevice(IWaveOut& wave_out)
    : wave_out_(wave_out), alternatives_(wave_out) {}

TALAudioOutDevice& TALAudioOutDevice::operator=(const TALAudioOutDevice& other) {
  if (this == &other) return *this;
  name_ = other.name_;
  alternatives_.Clear();
  for (size_t i = 0; i < other.alternatives_.Count(); ++i)
    alternatives_.Add().SetDeviceName(other.alternatives_.Item(i).DeviceName());
  return *this;
}

void TALAudioOutDevice::GetDeviceNames(std::vector<std::string>& list) const {
  for (const auto& name : wave_out_.DeviceNames()) list.push_back(name.substr(0, 32));
}

int TALAudioOutDevice::ResolveDeviceID() const {
  if (IsDefault(name_)) return kWaveOutDefault;
  const std::vector<std::string> names = wave_out_.DeviceNames();
  if (int id = Find(names, name_); id >= 0) return id;
  for (size_t i = 0; i < alternatives_.Count(); ++i) {
    const std::string& alt = alternatives_.Item(i).DeviceName();
    if (IsDefault(alt)) return kWaveOutDefault;
    if (int id = Find(names, alt); id >= 0) return id;
  }
  return kWaveOutDefault;
}
