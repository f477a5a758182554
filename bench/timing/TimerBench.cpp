// What a sound trigger costs the capture thread (the sound hand-over and the timer start), and
// how late the high-precision ticks arrive on the main thread. Prints the trigger's share of a
// 1024-frame block at 44.1 kHz and the tick lateness figures.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "SoundTrigger.h"
#include "audio/VrAudio.h"
#include "platform/virtual/LoopDispatcher.h"

namespace {

struct NullSoundService : ISoundService {
  void Play(TSoundImagePtr, uint32_t) override {}
  void Stop() override {}
};

double g_trigger_ns = 0;

void BM_TriggerSound(benchmark::State& state) {
  TLoopDispatcher dispatcher;
  TVrHPTimeBase base;
  TVrHPTimer t0(dispatcher), t1(dispatcher);
  t0.SetHPTimeBase(&base);
  t1.SetHPTimeBase(&base);
  NullSoundService service;
  TVrWave wave(service);
  const uint8_t x[] = {'x'};
  wave.Sound().SetData(x, 1);
  TMySound sounds[2];
  sounds[0].Wave = &wave;
  TSoundTrigger trigger(sounds, t0, t1);
  trigger.DurationChange(10000);  // the longest window: the trigger must not wait for it
  for (auto _ : state) {
    trigger.TriggerSound(0, 100);
    state.PauseTiming();
    t0.SetEnabled(false);
    sounds[0].Inhibited = false;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_TriggerSound)->Unit(benchmark::kMicrosecond)->Iterations(2000);

// Lateness of 200 ticks at a 5 ms period: Seconds minus the tick's due time.
void TickLateness() {
  TLoopDispatcher dispatcher;
  TVrHPTimeBase base;
  TVrHPTimer timer(dispatcher);
  timer.SetHPTimeBase(&base);
  const double period = 0.005;
  timer.SetTimePeriod(period);
  std::vector<double> late;
  timer.OnHighPrecisionTimer = [&](long double s, long double, int64_t n) {
    late.push_back(static_cast<double>(s) - n * period);
  };
  timer.SetEnabled(true);
  dispatcher.RunUntil([&] { return late.size() >= 200; }, std::chrono::seconds(30));
  timer.SetEnabled(false);
  if (late.empty()) return;
  std::sort(late.begin(), late.end());
  std::printf("tick lateness at the worker over %zu ticks: median %.1f us, 99th %.1f us, max %.1f us\n",
              late.size(), late[late.size() / 2] * 1e6, late[late.size() * 99 / 100] * 1e6,
              late.back() * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  struct Reporter : benchmark::ConsoleReporter {
    void ReportRuns(const std::vector<Run>& runs) override {
      for (const auto& r : runs)
        if (r.benchmark_name().rfind("BM_TriggerSound", 0) == 0)
          g_trigger_ns = r.GetAdjustedRealTime() * 1000;  // microseconds to ns
      ConsoleReporter::ReportRuns(runs);
    }
  } reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double block_ns = 1024.0 / 44100.0 * 1e9;
  std::printf("TriggerSound on the capture thread: %.1f us, %.4f%% of a 1024-frame block "
              "(the window's first period is no longer waited for)\n",
              g_trigger_ns / 1000, 100.0 * g_trigger_ns / block_ns);
  TickLateness();
  return 0;
}
