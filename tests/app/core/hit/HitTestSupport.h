// Signals and a recording sink for the hit engine's tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "hit/HitEngine.h"

struct TSinkCall {
  char Kind;  // 'n' note-on, 'f' note-off, 's' sound
  int Pad;
  uint64_t Frame;
  int Value;        // velocity, or volume rounded
  uint64_t SentAt;  // first frame of the Process call that sent it
  bool operator==(const TSinkCall& o) const {
    return Kind == o.Kind && Pad == o.Pad && Frame == o.Frame && Value == o.Value;
  }
};

class TRecordingSink : public IHitSink {
 public:
  void NoteOn(int pad, uint64_t frame, int velocity) override {
    events.push_back({'n', pad, frame, velocity, now});
  }
  void NoteOff(int pad, uint64_t frame) override { events.push_back({'f', pad, frame, 0, now}); }
  void Sound(int pad, uint64_t frame, double volume) override {
    events.push_back({'s', pad, frame, static_cast<int>(std::lround(volume)), now});
  }
  std::vector<TSinkCall> Of(char kind, int pad = -1) const {
    std::vector<TSinkCall> out;
    for (const auto& e : events) {
      if (e.Kind == kind && (pad < 0 || e.Pad == pad)) out.push_back(e);
    }
    return out;
  }
  std::vector<TSinkCall> events;
  uint64_t now = 0;
};

// A drum-like hit: a decaying sine starting at `at`, peak `amp`, falling 1/e every `tau` frames.
inline void AddHit(std::vector<float>& s, size_t at, double amp, double hz = 200, double tau = 800,
                   double rate = 48000, double sign = 1) {
  for (size_t i = at; i < s.size() && i < at + static_cast<size_t>(12 * tau); ++i) {
    const double t = static_cast<double>(i - at);
    s[i] += static_cast<float>(sign * amp * std::exp(-t / tau) *
                               std::sin(2 * M_PI * hz * t / rate + 0.3));
  }
}

// Feeds per-pad signals of equal length to the engine in chunks of `chunk` frames.
inline void Feed(THitEngine& engine, const std::vector<std::vector<float>>& pads, uint32_t chunk,
                 TRecordingSink& sink, uint64_t first = 0) {
  const size_t n = pads.empty() ? 0 : pads[0].size();
  std::vector<const float*> ptr(static_cast<size_t>(engine.Pads()), nullptr);
  for (size_t at = 0; at < n; at += chunk) {
    const uint32_t len = static_cast<uint32_t>(std::min<size_t>(chunk, n - at));
    for (size_t p = 0; p < pads.size() && p < ptr.size(); ++p) ptr[p] = pads[p].data() + at;
    sink.now = first + at;
    engine.Process(ptr.data(), len, first + at, sink);
  }
}

// Two pads enabled, without the detection filter, so that levels and frames are the signal's own.
inline THitSettings TwoPads(double threshold_db = -40) {
  THitSettings s;
  for (int p = 0; p < 2; ++p) {
    s.Pad[p].Enabled = true;
    s.Pad[p].ThresholdDb = threshold_db;
    s.Pad[p].HighPassHz = 0;
    s.Pad[p].LowPassHz = 0;
  }
  return s;
}
