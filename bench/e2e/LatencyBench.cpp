// How fast a hit becomes a note or a sound: a test client plays bursts into Tocsin's capture road
// (the window's capture chain, block handler, note trigger and MIDI output, sound trigger with its
// inhibition timers and the sound service, all on the program's JACK back-end), another client
// receives the notes and listens to Tocsin:out_1, and each note-on and each sound's first non-zero
// sample is timed against its burst's first frame, in server frames. The left channel plays
// notes, the right one a click, hit at the same frames. Periods of 64, 256 and 1024 frames, each
// with blocks of 32, 256 and 1024, at 44100 Hz: on a private jackd per period (dummy driver), or,
// with --pipewire, on the PipeWire the program runs under (through pw-jack), whose quantum and
// rate it forces with pw-metadata. The hits land on cycle starts, which are block starts for
// blocks no longer than the period; --hit-offset=N moves them N frames later (N < 32). Prints
// per run the median and maximum, the hits missed, the extra events, the events before their hit
// and the note-offs missing, and the captured blocks that left the cycle for the wave thread with
// the reason; exits with 1 when a hit was missed, a note or a sound came early, a note-on came
// twice or its note-off never, or a run could not be made. --lenient-periods=64,... only prints
// the results at those periods.
// Hit detection ("Frappe") gets a run of its own per period: the left channel in "Frappe", its
// note-on timed against the burst's first sample (the first above the threshold, the detection
// filter being off), which it must follow by no more than the scan time plus 4 frames, and never
// precede; the capture's blocks (256 frames) play no part in it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ExtraJackServer.h"
#include "JackTestClient.h"
#include "RealTriggerChain.h"
#include "SignalScript.h"
#include "platform/rt/RtMidiPortNames.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kRate = 44100;
constexpr int kHits = 60;
// The right channel's hits: 10 ms, short beside the lock-out that follows each sound.
constexpr uint64_t kSoundBurst = 441;
constexpr uint32_t kClickFrames = 441;

bool g_pipewire = false;
// Periods whose results are printed only (--lenient-periods=64,...).
std::vector<uint32_t> g_lenient;
bool Lenient(uint32_t period) {
  return std::find(g_lenient.begin(), g_lenient.end(), period) != g_lenient.end();
}
// Frames each hit comes after a cycle start (--hit-offset=N).
uint64_t g_hit_offset = 0;
const char* ServerLabel() {
  return g_pipewire ? "PipeWire" : "jackd";
}

struct TFigures {
  double median = 0, max = 0;
  int hits = 0, missed = 0, extra = 0, early = 0;
};
struct TResult {
  std::string error;      // the run could not be made
  uint32_t seen = 0;      // the period our clients saw at the end of the run
  int inhibition_ms = 0;  // the duration set; a sound locks its channel out about twice as long
  TFigures notes, sounds;
  // The right channel's bursts straight from one test client to the other: the server's share.
  TFigures direct;
  int offs_missing = 0;
  uint64_t xruns = 0;        // late server cycles during the run: their figures are suspect
  uint64_t gaps = 0;         // cycles the server ran without our test clients
  uint64_t tocsin_gaps = 0;  // and without Tocsin's client
  uint64_t left_behind = 0;  // cycles of Tocsin's that the server left behind
  uint64_t replayed = 0;     // MIDI events Tocsin wrote again after one
  uint64_t queued = 0;       // MIDI events sent outside the cycle (at a cycle's first frame)
  // Captured blocks that took the capture's wave thread instead of the cycle, and why.
  uint64_t cycle_blocks = 0;
  TALCycleFallbacks fallbacks;
};
std::map<std::pair<uint32_t, uint32_t>, TResult> g_results;

// Hit detection's runs, per period.
constexpr double kHitScanMs = 2;  // the scan time set for the runs
struct THitResult {
  std::string error;
  uint32_t seen = 0;
  TFigures notes;
  int offs_missing = 0;
  uint64_t xruns = 0, gaps = 0, tocsin_gaps = 0;
};
std::map<uint32_t, THitResult> g_hit_results;
uint64_t HitLimitFrames() {
  return static_cast<uint64_t>(std::lround(kHitScanMs * kRate / 1000.0)) + 4;
}

// PipeWire's graph settings; 0 gives the value back to the graph.
bool PipeWireSetting(const char* key, uint32_t value) {
  const std::string cmd = "pw-metadata -n settings 0 " + std::string(key) + " " +
                          std::to_string(value) + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// The server of one period, gone (or given back) with this object: a jackd of the benchmark's
// own, or the running PipeWire held at that quantum and rate.
struct TServer {
  uint32_t period;
  bool ok;
  std::optional<TExtraJackServer> jackd;
  std::optional<TJackServerChoice> choice;  // after the server: put back before it stops
  explicit TServer(uint32_t p) : period(p) {
    if (g_pipewire) {
      ok = PipeWireSetting("clock.force-rate", kRate) &&
           PipeWireSetting("clock.force-quantum", period) && QuantumSeen();
      return;
    }
    jackd.emplace("tocsin-lat-" + std::to_string(p) + "-" + std::to_string(getpid()), kRate,
                  period);
    ok = jackd->Ok();
    if (ok) choice.emplace(jackd->Name());
  }
  ~TServer() {
    if (g_pipewire) {
      PipeWireSetting("clock.force-quantum", 0);
      PipeWireSetting("clock.force-rate", 0);
    }
  }
  // The graph takes a forced quantum at its next cycles: waits until a client sees it.
  bool QuantumSeen() const {
    JackTestClient probe("tocsin_lat_probe");
    for (int i = 0; probe.Ok() && i < 200; ++i) {
      if (probe.Period() == period && probe.SampleRate() == kRate) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }
};

// A click: 16-bit mono PCM, every sample non-zero (from half scale down to a quarter), so that
// its first frame is the first one heard.
std::vector<uint8_t> ClickImage(uint32_t rate, uint32_t frames) {
  std::vector<uint8_t> w;
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) w.push_back(uint8_t(v >> (8 * i)));
  };
  auto u16 = [&](uint32_t v) {
    w.push_back(uint8_t(v));
    w.push_back(uint8_t(v >> 8));
  };
  auto tag = [&](const char* t) {
    for (int i = 0; i < 4; ++i) w.push_back(uint8_t(t[i]));
  };
  tag("RIFF");
  u32(36 + frames * 2);
  tag("WAVE");
  tag("fmt ");
  u32(16);
  u16(1);  // PCM
  u16(1);  // mono
  u32(rate);
  u32(rate * 2);
  u16(2);
  u16(16);
  tag("data");
  u32(frames * 2);
  for (uint32_t i = 0; i < frames; ++i) u16(16384 - 8192 * i / frames);
  return w;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// Each hit owns the events (frames, in order) from half a gap before it to half a gap before the
// next: its first is its answer, the rest are extra, as are events no hit owns.
TFigures Score(const std::vector<uint64_t>& onsets, const std::vector<uint64_t>& events,
               uint64_t seg) {
  TFigures f;
  std::vector<double> latencies;
  size_t owned = 0;
  for (uint64_t onset : onsets) {
    const uint64_t from = onset - seg / 2, to = onset + 2 * seg - seg / 2;
    std::vector<uint64_t> mine;
    for (uint64_t e : events)
      if (e >= from && e < to) mine.push_back(e);
    owned += mine.size();
    if (mine.empty()) {
      ++f.missed;
      continue;
    }
    f.extra += static_cast<int>(mine.size()) - 1;
    if (mine.front() < onset) {
      ++f.early;
      continue;
    }
    latencies.push_back(static_cast<double>(mine.front() - onset));
  }
  f.extra += static_cast<int>(events.size() - owned);
  f.hits = static_cast<int>(latencies.size());
  if (!latencies.empty()) {
    f.median = Median(latencies);
    f.max = *std::max_element(latencies.begin(), latencies.end());
  }
  return f;
}

// The note-ons and note-offs a test client received, as frames and a count.
void NoteFrames(const JackTestClient& sink, std::vector<uint64_t>& ons, int& offs) {
  for (const auto& ev : sink.Midi()) {
    if (ev.bytes.size() < 3) continue;
    if ((ev.bytes[0] & 0xF0) == 0x90 && ev.bytes[2] != 0)
      ons.push_back(ev.frame);
    else if ((ev.bytes[0] & 0xF0) == 0x80 || (ev.bytes[0] & 0xF0) == 0x90)
      ++offs;
  }
}

void BM_OnsetToNoteOnAndSound(benchmark::State& state) {
  const auto period = static_cast<uint32_t>(state.range(0));
  const auto block = static_cast<uint32_t>(state.range(1));
  TResult& r = g_results[{period, block}];
  auto fail = [&](const char* why) {
    r.error = why;
    state.SkipWithError(why);
  };
  setenv("JACK_NO_START_SERVER", "1", 1);
  TServer server(period);
  if (!server.ok)
    return fail(g_pipewire ? "PipeWire did not take the quantum and rate"
                           : "JACK server did not start");
  // Bursts and gaps long enough for the note-off to come before the next hit, for each note to
  // be told from the next hit's, and for a sound's lock-out to fit between two hits with room to
  // spare on either side whatever the block.
  const uint64_t seg = std::max<uint64_t>({4 * uint64_t{period}, 4 * uint64_t{block}, 2048});
  // The lock-out after a sound (about twice the inhibition duration) must outlast the blocks of
  // its own hit (up to kSoundBurst + block frames after the sound) and end before the next hit's
  // first block (2 seg - block frames after it): it ends halfway between.
  const uint64_t lockout_frames = (kSoundBurst + 2 * seg) / 2;
  r.inhibition_ms = static_cast<int>(lockout_frames * 1000 / kRate / 2);
  for (auto _ : state) {
    // The hit comes from one client and the note goes to another: one client doing both would
    // close a loop, which the server breaks by delaying one edge a whole period.
    JackTestClient client("tocsin_lat_in");
    JackTestClient sink("tocsin_lat_out");
    TRealTriggerChain chain("Tocsin");
    chain.SetChannelSound(1, ClickImage(kRate, kClickFrames));
    chain.SetInhibitionDuration(r.inhibition_ms);
    if (!client.Ok() || !sink.Ok()) return fail("a test client did not open");
    if (client.Period() != period) return fail("the server runs another period");
    if (!chain.Start(client.Name(), kRate, block, CutUtf8(sink.MidiInPort(), kMidiProductNameMax)))
      return fail("the capture road did not start");
    if (!sink.Connect(chain.SoundOutPort(0), sink.AudioInPort(0)) ||
        !sink.Connect(client.AudioOutPort(1), sink.AudioInPort(1)))
      return fail("the listening client could not be connected");
    if (!chain.WaitSoundsReady(20s)) return fail("the click was not ready");
    if (!chain.Pump([&] { return chain.Blocks() >= 16; }, 30s)) return fail("no blocks came");
    TSignalScript script;
    script.Silence(seg);
    for (int i = 0; i < kHits; ++i) {
      script.Silence(g_hit_offset);
      const uint64_t at = script.Length();
      script.Burst(0, -20, seg).At(at).Burst(1, -20, kSoundBurst).Silence(seg - g_hit_offset);
    }
    const size_t sounds_before = sink.SoundStartCount(0);
    const size_t direct_before = sink.SoundStartCount(1);
    // Each burst is timed from the frame the playing client wrote it at: a cycle the server
    // skipped for that client must not count as latency of ours.
    std::vector<uint64_t> marks;
    for (const auto& b : script.Bursts()) marks.push_back(b.Start);
    client.Play(script.Left(), script.Right(), marks);
    // The UI thread's pumping ends each inhibition.
    if (!chain.Pump([&] { return !client.Playing(); }, 180s))
      return fail("the test client did not play");
    chain.Pump(
        [&] {
          return sink.MidiCount() >= 2 * kHits && sink.SoundStartCount(0) >= sounds_before + kHits;
        },
        10s);
    chain.Pump([] { return false; }, 200ms);  // anything extra still on its way
    r.seen = client.Period();
    const auto played = client.MarkFrames();
    if (played.size() != marks.size()) return fail("the test client did not play every burst");
    std::vector<uint64_t> ons;
    int offs = 0;
    NoteFrames(sink, ons, offs);
    std::vector<uint64_t> onsets[2];
    for (size_t i = 0; i < played.size(); ++i)
      onsets[script.Bursts()[i].Channel].push_back(played[i]);
    const auto heard = sink.SoundStarts(0);
    r.notes = Score(onsets[0], ons, seg);
    r.sounds =
        Score(onsets[1], std::vector<uint64_t>(heard.begin() + sounds_before, heard.end()), seg);
    const auto direct = sink.SoundStarts(1);
    r.direct =
        Score(onsets[1], std::vector<uint64_t>(direct.begin() + direct_before, direct.end()), seg);
    r.offs_missing = std::max(0, static_cast<int>(ons.size()) - offs);
    r.xruns = client.Xruns() + sink.Xruns();
    r.gaps = client.Gaps() + sink.Gaps();
    r.tocsin_gaps = chain.Jack().Gaps();
    r.left_behind = chain.Jack().LostCycles();
    r.replayed = chain.MidiService().Replayed();
    r.queued = chain.MidiService().Queued();
    r.cycle_blocks = chain.Engine().AudioIn().CycleBlocks();
    r.fallbacks = chain.Engine().AudioIn().CycleFallbacks();
    chain.Stop();
  }
  state.counters["median_frames"] = r.notes.median;
  state.counters["max_frames"] = r.notes.max;
  state.counters["sound_median_frames"] = r.sounds.median;
  state.counters["sound_max_frames"] = r.sounds.max;
}

BENCHMARK(BM_OnsetToNoteOnAndSound)
    ->ArgsProduct({{64, 256, 1024}, {32, 256, 1024}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

void BM_HitOnsetToNoteOn(benchmark::State& state) {
  const auto period = static_cast<uint32_t>(state.range(0));
  constexpr uint32_t kBlock = 256;
  THitResult& r = g_hit_results[period];
  auto fail = [&](const char* why) {
    r.error = why;
    state.SkipWithError(why);
  };
  setenv("JACK_NO_START_SERVER", "1", 1);
  TServer server(period);
  if (!server.ok)
    return fail(g_pipewire ? "PipeWire did not take the quantum and rate"
                           : "JACK server did not start");
  const uint64_t seg = std::max<uint64_t>({4 * uint64_t{period}, 4 * uint64_t{kBlock}, 4096});
  for (auto _ : state) {
    JackTestClient client("tocsin_lat_in");
    JackTestClient sink("tocsin_lat_out");
    TRealTriggerChain chain("Tocsin");
    TMyHit hit;
    hit.HitDetection[0] = true;
    hit.Pad[0].ScanMs = kHitScanMs;
    hit.Pad[0].NoteLengthMs = 20;
    // The bursts' first samples are the first above the threshold: no filter moves them.
    hit.Pad[0].HighPassHz = hit.Pad[0].LowPassHz = 0;
    chain.SetHitSettings(hit);
    if (!client.Ok() || !sink.Ok() || client.Period() != period ||
        !chain.Start(client.Name(), kRate, kBlock,
                     CutUtf8(sink.MidiInPort(), kMidiProductNameMax)) ||
        !chain.Pump([&] { return chain.Blocks() >= 16; }, 30s)) {
      return fail("test client or capture road did not start");
    }
    TSignalScript script;
    script.Silence(seg);
    for (int i = 0; i < kHits; ++i) {
      // Each hit a few frames further into its cycle, so that scans end in the cycle of their
      // hit and in the next one alike.
      script.Silence((g_hit_offset + 7 * static_cast<uint64_t>(i)) % period);
      script.Burst(0, -20, seg / 2).Silence(seg + seg / 2);
    }
    std::vector<uint64_t> marks;
    for (const auto& b : script.Bursts()) marks.push_back(b.Start);
    client.Play(script.Left(), script.Right(), marks);
    if (!chain.Pump([&] { return !client.Playing(); }, 180s))
      return fail("the test client did not play");
    chain.Pump([&] { return sink.MidiCount() >= 2 * kHits; }, 10s);
    chain.Pump([] { return false; }, 200ms);
    r.seen = client.Period();
    const auto played = client.MarkFrames();
    if (played.size() != marks.size()) return fail("the test client did not play every burst");
    std::vector<uint64_t> ons;
    int offs = 0;
    NoteFrames(sink, ons, offs);
    r.notes = Score(played, ons, seg);
    r.offs_missing = std::max(0, static_cast<int>(ons.size()) - offs);
    r.xruns = client.Xruns() + sink.Xruns();
    r.gaps = client.Gaps() + sink.Gaps();
    r.tocsin_gaps = chain.Jack().Gaps();
    chain.Stop();
  }
  state.counters["median_frames"] = r.notes.median;
  state.counters["max_frames"] = r.notes.max;
}

BENCHMARK(BM_HitOnsetToNoteOn)
    ->Arg(64)
    ->Arg(256)
    ->Arg(1024)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// The goals for blocks no longer than the period: a few frames at the median, one block at most,
// nothing missed or early (and every note-off).
const char* Targets(uint32_t period, uint32_t block, const TFigures& f, bool offs_ok) {
  if (block > period) return "-";
  const bool met = f.median <= 4 && f.max <= block && f.missed == 0 && f.early == 0 && offs_ok;
  return met ? "met" : "NOT met";
}

std::string Late(const TResult& r) {
  return std::to_string(r.xruns) + "/" + std::to_string(r.gaps) + "/" +
         std::to_string(r.tocsin_gaps);
}

bool PrintTables() {
  bool failed = false;
  std::printf("\n%s: onset to note-on at another client, frames at %u Hz\n", ServerLabel(), kRate);
  std::printf(
      "(late: xruns of the test clients / cycles the server ran without them / without "
      "Tocsin)\n");
  std::printf("%6s %6s %6s %5s %8s %8s %7s %6s %6s %10s %10s %8s\n", "period", "seen", "block",
              "hits", "median", "max", "missed", "extra", "early", "offs-lost", "late", "targets");
  for (const auto& [key, r] : g_results) {
    if (!r.error.empty()) {
      std::printf("%6u %6s %6u  not measured: %s\n", key.first, "-", key.second, r.error.c_str());
      failed = failed || !Lenient(key.first);
      continue;
    }
    const TFigures& f = r.notes;
    std::printf("%6u %6u %6u %5d %8.1f %8.1f %7d %6d %6d %10d %10s %8s%s\n", key.first, r.seen,
                key.second, f.hits, f.median, f.max, f.missed, f.extra, f.early, r.offs_missing,
                Late(r).c_str(), Targets(key.first, key.second, f, r.offs_missing == 0),
                Lenient(key.first) ? "  (printed only)" : "");
    // Every hit one note-on, no sooner than the hit, and its note-off.
    if (!Lenient(key.first))
      failed = failed || f.missed > 0 || f.early > 0 || f.extra > 0 || r.offs_missing > 0;
  }
  std::printf(
      "\n%s: onset to the first sound at another client listening to Tocsin:out_1, frames "
      "at %u Hz\n",
      ServerLabel(), kRate);
  std::printf(
      "(direct: the same bursts straight from the playing client to the listening one, "
      "max frames/missed or early/extra)\n");
  std::printf("%6s %6s %6s %5s %8s %8s %7s %6s %6s %10s %10s %8s %8s\n", "period", "seen", "block",
              "hits", "median", "max", "missed", "extra", "early", "inhib-ms", "late", "targets",
              "direct");
  for (const auto& [key, r] : g_results) {
    if (!r.error.empty()) continue;
    const TFigures& f = r.sounds;
    const std::string direct = std::to_string(static_cast<long>(r.direct.max)) + "/" +
                               std::to_string(r.direct.missed + r.direct.early) + "/" +
                               std::to_string(r.direct.extra);
    std::printf("%6u %6u %6u %5d %8.1f %8.1f %7d %6d %6d %10d %10s %8s %8s\n", key.first, r.seen,
                key.second, f.hits, f.median, f.max, f.missed, f.extra, f.early, r.inhibition_ms,
                Late(r).c_str(), Targets(key.first, key.second, f, true), direct.c_str());
    if (!Lenient(key.first)) failed = failed || f.missed > 0 || f.early > 0;
  }
  std::printf(
      "\n%s: captured blocks that left the cycle for the capture's wave thread, and why\n"
      "(lock held: capture / engine / a pin or sink; behind: after an earlier one; queued: MIDI "
      "events sent outside the cycle; left behind: Tocsin's cycles the server went on without, "
      "events written again after them)\n",
      ServerLabel());
  std::printf("%6s %6s %8s %8s %8s %8s %8s %8s %8s %8s %12s\n", "period", "block", "blocks", "left",
              "capture", "engine", "pin", "behind", "other", "queued", "left-behind");
  for (const auto& [key, r] : g_results) {
    if (!r.error.empty()) continue;
    const TALCycleFallbacks& b = r.fallbacks;
    const std::string behind = std::to_string(r.left_behind) + "/" + std::to_string(r.replayed);
    std::printf(
        "%6u %6u %8llu %8llu %8llu %8llu %8llu %8llu %8llu %8llu %12s\n", key.first, key.second,
        static_cast<unsigned long long>(r.cycle_blocks), static_cast<unsigned long long>(b.Total()),
        static_cast<unsigned long long>(b.CaptureLock),
        static_cast<unsigned long long>(b.EngineLock), static_cast<unsigned long long>(b.GroupLock),
        static_cast<unsigned long long>(b.Behind), static_cast<unsigned long long>(b.Other),
        static_cast<unsigned long long>(r.queued), behind.c_str());
  }
  std::printf(
      "\n%s: hit detection (\"Frappe\", scan %.0f ms): onset to note-on at another client, "
      "frames at %u Hz\n",
      ServerLabel(), kHitScanMs, kRate);
  std::printf("%6s %6s %5s %8s %8s %7s %7s %6s %6s %10s %10s %8s\n", "period", "seen", "hits",
              "median", "max", "limit", "missed", "extra", "early", "offs-lost", "late", "targets");
  for (const auto& [period, r] : g_hit_results) {
    if (!r.error.empty()) {
      std::printf("%6u %6s  not measured: %s\n", period, "-", r.error.c_str());
      failed = true;
      continue;
    }
    const TFigures& f = r.notes;
    const bool met = f.max <= static_cast<double>(HitLimitFrames()) && f.missed == 0 &&
                     f.early == 0 && f.extra == 0 && r.offs_missing == 0;
    const std::string late = std::to_string(r.xruns) + "/" + std::to_string(r.gaps) + "/" +
                             std::to_string(r.tocsin_gaps);
    std::printf("%6u %6u %5d %8.1f %8.1f %7llu %7d %6d %6d %10d %10s %8s\n", period, r.seen, f.hits,
                f.median, f.max, static_cast<unsigned long long>(HitLimitFrames()), f.missed,
                f.extra, f.early, r.offs_missing, late.c_str(), met ? "met" : "NOT met");
    if (!Lenient(period)) failed = failed || !met;
  }
  return failed;
}

}  // namespace

int main(int argc, char** argv) {
  // Our options, before the benchmark library reads the rest.
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--pipewire") == 0)
      g_pipewire = true;
    else if (std::strncmp(argv[i], "--hit-offset=", 13) == 0)
      g_hit_offset = std::strtoull(argv[i] + 13, nullptr, 10) % 32;
    else if (std::strncmp(argv[i], "--lenient-periods=", 18) == 0)
      for (char* p = argv[i] + 18; *p;) {
        char* end = nullptr;
        g_lenient.push_back(static_cast<uint32_t>(std::strtoul(p, &end, 10)));
        if (end == p) break;
        p = *end == ',' ? end + 1 : end;
      }
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  const bool failed = PrintTables();
  benchmark::Shutdown();
  return failed ? 1 : 0;
}
