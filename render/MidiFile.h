// A Standard MIDI File of one track (format 0) holding a rendered take: 120 beats a minute at
// 24000 ticks a beat, so one tick is one frame at 48 kHz and every frame up to that rate has a
// tick of its own. Also the write that never leaves half a file behind.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "RenderChain.h"

inline constexpr uint16_t kMidiFileDivision = 24000;  // ticks per quarter note
inline constexpr uint32_t kMidiFileTempo = 500000;    // microseconds per quarter note
inline constexpr uint32_t kMidiFileTickRate = 48000;  // ticks per second

// The tick nearest to `frame` at `sample_rate`.
uint64_t FrameToTick(uint64_t frame, uint32_t sample_rate);

// The whole file: header, tempo, track name, the messages (each with its status byte) in order,
// end of track at the take's end.
std::vector<uint8_t> BuildMidiFile(const std::vector<TRenderMessage>& messages,
                                   uint64_t total_frames, uint32_t sample_rate,
                                   const std::string& track_name);

// Writes `bytes` to a temporary file beside `path`, flushes it to disk and renames it over
// `path`; on any failure the temporary file is removed and `path` is left as it was.
std::error_code WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);
