#include "ALAudioInDevice.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace {
bool IsDefault(const std::string& name) {
  static const char kDefault[] = "DEFAULT";
  if (name.size() != sizeof kDefault - 1) return false;
  for (size_t i = 0; i < name.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(name[i])) != kDefault[i]) return false;
  return true;
}

int FindExact(const std::vector<std::string>& names, const std::string& name) {
  auto it = std::find(names.begin(), names.end(), name);
  return it == names.end() ? -2 : static_cast<int>(it - names.begin());
}
}  // namespace

TALAudioCaptureDeviceItem& TALAudioCaptureDeviceItems::Add() {
  const auto names = wave_in_.DeviceNames();
  std::string preset = "Default";
  size_t least = SIZE_MAX;
  for (const auto& name : names) {
    const size_t uses = static_cast<size_t>(std::count_if(
        items_.begin(), items_.end(), [&](const auto& item) { return item.DeviceName() == name; }));
    if (uses < least) {
      least = uses;
      preset = name;
    }
  }
  items_.emplace_back(preset);
  return items_.back();
}

void TALAudioCaptureDeviceItems::Delete(size_t index) {
  if (index < items_.size()) items_.erase(items_.begin() + static_cast<ptrdiff_t>(index));
}

TALAudioCaptureDevice::TALAudioCaptureDevice(IWaveIn& wave_in)
    : wave_in_(wave_in), alternatives_(wave_in) {}

void TALAudioCaptureDevice::GetDeviceNames(std::vector<std::string>& list) const {
  for (auto& name : wave_in_.DeviceNames()) list.push_back(std::move(name));
}

std::vector<std::string> TALAudioCaptureDevice::ChoiceList() const {
  std::vector<std::string> list;
  GetDeviceNames(list);
  if (!list.empty()) list.insert(list.begin(), "Default");
  return list;
}

int TALAudioCaptureDevice::ResolveDeviceNumber() const {
  if (IsDefault(name_)) return kWaveInDefault;
  const auto names = wave_in_.DeviceNames();
  if (int found = FindExact(names, name_); found >= 0) return found;
  for (size_t i = 0; i < alternatives_.Count(); ++i) {
    const auto& name = alternatives_.Item(i).DeviceName();
    if (IsDefault(name)) return kWaveInDefault;
    if (int found = FindExact(names, name); found >= 0) return found;
  }
  return kWaveInDefault;
}
