#include "ProgressBar.h"

#include <unistd.h>

#include <cstdio>

TProgressBar::TProgressBar(std::string label, uint64_t total_frames, uint32_t sample_rate,
                           double min_seconds)
    : label_(std::move(label)), total_(total_frames) {
  shown_ = isatty(STDERR_FILENO) && sample_rate > 0 &&
           static_cast<double>(total_frames) / sample_rate > min_seconds;
}

void TProgressBar::Update(uint64_t done) {
  if (!shown_ || total_ == 0) return;
  const int percent = static_cast<int>(done >= total_ ? 100 : done * 100 / total_);
  if (percent == last_percent_) return;
  last_percent_ = percent;
  constexpr int kWidth = 40;
  char bar[kWidth + 1];
  const int filled = percent * kWidth / 100;
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kWidth] = 0;
  std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar, percent);
  std::fflush(stderr);
}

void TProgressBar::Clear() {
  if (!shown_ || last_percent_ < 0) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  last_percent_ = -1;
}
