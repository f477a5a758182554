// The part of a file a player plays: first and last frame, used only when Enabled. Values below
// 0 become 0, and the two ends never cross: moving one past the other drags the other along.
#pragma once

#include <cstdint>

class TALAudioPlayerSegment {
 public:
  int64_t StartSample() const { return start_; }
  int64_t StopSample() const { return stop_; }
  bool Enabled() const { return enabled_; }

  void SetStartSample(int64_t value) {
    start_ = value < 0 ? 0 : value;
    if (stop_ < start_) stop_ = start_;
  }
  void SetStopSample(int64_t value) {
    stop_ = value < 0 ? 0 : value;
    if (start_ > stop_) start_ = stop_;
  }
  void SetEnabled(bool value) { enabled_ = value; }

 private:
  int64_t start_ = 0;
  int64_t stop_ = 100;
  bool enabled_ = false;
};
