// A picture of a rendered take: each channel's block levels in dB over time with its threshold
// as a line and a mark with the velocity at every note-on, seconds along the bottom. A side in
// "Frappe" also shows its threshold as it jumps to each hit's peak and falls back. Painted
// offscreen into an image; needs a QGuiApplication (any platform, "offscreen" will do).
// GUI thread of that application.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "RenderChain.h"

struct TPlotInput {
  const std::vector<std::array<float, 2>>* Levels = nullptr;  // one pair per block
  const std::vector<TRenderNote>* Notes = nullptr;
  uint32_t BlockFrames = 1024;
  uint32_t SampleRate = 44100;
  uint64_t TotalFrames = 0;
  int Threshold[2] = {-45, -45};
  std::string Title;
  // Hit detection's threshold of each side, one pair every HitThresholdStep frames (NaN for a
  // side in "Niveau"); none: not drawn.
  const std::vector<std::array<float, 2>>* HitThresholds = nullptr;
  uint32_t HitThresholdStep = 64;
};

// Paints the picture and writes it as PNG to `path` through a temporary file; false (with
// `error` set) when it cannot be written.
bool WriteLevelPlot(const TPlotInput& input, const std::string& path, std::string& error);
