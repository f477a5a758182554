// Cost of the block handler on 1024-frame stereo 16-bit blocks, beside a bare peak scan of the
// same memory (same peak logic, no buffer interface, no gate, no call-outs). Prints the ratio.
// Beside them, hit detection's road in the cycle for the same 1024 frames, as the capture tap
// runs it: both channels in "Frappe" with the default settings (detection filter on).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "HitActions.h"
#include "HitRunner.h"
#include "TriggerDetector.h"
#include "bench/RatioMain.h"
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

BENCHMARK(BM_BlockHandler);
BENCHMARK(BM_BarePeakScan);
BENCHMARK(BM_HitRoad);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatio(argc, argv, "BlockHandler", "BarePeakScan", "handler/bare ratio",
                             " (target <= 1.5)",
                             /*cpu_time=*/true);
}
