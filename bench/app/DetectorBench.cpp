// Cost of the block handler on 1024-frame stereo 16-bit blocks, beside a bare peak scan of the
// same memory (same peak logic, no buffer interface, no gate, no call-outs). Prints the ratio.
// Beside it, hit detection's cost per block of 64, 256 and 1024 frames for two pads (the same
// samples as floats, default hit settings), which works per sample and so cannot be held to
// that ratio.
// And the capture tap's whole road for a 1024-frame cycle (gate, settings, both pads).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "HitActions.h"
#include "HitRunner.h"
#include "TriggerDetector.h"
#include "bench/RatioMain.h"
#include "hit/HitEngine.h"
#include "platform/virtual/FakeClock.h"

namespace {

struct NullActions : ITriggerActions {
  TMyMidi* midi = nullptr;
  void SetClipVisible(bool) override {}
  void SetThresholdLight(int, bool) override {}
  void ShowVelocity(int, int) override {}
  void NoteOn(int c, int) override { midi->NoteOn(c) = true; }
  void NoteOff(int c) override { midi->NoteOn(c) = false; }
  void ShowVolume(int, double) override {}
  void TriggerSound(int, double) override {}
  void RefreshLevels(double, double) override {}
};

std::shared_ptr<TALAudioBuffer> MakeBlock() {
  auto b = TALAudioBuffer::Create(16, 1024, 2);
  auto a = b->GetAccess();
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> d(-20000, 20000);
  for (uint32_t i = 0; i < 1024; ++i) {
    a->SetSample(i, 0, d(rng));
    a->SetSample(i, 1, d(rng));
  }
  return b;
}

void BM_BlockHandler(benchmark::State& state) {
  TRunFlags flags;
  TAudioInParams params;
  TMyMidi midi;
  TMySound sounds[2];
  TVumeters meters;
  TControlSnapshot controls;
  NullActions actions;
  actions.midi = &midi;
  TFakeTickClock clock;
  TTriggerDetector detector({flags, params, midi, sounds, meters}, controls, actions, clock);
  IALAudioBufferPtr block = MakeBlock();
  for (auto _ : state) {
    detector.ProcessBlock(block);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 1024);
}

void BM_BarePeakScan(benchmark::State& state) {
  auto block = MakeBlock();
  const int16_t* p = reinterpret_cast<const int16_t*>(block->GetAccess()->Data());
  for (auto _ : state) {
    benchmark::DoNotOptimize(p);
    double max0 = 0, min0 = 0, max1 = 0, min1 = 0;
    for (int i = 0; i < 1024; ++i) {
      double s = p[2 * i];
      if (s > max0)
        max0 = s;
      else if (s < min0)
        min0 = s;
      s = p[2 * i + 1];
      if (s > max1)
        max1 = s;
      else if (s < min1)
        min1 = s;
    }
    benchmark::DoNotOptimize(max0 + min0 + max1 + min1);
  }
  state.SetItemsProcessed(state.iterations() * 1024);
}

// The capture tap's share of a 1024-frame cycle: gate, settings, both pads through the engine;
// the hits fire into actions without a port (the sends' own cost is the MIDI benchmark's).
void BM_HitRoad(benchmark::State& state) {
  TRunFlags flags;
  THitSettingsSnapshot snapshot;
  THitSettings settings;
  settings.Pad[0].Enabled = settings.Pad[1].Enabled = true;
  snapshot.Publish(settings);
  THitActions actions(flags, nullptr, nullptr, nullptr);
  THitRunner runner(flags, snapshot, actions);
  std::vector<float> in[2] = {std::vector<float>(1024), std::vector<float>(1024)};
  std::mt19937 rng(42);
  std::uniform_real_distribution<float> d(-0.6f, 0.6f);
  for (auto& channel : in)
    for (float& x : channel) x = d(rng);
  const float* planes[2] = {in[0].data(), in[1].data()};
  uint64_t frame = 0;
  for (auto _ : state) {
    runner.Capture(planes, 2, 1024, frame, 48000);
    frame += 1024;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 1024);
}

struct NullHitSink : IHitSink {
  int events = 0;
  void NoteOn(int, uint64_t, int) override { ++events; }
  void NoteOff(int, uint64_t) override { ++events; }
  void Sound(int, uint64_t, double) override { ++events; }
};

void BM_HitEngine(benchmark::State& state) {
  const auto frames = static_cast<uint32_t>(state.range(0));
  auto block = MakeBlock();
  auto access = block->GetAccess();
  std::vector<float> pad[2];
  for (int c = 0; c < 2; ++c) {
    for (uint32_t i = 0; i < 1024; ++i) pad[c].push_back(access->GetSample(i, c) / 32768.f);
  }
  THitSettings settings;
  for (int p = 0; p < 2; ++p) settings.Pad[p].Enabled = true;
  THitEngine engine(2);
  engine.Configure(settings, 48000);
  NullHitSink sink;
  uint64_t frame = 0;
  for (auto _ : state) {
    const size_t at = frame % 1024;  // one block, the next part of the samples each time
    const float* in[2] = {pad[0].data() + at, pad[1].data() + at};
    engine.Process(in, frames, frame, sink);
    frame += frames;
  }
  benchmark::DoNotOptimize(sink.events);
  state.SetItemsProcessed(state.iterations() * frames);
}

BENCHMARK(BM_BlockHandler);
BENCHMARK(BM_BarePeakScan);
BENCHMARK(BM_HitRoad);
BENCHMARK(BM_HitEngine)->Arg(64)->Arg(256)->Arg(1024);

void PrintHitCost(const bench::RatioReporter& r) {
  for (const char* frames : {"64", "256", "1024"}) {
    const auto t = r.Times().find(std::string("BM_HitEngine/") + frames);
    if (t == r.Times().end()) continue;
    std::printf("hit mode, two pads, block of %s frames: %.2f us", frames, t->second / 1000);
    if (std::string(frames) == "1024" && r.Denominator() > 0) {
      std::printf(" (%.1f times the bare peak scan of 1024 frames)", t->second / r.Denominator());
    }
    std::printf("\n");
  }
  const auto road = r.Times().find("BM_HitRoad");
  if (road != r.Times().end())
    std::printf("hit mode's road from the capture tap, two pads, 1024 frames: %.2f us\n",
                road->second / 1000);
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatio(argc, argv, "BlockHandler", "BarePeakScan", "handler/bare ratio",
                             " (target <= 1.5)",
                             /*cpu_time=*/true, PrintHitCost);
}
