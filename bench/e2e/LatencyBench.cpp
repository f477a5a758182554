// How fast a hit becomes a note: a test client plays bursts into Tocsin's real capture road and
// times each note-on against its burst's first frame, in frames at the client. One private JACK
// server per period (dummy driver, 44100 Hz); the capture block equals the period. Prints per size
// the median, the 99th percentile, the median's ratio to (block + 3 periods), and the jitter.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "JackTestClient.h"
#include "RealTriggerChain.h"
#include "SignalScript.h"
#include "platform/rt/RtMidiPortNames.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kRate = 44100;
constexpr int kHits = 60;

struct TResult {
  double median = 0, p99 = 0, ratio = 0, jitter = 0;
  int hits = 0;
  uint64_t xruns = 0;  // late server cycles during the run: their figures are suspect
};
std::map<uint32_t, TResult> g_results;

int Fixture(const std::string& command, const std::string& name, uint32_t period) {
  const std::string cmd = std::string(TOCSIN_JACKD_FIXTURE) + " " + command + " " + name + " " +
                          TOCSIN_JACK_STATE_DIR + " " + std::to_string(kRate) + " " +
                          std::to_string(period) + " >/dev/null 2>&1";
  return std::system(cmd.c_str());
}

// A server of the benchmark's own, gone with this object.
struct TServer {
  std::string name;
  uint32_t period;
  bool ok;
  TServer(uint32_t p) : name("tocsin-lat-" + std::to_string(p) + "-" + std::to_string(getpid())),
                        period(p) {
    // A loaded machine can be slow to bring a server up: one more try.
    ok = Fixture("start", name, period) == 0 || Fixture("start", name, period) == 0;
    if (ok) setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
  }
  ~TServer() { Fixture("stop", name, period); }
};

double Percentile(std::vector<double> v, double p) {  // nearest rank
  std::sort(v.begin(), v.end());
  const size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size())));
  return v[std::clamp<size_t>(rank, 1, v.size()) - 1];
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

void BM_OnsetToNoteOn(benchmark::State& state) {
  const auto period = static_cast<uint32_t>(state.range(0));
  setenv("JACK_NO_START_SERVER", "1", 1);
  TServer server(period);
  if (!server.ok) {
    state.SkipWithError("JACK server did not start");
    return;
  }
  std::vector<double> latencies;
  uint64_t xruns = 0;
  for (auto _ : state) {
    JackTestClient client("tocsin_lat");
    TRealTriggerChain chain("tocsin_lat_out");
    if (!client.Ok() || client.Period() != period ||
        !chain.Start(client.Name(), kRate, period,
                     CutUtf8(client.MidiInPort(), kMidiProductNameMax)) ||
        !chain.Pump([&] { return chain.Blocks() >= 16; }, 30s)) {
      state.SkipWithError("test client or capture road did not start");
      return;
    }
    // Bursts and gaps of whole periods, long enough for the note-off to come before the next hit.
    const uint64_t seg = std::max<uint64_t>(2 * period, 1024);
    TSignalScript script;
    script.Silence(seg);
    for (int i = 0; i < kHits; ++i) script.Burst(i % 2, -20, seg).Silence(seg);
    client.Play(script.Left(), script.Right());
    if (!client.WaitPlayed(120000) ||
        !chain.Pump([&] { return client.MidiCount() >= 2 * kHits; }, 30s)) {
      state.SkipWithError("notes missing");
      return;
    }
    const uint64_t start = client.PlayStartFrame();
    size_t hit = 0;
    for (const auto& ev : client.Midi()) {
      if (ev.bytes.empty() || (ev.bytes[0] & 0xF0) != 0x90) continue;
      if (hit >= script.Bursts().size()) break;
      const uint64_t onset = start + script.Bursts()[hit++].Start;
      latencies.push_back(static_cast<double>(ev.frame) - static_cast<double>(onset));
    }
    xruns = client.Xruns();
    if (hit != static_cast<size_t>(kHits)) {
      state.SkipWithError(xruns ? "note-ons lost in late server cycles"
                                : "one note-on per hit expected");
      return;
    }
    chain.Stop();
  }
  TResult r;
  r.hits = static_cast<int>(latencies.size());
  r.median = Median(latencies);
  r.p99 = Percentile(latencies, 0.99);
  r.ratio = r.median / static_cast<double>(period + 3 * period);
  r.jitter = r.p99 - r.median;
  r.xruns = xruns;
  g_results[period] = r;
  state.counters["median_frames"] = r.median;
  state.counters["p99_frames"] = r.p99;
  state.counters["ratio"] = r.ratio;
  state.counters["jitter_frames"] = r.jitter;
  state.counters["xruns"] = static_cast<double>(r.xruns);
}

BENCHMARK(BM_OnsetToNoteOn)->Arg(32)->Arg(256)->Arg(1024)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\nOnset to note-on at the client, %u Hz, block = server period\n", kRate);
  std::printf("%6s %5s %10s %10s %18s %8s %16s %8s %6s\n", "block", "hits", "median", "p99",
              "median/(block+3p)", "target", "jitter(p99-med)", "target", "xruns");
  for (const auto& [period, r] : g_results) {
    std::printf("%6u %5d %10.1f %10.1f %18.2f %8s %16.1f %8s %6llu\n", period, r.hits, r.median,
                r.p99, r.ratio, r.ratio <= 1.0 ? "ok" : "MISSED", r.jitter,
                r.jitter <= period ? "ok" : "MISSED", static_cast<unsigned long long>(r.xruns));
  }
  benchmark::Shutdown();
  return 0;
}
