// The detection benchmarks' table: one row per take, kind, road, block and drum with the
// scorer's figures, the totals over all takes, and the floors hit detection's totals must reach.
// The offline benchmark and the live one print the same rows. Single-threaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TakeScore.h"

// Both channels' threshold in the benchmarks unless told otherwise: what a user would set for
// close-miked drums, and what the floors below were measured at.
inline constexpr int kThresholdDb = -30;

// Hit detection's F1 over all takes, kick and snare, at blocks (or periods) of 64 and 256:
// measured 0.989 and 0.972 with the defaults they were tuned to, a little under.
inline constexpr double kFloorF1[2] = {0.97, 0.95};

// Hit detection's onsets (note-on minus hit) over all takes, per drum, on the offline roads: the
// mean within kMaxOnsetMeanMs, and no larger share of the matched notes more than 2 ms off than
// kMaxShareOver2Ms. Measured with the defaults: means of 0.73 (kick) and 0.47 ms (snare), 6.9 %
// and 6.5 % over 2 ms; a note stamped where its hit crossed the threshold gave 1.19 and 1.00 ms,
// 13 % and 24 %. Live, a note-on goes out when its scan ends (4 ms after the hit began): the live
// road's onsets are the scan time and are not held to these.
inline constexpr double kMaxOnsetMeanMs = 2;
inline constexpr double kMaxShareOver2Ms = 0.10;

struct TDetectionRow {
  std::string Take;
  std::string Kind;  // "Niveau" or "Frappe"
  std::string Road;  // "engine" (THitEngine itself), "render" (tocsin-render's), "live" (JACK)
  uint32_t Block = 0;
  TChannelScore Score[2];  // kick, snare
};

void PrintDetectionHeader();
void PrintDetectionRow(const std::string& take, const std::string& kind, const std::string& road,
                       uint32_t block, int channel, const TChannelScore& score);

// All takes of one kind, road and block size as one: counts summed, rates from the sums, the
// rank correlation the lowest of the takes', onsets and notes at their worst.
TChannelScore DetectionTotal(const std::vector<TDetectionRow>& rows, const std::string& kind,
                             const std::string& road, uint32_t block, int channel);

// Prints the totals of one kind, road and block for both drums; for "Frappe" also a FAIL line
// for each drum under its F1 floor or, off the live road, over an onset ceiling. True when one
// was.
bool PrintTotalsUnderFloor(const std::vector<TDetectionRow>& rows, const std::string& kind,
                           const std::string& road, uint32_t block);

// The first difference between two roads' notes of one take (channel, note-on and note-off
// frames, velocity), in words naming the roads; "" when they are the same.
std::string NotesDifference(std::vector<TDetectedNote> a, std::vector<TDetectedNote> b,
                            const char* a_name, const char* b_name);
