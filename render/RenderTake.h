// Runs a whole take through a render chain block by block, reporting progress as it goes; and
// the command's whole road from its settings to the notes.
// Single-threaded.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "RenderChain.h"
#include "RenderSettings.h"
#include "RenderSource.h"

// Feeds every block of `source` (of `block_frames` frames) to `chain`, then finishes it.
// `progress` (may be empty) gets the frames done after each block.
void RenderTake(TRenderSource& source, uint32_t block_frames, TRenderChain& chain,
                const std::function<void(uint64_t frames_done)>& progress = {});

// What tocsin-render does with a take once its settings are loaded: a chain made from them
// (`settings` must outlive it), hit detection's settings handed over, every block fed in blocks
// of the settings' size. `source` must deliver the settings' sample width.
std::unique_ptr<TRenderChain> RenderWithSettings(
    TRenderSource& source, const TRenderSettings& settings, bool keep_levels,
    const std::function<void(uint64_t frames_done)>& progress = {});
