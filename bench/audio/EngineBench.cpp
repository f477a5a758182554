// Cost of the engine's delivery: one buffer dispatched through a source pin to two sinks (all
// locks taken, a fresh operation per buffer), beside a plain call of the two handlers; and
// blocks captured on the virtual device reaching a filter's handler on the wave thread.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "audio/ALAudioIn.h"
#include "audio/ALGenericFilter.h"
#include "platform/virtual/LoopDispatcher.h"
#include "platform/virtual/VirtualWaveIn.h"

namespace {

struct CountingSink : TOWComponentBase {
  uint64_t count = 0;
  TALOWAudioSinkPin pin{this, [this](const IOWNotifyOperationPtr&, uint32_t) {
                          ++count;
                          return true;
                        }};
};

struct Source : TOWComponentBase {
  TALOWAudioSourcePin pin{this, nullptr};
};

double g_dispatch_ns = 0, g_direct_ns = 0;

void BM_DispatchToTwoSinks(benchmark::State& state) {
  Source source;
  CountingSink a, b;
  source.pin.Connect(a.pin);
  source.pin.Connect(b.pin);
  IALAudioBufferPtr buffer = TALAudioBuffer::Create(16, 1024, 2);
  for (auto _ : state) source.pin.SendData(buffer);
  benchmark::DoNotOptimize(a.count + b.count);
  source.pin.DisconnectAll();
}

void BM_DirectCallOfTwoHandlers(benchmark::State& state) {
  CountingSink a, b;
  IALAudioBufferPtr buffer = TALAudioBuffer::Create(16, 1024, 2);
  const auto& ha = a.pin.Handler();
  const auto& hb = b.pin.Handler();
  for (auto _ : state) {
    IOWNotifyOperationPtr op = std::make_shared<TOWSuppliedBufferOperation>(buffer);
    ha(op, 0);
    hb(op, kOWLastSinkFlag);
    benchmark::DoNotOptimize(op);
  }
  benchmark::DoNotOptimize(a.count + b.count);
}

// Blocks per second from the virtual device (free-running) to the filter's handler.
void BM_CaptureToHandler(benchmark::State& state) {
  const auto frames = static_cast<uint32_t>(state.range(0));
  TLoopDispatcher dispatcher;
  TVirtualWaveIn wave_in({"bench"});
  wave_in.SetSignal([](uint64_t frame, uint32_t) { return static_cast<int32_t>(frame & 0x3FFF); });
  TALAudioIn capture(wave_in);
  TALGenericFilter filter(dispatcher);
  std::atomic<uint64_t> handled{0};
  filter.SetOnProcessData([&](TALGenericFilter&, const IALAudioBufferPtr& in, IALAudioBufferPtr&,
                              bool&) {
    benchmark::DoNotOptimize(in->GetAccess()->GetSample(0, 0));
    handled.fetch_add(1, std::memory_order_release);
  });
  capture.AudioFormat().SetBufferSize(frames);
  capture.OutputPin().Connect(filter.InputPin());
  capture.SetEnabled(true);
  // One iteration is 100 blocks from device to handler, timed on the wall clock: three threads
  // (device, wave thread, this one) take part.
  for (auto _ : state) {
    const uint64_t target = handled.load(std::memory_order_acquire) + 100;
    while (handled.load(std::memory_order_acquire) < target) std::this_thread::yield();
  }
  capture.SetEnabled(false);
  state.SetItemsProcessed(state.iterations() * 100);
}

BENCHMARK(BM_DispatchToTwoSinks);
BENCHMARK(BM_DirectCallOfTwoHandlers);
BENCHMARK(BM_CaptureToHandler)->Arg(256)->Arg(1024)->MinTime(0.2)->UseRealTime();

// Keeps the per-iteration times of the dispatch pair to print their ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      const std::string name = run.benchmark_name();
      // CPU time: the machine is shared, and wall time counts other people's work.
      if (name == "BM_DispatchToTwoSinks") g_dispatch_ns = run.GetAdjustedCPUTime();
      if (name == "BM_DirectCallOfTwoHandlers") g_direct_ns = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (g_dispatch_ns > 0 && g_direct_ns > 0)
    std::printf("dispatch to two sinks: %.1f ns CPU, direct calls: %.1f ns CPU, ratio %.2f\n",
                g_dispatch_ns, g_direct_ns, g_dispatch_ns / g_direct_ns);
  benchmark::Shutdown();
  return 0;
}
