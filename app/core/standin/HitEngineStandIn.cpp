// A stand-in for THitEngine while its own sources are not in hit/: the threshold crossing, the
// scan window's peak, the mask time, a threshold falling back from the hit's peak and the note
// length, per sample, and nothing else (no filter, no crosstalk link, a linear velocity).
// Built only when hit/HitEngine.cpp is missing.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "hit/HitEngine.h"

namespace {
struct TPad {
  THitPadSettings s;
  double base = 0;                  // base threshold, linear
  uint64_t scan = 0, mask = 0, decay = 0, length = 0;
  bool scanning = false, sounding = false, release = false;
  uint64_t hit = 0, scan_end = 0, mask_end = 0, off_at = 0, peak_frame = 0;
  double peak = 0, last_peak = 0;
};
struct TState {
  int pads;
  std::unique_ptr<TPad[]> pad;
};
double Lin(double db) { return std::pow(10.0, db / 20.0); }

// The outline's class has no room for state: each engine's lives here, found by its address.
constexpr int kEngines = 64;
std::atomic<const THitEngine*> g_owner[kEngines];
std::atomic<TState*> g_state[kEngines];
std::mutex g_mutex;

TState& State(const THitEngine* e) {
  for (int i = 0; i < kEngines; ++i)
    if (g_owner[i].load(std::memory_order_acquire) == e) return *g_state[i].load();
  std::abort();
}
}  // namespace

THitEngine::THitEngine(int pads) {
  std::lock_guard lock(g_mutex);
  for (int i = 0; i < kEngines; ++i) {
    if (g_owner[i].load()) continue;
    g_state[i] = new TState{pads, std::make_unique<TPad[]>(static_cast<size_t>(pads))};
    g_owner[i].store(this, std::memory_order_release);
    return;
  }
  std::abort();
}
THitEngine::~THitEngine() {
  std::lock_guard lock(g_mutex);
  for (int i = 0; i < kEngines; ++i) {
    if (g_owner[i].load() != this) continue;
    delete g_state[i].load();
    g_owner[i].store(nullptr);
    return;
  }
}
int THitEngine::Pads() const { return State(this).pads; }

void THitEngine::Configure(const THitSettings& settings, uint32_t rate) {
  TState& st = State(this);
  for (int p = 0; p < st.pads; ++p) {
    TPad& d = st.pad[p];
    const bool was = d.s.Enabled;
    d.s = settings.Pad[p];
    if (was && !d.s.Enabled) d.release = true;
    d.base = Lin(d.s.ThresholdDb);
    auto frames = [rate](double ms) { return static_cast<uint64_t>(std::lround(ms * rate / 1000)); };
    d.scan = frames(d.s.ScanMs);
    d.mask = frames(d.s.MaskMs);
    d.decay = std::max<uint64_t>(1, frames(d.s.DecayMs));
    d.length = std::max<uint64_t>(1, frames(d.s.NoteLengthMs));
  }
}

void THitEngine::Process(const float* const* inputs, uint32_t frames, uint64_t first,
                         IHitSink& sink) {
  TState& st = State(this);
  for (int p = 0; p < st.pads; ++p) {
    TPad& d = st.pad[p];
    if (d.release) {
      d.release = false;
      d.scanning = false;
      if (d.sounding) sink.NoteOff(p, first);
      d.sounding = false;
    }
    if (!d.s.Enabled) continue;
    const float* in = inputs ? inputs[p] : nullptr;
    for (uint32_t i = 0; i < frames; ++i) {
      const uint64_t f = first + i;
      const double x = in ? std::fabs(in[i]) : 0.0;
      if (d.sounding && f >= d.off_at) {
        sink.NoteOff(p, f);
        d.sounding = false;
      }
      if (d.scanning) {
        d.peak = std::max(d.peak, x);
      } else if (f >= d.mask_end) {
        double thr = d.base;
        if (f - d.peak_frame < d.decay && d.last_peak > d.base)
          thr = d.base + (d.last_peak - d.base) * (1.0 - double(f - d.peak_frame) / d.decay);
        if (x > thr && 20 * std::log10(std::max(x, 1e-9)) > d.s.ThresholdDb) {
          d.scanning = true;
          d.hit = f;
          d.peak = x;
          d.scan_end = f + d.scan;
        }
      }
      if (d.scanning && f >= d.scan_end) {
        d.scanning = false;
        const double db = 20 * std::log10(std::max(d.peak, 1e-9));
        double v = 127.0;
        if (d.s.VelocityFollowsLevel && d.s.FullVelocityDb > d.s.ThresholdDb)
          v = 1 + 126 * (db - d.s.ThresholdDb) / (d.s.FullVelocityDb - d.s.ThresholdDb);
        else if (!d.s.VelocityFollowsLevel)
          v = 100;
        const int vel = std::clamp(static_cast<int>(v), 1, 127);
        if (d.s.Event == THitEvent::kSound) {
          sink.Sound(p, d.hit, d.s.VelocityFollowsLevel ? vel * 100.0 / 127 : 100.0);
        } else {
          if (d.sounding) sink.NoteOff(p, f);
          sink.NoteOn(p, d.hit, vel);
          d.sounding = true;
          d.off_at = d.hit + d.length;
        }
        d.mask_end = d.hit + d.mask;
        d.last_peak = d.peak;
        d.peak_frame = f;
      }
    }
  }
}

void THitEngine::ReleaseAll(uint64_t frame, IHitSink& sink) {
  TState& st = State(this);
  for (int p = 0; p < st.pads; ++p) {
    TPad& d = st.pad[p];
    d.scanning = false;
    if (d.sounding) sink.NoteOff(p, frame);
    d.sounding = false;
    d.mask_end = 0;
    d.last_peak = 0;
  }
}
