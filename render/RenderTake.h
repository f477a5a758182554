// Runs a whole take through a render chain block by block, reporting progress as it goes.
// Single-threaded.
#pragma once

#include <cstdint>
#include <functional>

#include "RenderChain.h"
#include "RenderSource.h"

// Feeds every block of `source` (of `block_frames` frames) to `chain`, then finishes it.
// `progress` (may be empty) gets the frames done after each block.
void RenderTake(TRenderSource& source, uint32_t block_frames, TRenderChain& chain,
                const std::function<void(uint64_t frames_done)>& progress = {});
