// Scores the notes a detector made of a take against the take's known hits, per channel: hits
// and notes are matched one to one within a tolerance (nearest first), then every note and hit
// left over is named for what it most likely is.
// Single-threaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DrumTakes.h"

struct TDetectedNote {
  int Channel = 0;  // 0 left (kick mic), 1 right (snare mic)
  uint64_t On = 0;
  uint64_t Off = 0;
  int Velocity = 0;
};

struct TChannelScore {
  int Hits = 0, Notes = 0, Matched = 0;
  int Doubles = 0;  // a note left over close to a hit of its drum already matched
  int Bleed = 0;    // a note left over at a hit of the other drum
  int Spill = 0;    // a note left over at a cymbal hit
  int Other = 0;    // any other note left over (noise, a ring)
  int Merged = 0;   // a hit left over close to a matched note: one note for two hits
  double Recall = 0, Precision = 0, F1 = 0;  // from the counts: SetRates
  double Spearman = 0;                       // played against detected velocity, matched pairs
  double OnsetMeanMs = 0, OnsetMaxMs = 0;    // note minus hit; the mean signed, the max absolute
  int OnsetsOver2Ms = 0;                     // matched notes more than 2 ms off
  double LongestNoteMs = 0;

  // Recall, precision and F1 from Hits, Notes and Matched.
  void SetRates() {
    Recall = Hits ? static_cast<double>(Matched) / Hits : 0;
    Precision = Notes ? static_cast<double>(Matched) / Notes : 0;
    F1 = Recall + Precision > 0 ? 2 * Recall * Precision / (Recall + Precision) : 0;
  }
};

// Notes of `channel` against the hits of drum `channel`; the other drum's hits name bleed.
// `detail`, when given, gets one line per hit missed, note left over, or onset over 2 ms off.
TChannelScore ScoreChannel(const TDrumTake& take, int channel,
                           const std::vector<TDetectedNote>& notes, double tolerance_ms = 30,
                           std::vector<std::string>* detail = nullptr);

// Spearman's rank correlation (average ranks for ties); 0 for fewer than two pairs or no spread.
double SpearmanRank(const std::vector<double>& a, const std::vector<double>& b);
