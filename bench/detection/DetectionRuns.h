// A take through either kind of detection, as notes per channel: "Niveau" through the window's
// block road exactly as tocsin-render runs it (the take read as a sound file, cut into 16-bit
// blocks, the block handler and note trigger), "Frappe" through THitEngine fed float chunks, and
// "Frappe" through tocsin-render's whole road (its settings loading, options and render chain).
// Single-threaded.
#pragma once

#include <cstdint>
#include <string>
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

// "Frappe" on both channels as `tocsin-render TAKE.wav` with RenderHitArguments renders the
// take: its command line parsed, no settings file (the window's defaults), the options applied,
// its render chain; the take is read as a 32-bit float WAV file. Notes still sounding at the
// take's end end there.
std::vector<TDetectedNote> RunRenderHitDetection(const TDrumTake& take,
                                                 const THitSettings& settings, uint32_t block);
// The options that give tocsin-render `settings` (pads 0 and 1) for "Frappe" on both sides, in
// blocks of `block`: --list, --detection hit, --block, each side's threshold and every hit
// option, and --note-left Do1 --note-right Ré1 (a key per drum, as a two-drum setup has; the
// defaults put both on Do3, where the note trigger makes one note of both drums' hits on one
// key).
std::vector<std::string> RenderHitArguments(const THitSettings& settings, uint32_t block);

// "Frappe" through THitEngine in the cycles of a JACK server of `period` frames, the take's
// first frame `lead` frames after a cycle's start, each message placed as the program's JACK
// MIDI output places it: within the cycle the engine sent it in, at its own frame, or at the
// cycle's first frame for a frame of an earlier cycle (a note-on whose scan ended in a later
// cycle than its hit began), in frame order. What the live road must deliver for the take.
std::vector<TDetectedNote> RunHitDetectionOnWire(const TDrumTake& take,
                                                 const THitSettings& settings, uint32_t period,
                                                 uint64_t lead);
