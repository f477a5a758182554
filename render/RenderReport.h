// The notes of a render as text: one line per note for people (--list) or one JSON object per
// line for scripts (--json).
#pragma once

#include <cstdint>
#include <string>

#include "RenderChain.h"

// Header line of the --list table.
std::string NoteListHeader();
// "  12.345678    592594  1  Do3    60  87  G" : on time in seconds and frames, MIDI channel
// (1..16), note name and number, velocity, side, then the off time in seconds and frames.
std::string NoteListLine(const TRenderNote& note, uint32_t sample_rate);
std::string NoteJsonLine(const TRenderNote& note, uint32_t sample_rate);
