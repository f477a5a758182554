// How fast a hit becomes a note: a test client plays bursts into Tocsin's capture road (the
// window's capture chain, block handler, note trigger and MIDI output on the program's JACK
// back-end), another receives the notes, and each note-on is timed against its burst's first
// frame, in server frames. One private JACK server
// per period (dummy driver, 44100 Hz), blocks of 32, 256 and 1024 frames on each. Prints per run
// the median and maximum, and the hits missed, the extra note-ons, the note-ons before their hit
// and the note-offs missing; exits with 1 when a hit was missed or a note came early.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
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
  double median = 0, max = 0;
  int hits = 0, missed = 0, extra = 0, early = 0, offs_missing = 0;
  uint64_t xruns = 0;  // late server cycles during the run: their figures are suspect
};
std::map<std::pair<uint32_t, uint32_t>, TResult> g_results;

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
  TServer(uint32_t p)
      : name("tocsin-lat-" + std::to_string(p) + "-" + std::to_string(getpid())), period(p) {
    // A loaded machine can be slow to bring a server up: one more try.
    ok = Fixture("start", name, period) == 0 || Fixture("start", name, period) == 0;
    if (ok) setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
  }
  ~TServer() { Fixture("stop", name, period); }
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

void BM_OnsetToNoteOn(benchmark::State& state) {
  const auto period = static_cast<uint32_t>(state.range(0));
  const auto block = static_cast<uint32_t>(state.range(1));
  setenv("JACK_NO_START_SERVER", "1", 1);
  TServer server(period);
  if (!server.ok) {
    state.SkipWithError("JACK server did not start");
    return;
  }
  TResult r;
  std::vector<double> latencies;
  for (auto _ : state) {
    // The hit comes from one client and the note goes to another: one client doing both would
    // close a loop, which the server breaks by delaying one edge a whole period.
    JackTestClient client("tocsin_lat_in");
    JackTestClient sink("tocsin_lat_out");
    TRealTriggerChain chain("Tocsin");
    if (!client.Ok() || !sink.Ok() || client.Period() != period ||
        !chain.Start(client.Name(), kRate, block,
                     CutUtf8(sink.MidiInPort(), kMidiProductNameMax)) ||
        !chain.Pump([&] { return chain.Blocks() >= 16; }, 30s)) {
      state.SkipWithError("test client or capture road did not start");
      return;
    }
    // Bursts and gaps long enough for the note-off to come before the next hit, and for each
    // note to be told from the next hit's.
    const uint64_t seg = std::max<uint64_t>({4 * uint64_t{period}, 2 * uint64_t{block}, 2048});
    TSignalScript script;
    script.Silence(seg);
    for (int i = 0; i < kHits; ++i) script.Burst(i % 2, -20, seg).Silence(seg);
    client.Play(script.Left(), script.Right());
    if (!client.WaitPlayed(180000)) {
      state.SkipWithError("the test client did not play");
      return;
    }
    chain.Pump([&] { return sink.MidiCount() >= 2 * kHits; }, 10s);
    chain.Pump([] { return false; }, 200ms);  // anything extra still on its way
    const uint64_t start = client.PlayStartFrame();
    std::vector<uint64_t> ons;
    int offs = 0;
    for (const auto& ev : sink.Midi()) {
      if (ev.bytes.size() < 3) continue;
      if ((ev.bytes[0] & 0xF0) == 0x90 && ev.bytes[2] != 0)
        ons.push_back(ev.frame);
      else if ((ev.bytes[0] & 0xF0) == 0x80 || (ev.bytes[0] & 0xF0) == 0x90)
        ++offs;
    }
    // Each hit owns the note-ons from half a gap before it to half a gap before the next.
    const auto& bursts = script.Bursts();
    size_t owned = 0;
    for (size_t b = 0; b < bursts.size(); ++b) {
      const uint64_t onset = start + bursts[b].Start;
      const uint64_t from = onset - seg / 2, to = onset + 2 * seg - seg / 2;
      std::vector<uint64_t> mine;
      for (uint64_t f : ons)
        if (f >= from && f < to) mine.push_back(f);
      owned += mine.size();
      if (mine.empty()) {
        ++r.missed;
        continue;
      }
      r.extra += static_cast<int>(mine.size()) - 1;
      if (mine.front() < onset) {
        ++r.early;
        continue;
      }
      latencies.push_back(static_cast<double>(mine.front() - onset));
    }
    r.extra += static_cast<int>(ons.size() - owned);
    r.offs_missing = std::max(0, static_cast<int>(ons.size()) - offs);
    r.xruns = client.Xruns() + sink.Xruns();
    chain.Stop();
  }
  r.hits = static_cast<int>(latencies.size());
  if (!latencies.empty()) {
    r.median = Median(latencies);
    r.max = *std::max_element(latencies.begin(), latencies.end());
  }
  g_results[{period, block}] = r;
  state.counters["median_frames"] = r.median;
  state.counters["max_frames"] = r.max;
  state.counters["missed"] = r.missed;
  state.counters["early"] = r.early;
}

BENCHMARK(BM_OnsetToNoteOn)
    ->ArgsProduct({{64, 256, 1024}, {32, 256, 1024}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\nOnset to note-on at the client, frames at %u Hz\n", kRate);
  std::printf("%6s %6s %5s %8s %8s %7s %6s %6s %10s %6s\n", "period", "block", "hits", "median",
              "max", "missed", "extra", "early", "offs-lost", "xruns");
  bool failed = false;
  for (const auto& [key, r] : g_results) {
    std::printf("%6u %6u %5d %8.1f %8.1f %7d %6d %6d %10d %6llu\n", key.first, key.second, r.hits,
                r.median, r.max, r.missed, r.extra, r.early, r.offs_missing,
                static_cast<unsigned long long>(r.xruns));
    failed = failed || r.missed > 0 || r.early > 0;
  }
  benchmark::Shutdown();
  return failed ? 1 : 0;
}
