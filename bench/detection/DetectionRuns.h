// A take through either kind of detection, as notes per channel: "Niveau" through the window's
// block road exactly as tocsin-render runs it (the take read as a sound file, cut into 16-bit
// blocks, the block handler and note trigger), "Frappe" through THitEngine fed float chunks.
// Single-threaded.
#pragma once

#include <cstdint>
#include <vector>

#include "DrumTakes.h"
#include "TakeScore.h"
#include "hit/HitSettings.h"

// Both channels at `threshold_db` (whole dB), velocity following the level, blocks of `block`.
std::vector<TDetectedNote> RunLevelDetection(const TDrumTake& take, int threshold_db,
                                             uint32_t block);

// The settings as given (pads 0 and 1 are the take's left and right), chunks of `chunk` frames.
// Notes still sounding at the take's end end there.
std::vector<TDetectedNote> RunHitDetection(const TDrumTake& take, const THitSettings& settings,
                                           uint32_t chunk);
