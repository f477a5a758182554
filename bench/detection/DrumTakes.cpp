#include "DrumTakes.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// A fixed generator with its own uniform mapping, so the takes do not depend on the standard
// library's distributions.
class TRandom {
 public:
  explicit TRandom(uint32_t seed) : s_(seed ? seed : 1) {}
  double Uniform(double lo, double hi) { return lo + (hi - lo) * (Next() >> 11) * 0x1.0p-53; }
  bool Chance(double p) { return Uniform(0, 1) < p; }
  double Gauss() {
    const double u = std::max(Uniform(0, 1), 1e-12), v = Uniform(0, 1);
    return std::sqrt(-2 * std::log(u)) * std::cos(2 * M_PI * v);
  }

 private:
  uint64_t Next() {  // xorshift64*
    s_ ^= s_ >> 12;
    s_ ^= s_ << 25;
    s_ ^= s_ >> 27;
    return s_ * 0x2545F4914F6CDD1DULL;
  }
  uint64_t s_;
};

struct TNote {
  TKitPiece Piece;
  double Seconds;
  int Velocity;
  THitKind Kind;
};

int Clamp(double v, int lo, int hi) {
  return std::clamp(static_cast<int>(std::lround(v)), lo, hi);
}

// Writes the notes of one score: a take's bars at a tempo, built by `bar` (bar index, the
// bar's start in seconds, seconds per beat, dynamics of the bar).
class TScore {
 public:
  explicit TScore(TRandom& rnd) : rnd_(rnd) {}
  // A note at `beat` of a bar starting at `start`, a little off the grid.
  void Add(TKitPiece piece, double start, double beat, double spb, int velocity,
           THitKind kind = THitKind::kGroove) {
    notes.push_back({piece, start + beat * spb + rnd_.Uniform(-0.002, 0.002), velocity, kind});
  }
  // A flam: a soft grace note 15 to 30 ms before the stroke.
  void Flam(double start, double beat, double spb, int velocity) {
    const double at = start + beat * spb + rnd_.Uniform(-0.002, 0.002);
    const int grace = Clamp(velocity * rnd_.Uniform(0.35, 0.6), 17, 127);
    notes.push_back(
        {TKitPiece::kSnare, at - rnd_.Uniform(0.015, 0.030), grace, THitKind::kFlamGrace});
    notes.push_back({TKitPiece::kSnare, at, velocity, THitKind::kGroove});
  }
  // A ghost note: a snare stroke at -26 to -17 dBFS.
  void Ghost(double start, double beat, double spb) {
    const double db = rnd_.Uniform(-26, -17);
    Add(TKitPiece::kSnare, start, beat, spb, Clamp(127 * (1 + db / 30), 1, 127), THitKind::kGhost);
  }
  std::vector<TNote> notes;

 private:
  TRandom& rnd_;
};

// The drummer's dynamics: a bar's base velocity wanders within the kit's range.
class TDynamics {
 public:
  explicit TDynamics(TRandom& rnd) : rnd_(rnd) {}
  int NextBar() {
    base_ = std::clamp(base_ + rnd_.Uniform(-25, 25), 40.0, 115.0);
    return static_cast<int>(base_);
  }

 private:
  TRandom& rnd_;
  double base_ = 80;
};

void Groove(TScore& sc, TRandom& rnd, double bpm, int bars, bool kick_every_eighth, bool ghosts,
            bool flams, bool ride_eighths) {
  const double spb = 60.0 / bpm;
  TDynamics dyn(rnd);
  const double kick_chance[8] = {1, 0.15, 0.2, 0.45, 1, 0.25, 0.2, 0.4};
  for (int b = 0; b < bars; ++b) {
    const double start = 1.0 + b * 4 * spb;
    const int base = dyn.NextBar();
    for (int e = 0; e < 8; ++e) {
      const bool downbeat = e == 0 || e == 4;
      if (kick_every_eighth || rnd.Chance(kick_chance[e])) {
        sc.Add(TKitPiece::kKick, start, e * 0.5, spb,
               Clamp(base + rnd.Uniform(-10, 10) + (downbeat ? 8 : 0), 20, 127));
      }
      if (e == 2 || e == 6) {
        const int v = Clamp(base + rnd.Uniform(-8, 8) + 6, 28, 127);
        if (flams && rnd.Chance(0.5)) {
          sc.Flam(start, e * 0.5, spb, v);
        } else {
          sc.Add(TKitPiece::kSnare, start, e * 0.5, spb, v);
        }
      }
      if (ride_eighths || e % 2 == 0) {
        sc.Add(TKitPiece::kRide, start, e * 0.5, spb, Clamp(rnd.Uniform(55, 100), 1, 127));
      }
    }
    if (ghosts) {
      for (int s = 1; s < 16; s += 2) {
        if (rnd.Chance(0.35)) sc.Ghost(start, s * 0.25, spb);
      }
    }
    if (b % 4 == 0) sc.Add(TKitPiece::kCrash, start, 0, spb, Clamp(rnd.Uniform(80, 127), 1, 127));
  }
}

void Rolls(TScore& sc, TRandom& rnd) {
  double start = 1.0;
  TDynamics dyn(rnd);
  for (double bpm : {120.0, 140.0, 160.0, 180.0}) {
    const double spb = 60.0 / bpm;
    const int base = dyn.NextBar();
    sc.Add(TKitPiece::kCrash, start, 0, spb, Clamp(rnd.Uniform(80, 127), 1, 127));
    // Two bars of snare 16ths swelling by about 35, the kick on the beats.
    for (int i = 0; i < 32; ++i) {
      const double swell = base - 15 + 35.0 * i / 31;
      sc.Add(TKitPiece::kSnare, start, i * 0.25, spb, Clamp(swell + rnd.Uniform(-6, 6), 28, 127),
             THitKind::kRoll);
      if (i % 4 == 0) {
        sc.Add(TKitPiece::kKick, start, i * 0.25, spb, Clamp(base + rnd.Uniform(-10, 10), 20, 127));
      }
    }
    start += 8 * spb;
    // A bar of kick 16ths, the snare on 2 and 4.
    for (int i = 0; i < 16; ++i) {
      const double swell = base - 10 + 25.0 * i / 15;
      sc.Add(TKitPiece::kKick, start, i * 0.25, spb, Clamp(swell + rnd.Uniform(-6, 6), 20, 127),
             THitKind::kRoll);
      if (i == 4 || i == 12) {
        sc.Add(TKitPiece::kSnare, start, i * 0.25, spb, Clamp(base + rnd.Uniform(-8, 8), 28, 127));
      }
      if (i % 2 == 0)
        sc.Add(TKitPiece::kRide, start, i * 0.25, spb, Clamp(rnd.Uniform(55, 100), 1, 127));
    }
    start += 4 * spb + 2 * spb;  // and two beats of rest
  }
}

int LayerFor(int velocity) {
  return std::min(TDrumKit::kLayers - 1, (velocity - 1) * TDrumKit::kLayers / 127);
}

// Plays `piece` at `seconds` into `track` so that its sound starts there; returns that frame.
uint64_t Place(const TDrumKit& kit, TKitPiece piece, double seconds, int velocity,
               std::vector<float>& track) {
  const TKitSample& s = kit.Sample(piece, LayerFor(velocity));
  const double gain = std::pow(10.0, PeakDbForVelocity(velocity) / 20) / s.Peak;
  const auto onset = static_cast<uint64_t>(std::llround(seconds * kit.Rate()));
  const uint64_t start = onset - s.Onset;
  if (track.size() < start + s.Samples.size()) track.resize(start + s.Samples.size(), 0.f);
  for (size_t i = 0; i < s.Samples.size(); ++i) {
    track[start + i] += static_cast<float>(gain * s.Samples[i]);
  }
  return onset;
}

// What a mic off the source's axis hears of it: later, quieter, duller (two one-pole low-passes).
void AddHeard(const std::vector<float>& source, double db, double delay_ms, double dull_hz,
              uint32_t rate, std::vector<float>& mic) {
  const auto delay = static_cast<size_t>(std::lround(delay_ms * rate / 1000));
  const double gain = std::pow(10.0, db / 20);
  const double k = 1 - std::exp(-2 * M_PI * dull_hz / rate);
  double y1 = 0, y2 = 0;
  for (size_t i = 0; i < source.size() && i + delay < mic.size(); ++i) {
    y1 += k * (source[i] - y1);
    y2 += k * (y1 - y2);
    mic[i + delay] += static_cast<float>(gain * y2);
  }
}

TDrumTake Render(const TDrumKit& kit, const TTakeMix& mix, TRandom& rnd, const std::string& name,
                 const std::vector<TNote>& notes) {
  TDrumTake take;
  take.Name = name;
  take.Rate = kit.Rate();
  std::vector<float> drum[2], cymbals;
  for (const TNote& n : notes) {
    if (n.Piece == TKitPiece::kKick || n.Piece == TKitPiece::kSnare) {
      const int d = n.Piece == TKitPiece::kKick ? 0 : 1;
      take.Hits.push_back(
          {d, Place(kit, n.Piece, n.Seconds, n.Velocity, drum[d]), n.Velocity, n.Kind});
    } else {
      take.Cymbals.push_back(Place(kit, n.Piece, n.Seconds, n.Velocity, cymbals));
    }
  }
  const size_t frames =
      std::max({drum[0].size(), drum[1].size(), cymbals.size()}) + kit.Rate();  // a second after
  for (auto* t : {&drum[0], &drum[1], &cymbals}) t->resize(frames, 0.f);
  take.Left = drum[0];
  take.Right = drum[1];
  AddHeard(drum[1], mix.BleedDb, mix.BleedDelayMs[0], mix.BleedDullHz, take.Rate, take.Left);
  AddHeard(drum[0], mix.BleedDb, mix.BleedDelayMs[1], mix.BleedDullHz, take.Rate, take.Right);
  AddHeard(cymbals, mix.SpillDb, mix.SpillDelayMs[0], mix.SpillDullHz, take.Rate, take.Left);
  AddHeard(cymbals, mix.SpillDb, mix.SpillDelayMs[1], mix.SpillDullHz, take.Rate, take.Right);
  const double noise = std::pow(10.0, mix.NoiseDbfs / 20);
  for (auto* mic : {&take.Left, &take.Right}) {
    for (float& s : *mic) s += static_cast<float>(noise * rnd.Gauss());
  }
  std::stable_sort(take.Hits.begin(), take.Hits.end(),
                   [](const TKnownHit& a, const TKnownHit& b) { return a.Frame < b.Frame; });
  std::sort(take.Cymbals.begin(), take.Cymbals.end());
  return take;
}

}  // namespace

double PeakDbForVelocity(int velocity) {
  return -30.0 * (1.0 - std::clamp(velocity, 0, 127) / 127.0);
}

std::vector<TDrumTake> BuildDrumTakes(const TDrumKit& kit, const TTakeMix& mix) {
  TRandom rnd(mix.Seed);
  std::vector<TDrumTake> takes;
  const auto make = [&](const std::string& name, const std::function<void(TScore&)>& write) {
    TScore sc(rnd);
    write(sc);
    takes.push_back(Render(kit, mix, rnd, name, sc.notes));
  };
  make("groove 90", [&](TScore& sc) { Groove(sc, rnd, 90, 20, false, true, false, true); });
  make("groove 160", [&](TScore& sc) { Groove(sc, rnd, 160, 24, true, false, false, false); });
  make("rolls 120-180", [&](TScore& sc) { Rolls(sc, rnd); });
  make("flams+ghosts 100", [&](TScore& sc) { Groove(sc, rnd, 100, 16, false, true, true, true); });
  return takes;
}
