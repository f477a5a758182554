// A progress bar on standard error for long renders: drawn only on a terminal, redrawn only when
// the shown percentage changes, cleared at the end.
#pragma once

#include <cstdint>
#include <string>

class TProgressBar {
 public:
  // Shown when standard error is a terminal and `total` frames last longer than `min_seconds`.
  TProgressBar(std::string label, uint64_t total_frames, uint32_t sample_rate,
               double min_seconds = 5.0);
  void Update(uint64_t frames_done);
  void Clear();

 private:
  std::string label_;
  uint64_t total_;
  bool shown_;
  int last_percent_ = -1;
};
