// A picture of a rendered take, in English like the command that makes it: each channel's block
// levels in dB over time with its threshold as a line (a side in "Frappe" also shows its
// threshold as it jumps to each hit's peak and falls back), every note drawn from its note-on (a
// mark with its name and velocity) to its note-off, seconds along the bottom; the whole take or
// a part of it, the level scale starting a little below the take's noise floor. Painted
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
  // The part shown, in frames; ToFrame 0: up to TotalFrames.
  uint64_t FromFrame = 0;
  uint64_t ToFrame = 0;
};

// The level most blocks of the take stay above (its tenth percentile over both channels), in
// dB; the silence floor (-90.3 dB) for an empty take.
double NoiseFloorDb(const std::vector<std::array<float, 2>>& levels);

// Paints the picture and writes it as PNG to `path` through a temporary file; false (with
// `error` set) when it cannot be written.
bool WriteLevelPlot(const TPlotInput& input, const std::string& path, std::string& error);
