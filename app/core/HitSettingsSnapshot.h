// The hit settings as the capture tap reads them: the UI thread publishes a whole new set
// whenever a control changes, the tap takes the newest set when there is one, and neither ever
// waits for the other (three copies: the one being written, the newest, the one being read).
// Publish: one thread at a time (the UI thread); Take: the capture tap's thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "hit/HitSettings.h"

class THitSettingsSnapshot {
 public:
  THitSettingsSnapshot();

  // A whole new set; the previous unread one, if any, is never seen.
  void Publish(const THitSettings& settings);
  // The newest set when one was published since the last call, else null. The set stays valid,
  // and unchanged, until the next call.
  const THitSettings* Take();
  // The set Take last returned (the first published, or the defaults, before any).
  const THitSettings& Current() const { return slots_[reading_]; }

 private:
  static constexpr uint8_t kFresh = 4;  // beside the index of the newest slot
  THitSettings slots_[3];
  uint8_t writing_ = 0;  // publisher only
  uint8_t reading_ = 1;  // reader only
  std::atomic<uint8_t> newest_{2};
  static_assert(std::atomic<uint8_t>::is_always_lock_free);
};
