#include "HitSettingsSnapshot.h"

THitSettingsSnapshot::THitSettingsSnapshot() = default;

void THitSettingsSnapshot::Publish(const THitSettings& settings) {
  slots_[writing_] = settings;
  // The written slot becomes the newest; the publisher goes on with the one it replaces, which
  // the reader no longer holds (it only ever takes the newest).
  writing_ = newest_.exchange(writing_ | kFresh, std::memory_order_acq_rel) & ~kFresh & 3;
}

const THitSettings* THitSettingsSnapshot::Take() {
  if (!(newest_.load(std::memory_order_relaxed) & kFresh)) return nullptr;
  reading_ = newest_.exchange(reading_, std::memory_order_acq_rel) & ~kFresh & 3;
  return &slots_[reading_];
}
