// The peak meter's cost on one second of 44100 Hz stereo 16-bit audio (1024-frame buffers, as
// the capture sends them) beside a bare float peak scan of the same memory, with the ratio; and
// the wave player's blocks per second from a PCM file and from an IMA ADPCM one.
#include <benchmark/benchmark.h>

#include "bench/RatioMain.h"
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include "audio/ALPPMMeter.h"
#include "audio/ALWavePlayer.h"
#include "platform/virtual/LoopDispatcher.h"

namespace {

constexpr int kRate = 44100;
constexpr uint32_t kBlock = 1024;

std::vector<IALAudioBufferPtr> OneSecond() {
  std::vector<IALAudioBufferPtr> buffers;
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> d(-20000, 20000);
  for (int done = 0; done < kRate; done += kBlock) {
    const uint32_t frames = std::min<uint32_t>(kBlock, kRate - done);
    auto b = TALAudioBuffer::Create(16, frames, 2);
    TWaveFormatEx::Pcm(2, 16, kRate).WriteTo(b->Block()->Begin());
    auto a = b->GetAccess();
    for (uint32_t i = 0; i < frames; ++i) {
      a->SetSample(i, 0, d(rng));
      a->SetSample(i, 1, d(rng));
    }
    buffers.push_back(b);
  }
  return buffers;
}

class TSource : public TOWComponentBase {
 public:
  TSource() : pin(this, nullptr) {}
  TALOWAudioSourcePin pin;
};

class TNullSink : public TOWComponentBase {
 public:
  TNullSink() : pin(this, [](const IOWNotifyOperationPtr&, uint32_t) { return true; }) {}
  TALOWAudioSinkPin pin;
};


void BM_MeterOneSecond(benchmark::State& state) {
  TLoopDispatcher dispatcher;
  TSource source;
  TALPPMMeter meter(dispatcher);
  meter.SetSynchronizeType(stNone);
  meter.SetOnValueChange([](TALCommonMeter&, int32_t, double, double) {});  // as in the window
  source.pin.Connect(meter.InputPin());
  source.pin.Notify(std::make_shared<TOWStartWaveOperation>(kRate, TWaveFormatEx::Pcm(2, 16, kRate), 1.0));
  const auto buffers = OneSecond();
  for (auto _ : state) {
    for (const auto& b : buffers) source.pin.SendData(b);
  }
  state.SetItemsProcessed(state.iterations() * kRate);
  source.pin.DisconnectAll();
}

void BM_BarePeakScan(benchmark::State& state) {
  const auto buffers = OneSecond();
  for (auto _ : state) {
    for (const auto& b : buffers) {
      auto access = b->GetAccess();
      const int16_t* p = reinterpret_cast<const int16_t*>(access->Data());
      float max0 = 0, max1 = 0;
      for (uint32_t i = 0; i < access->Count(); ++i) {
        max0 = std::max(max0, std::fabs(static_cast<float>(p[2 * i])));
        max1 = std::max(max1, std::fabs(static_cast<float>(p[2 * i + 1])));
      }
      benchmark::DoNotOptimize(max0 + max1);
    }
  }
  state.SetItemsProcessed(state.iterations() * kRate);
}

std::string WriteFile(const char* name, int format) {
  const auto path = (std::filesystem::temp_directory_path() /
                     (std::string("tocsin-bench-") + std::to_string(::getpid()) + name))
                        .string();
  SF_INFO info{};
  info.channels = 2;
  info.samplerate = kRate;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  std::vector<short> samples(2 * kRate * 5);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<short>(10000 * std::sin(static_cast<double>(i) * 0.01));
  sf_writef_short(f, samples.data(), kRate * 5);
  sf_close(f);
  return path;
}

void PlayerBlocks(benchmark::State& state, int format) {
  const std::string path = WriteFile(format == (SF_FORMAT_WAV | SF_FORMAT_PCM_16) ? "pcm.wav" : "ima.wav", format);
  TLoopDispatcher dispatcher;
  TNullSink sink;
  {
    TALWavePlayer player(dispatcher);
    player.SetEnabled(false);
    player.OutputPin().Connect(sink.pin);
    player.SetClockSource(csExternal);
    player.SetLoop(true);
    player.SetFileName(path);
    player.SetEnabled(true);
    for (auto _ : state) player.Pump();
    state.SetItemsProcessed(state.iterations());
    player.OutputPin().DisconnectAll();
  }
  std::filesystem::remove(path);
}

void BM_PlayerBlocksPcm(benchmark::State& state) {
  PlayerBlocks(state, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}
void BM_PlayerBlocksImaAdpcm(benchmark::State& state) {
  PlayerBlocks(state, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM);
}

BENCHMARK(BM_MeterOneSecond)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BarePeakScan)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlayerBlocksPcm);
BENCHMARK(BM_PlayerBlocksImaAdpcm);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatio(argc, argv, "MeterOneSecond", "BarePeakScan", "meter/bare peak scan ratio");
}
