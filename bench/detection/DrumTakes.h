// Two-mic drum takes built from a sampled kit, with every hit at a known frame and a known
// velocity: left is the kick's mic, right the snare's. Each mic also takes the other drum (later,
// duller, quieter), the cymbals' spill and a little noise. Grooves in 8ths at 90 and 160 bpm,
// 16th rolls at 120 to 180 bpm, flams and ghost notes; the drummer's dynamics wander from bar to
// bar over the kit's five velocity layers, and every hit is a little off the grid, as played.
// Built from a fixed seed: the same takes every time. Single-threaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DrumKit.h"

enum class THitKind { kGroove, kGhost, kFlamGrace, kRoll };

struct TKnownHit {
  int Drum = 0;        // 0 kick (left mic), 1 snare (right mic)
  uint64_t Frame = 0;  // where the drum starts to sound in its own mic
  int Velocity = 0;    // as played, 1..127
  THitKind Kind = THitKind::kGroove;
};

struct TDrumTake {
  std::string Name;
  uint32_t Rate = 0;
  std::vector<float> Left, Right;  // full scale 1.0
  std::vector<TKnownHit> Hits;     // both drums, in frame order
  std::vector<uint64_t> Cymbals;   // crash and ride hits spilling into both mics, in order
};

// How the two mics hear the kit.
struct TTakeMix {
  double BleedDb = -18;                 // the other drum in each mic
  double BleedDelayMs[2] = {1.5, 1.2};  // snare into the kick mic, kick into the snare mic
  double BleedDullHz = 3000;            // the other drum arrives off-axis: duller
  double SpillDb = -12;                 // crash and ride in both mics
  double SpillDelayMs[2] = {2.5, 1.8};
  double SpillDullHz = 8000;
  double NoiseDbfs = -70;  // RMS of each mic's own noise
  uint32_t Seed = 20240521;
};

// The peak level (dBFS) a hit of velocity v reaches in its own mic: 30 dB from velocity 0 to 127,
// linear in dB; each velocity plays the kit's layer for its fifth of the range, scaled to it.
double PeakDbForVelocity(int velocity);

// The four takes: "groove 90", "groove 160", "rolls 120-180", "flams+ghosts 100".
std::vector<TDrumTake> BuildDrumTakes(const TDrumKit& kit, const TTakeMix& mix = {});
