// Hit detection ("Frappe") live: the detection benchmark's drum takes played into the program's
// JACK road (LiveTakeRun.h) on a private jackd per period (dummy driver), both channels in
// "Frappe" with the window's default settings at the benchmark's threshold, the notes received
// at another client scored as the offline benchmark scores them. Prints the same rows (road
// "live", the period as the block), the totals per period, the key checks (every note-on ended
// by its own note-off, never two note-ons on one key without a note-off between), and how the
// live notes compare with THitEngine offline: exactly the engine's notes as the program's JACK
// MIDI output must place them in the same cycles ("wire"), and, against the engine's frames,
// how many note-ons came later because the hit's scan ended in a later cycle than it began.
// Exits 1 when the F1 over the takes played falls under the floors (DetectionTable.h), a key
// check fails, a run could not be made, or the live notes differ from the wire's; 2 when the
// kit cannot be read or an option is wrong.
//   --periods P[,P...]  the servers' periods (default 64,256)
//   --take TEXT         only the takes whose name holds TEXT
//   --freewheel         play in JACK's freewheel mode instead of real time
//   --threshold DB      both channels' threshold, whole dB (default -30, as offline)
//   --kit DIR           the kit folder (default: hydrogen-data's GMRockKit)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "DetectionRuns.h"
#include "DetectionTable.h"
#include "DrumTakes.h"
#include "ExtraJackServer.h"
#include "HitRecord.h"
#include "LiveTakeRun.h"
#include "TakeScore.h"

namespace {

// How the live notes stand against the engine's own (offline, same settings): pairs of the
// same drum in order; the note-ons the wire put later than the engine's frame, by how much.
struct TAgainstEngine {
  bool Paired = false;  // as many notes of each drum
  int Later = 0;
  uint64_t MaxLater = 0;       // frames
  int OtherwiseDifferent = 0;  // a pair whose velocity differs, or a note-on earlier
};

TAgainstEngine AgainstEngine(const std::vector<TDetectedNote>& engine,
                             const std::vector<TDetectedNote>& live) {
  TAgainstEngine a;
  a.Paired = true;
  for (int ch = 0; ch < 2; ++ch) {
    std::vector<const TDetectedNote*> e, l;
    for (const auto& n : engine)
      if (n.Channel == ch) e.push_back(&n);
    for (const auto& n : live)
      if (n.Channel == ch) l.push_back(&n);
    if (e.size() != l.size()) {
      a.Paired = false;
      continue;
    }
    const auto by_on = [](const TDetectedNote* x, const TDetectedNote* y) { return x->On < y->On; };
    std::sort(e.begin(), e.end(), by_on);
    std::sort(l.begin(), l.end(), by_on);
    for (size_t i = 0; i < e.size(); ++i) {
      if (l[i]->On > e[i]->On) {
        ++a.Later;
        a.MaxLater = std::max(a.MaxLater, l[i]->On - e[i]->On);
      }
      if (l[i]->On < e[i]->On || l[i]->Velocity != e[i]->Velocity) ++a.OtherwiseDifferent;
    }
  }
  return a;
}

std::vector<uint32_t> Periods(const std::string& list) {
  std::vector<uint32_t> periods;
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) {
    const unsigned long p = std::strtoul(item.c_str(), nullptr, 10);
    if (p < 16 || p > 4096 || (p & (p - 1)) != 0) return {};
    periods.push_back(static_cast<uint32_t>(p));
  }
  return periods;
}

int Run(int argc, char** argv) {
  std::string kit_folder = TDrumKit::DefaultFolder();
  std::vector<uint32_t> periods = {64, 256};
  std::string only;
  bool freewheel = false;
  int threshold = kThresholdDb;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--periods" && i + 1 < argc) {
      periods = Periods(argv[++i]);
      if (periods.empty()) {
        std::fprintf(stderr, "tocsin_live_detection_bench: periods are powers of 2, 16 to 4096\n");
        return 2;
      }
    } else if (a == "--take" && i + 1 < argc) {
      only = argv[++i];
    } else if (a == "--freewheel") {
      freewheel = true;
    } else if (a == "--threshold" && i + 1 < argc) {
      threshold = std::atoi(argv[++i]);
    } else if (a == "--kit" && i + 1 < argc) {
      kit_folder = argv[++i];
    } else {
      std::fprintf(stderr, "tocsin_live_detection_bench: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  setenv("JACK_NO_START_SERVER", "1", 1);
  const TDrumKit kit(kit_folder);
  std::vector<TDrumTake> takes;
  for (TDrumTake& t : BuildDrumTakes(kit))
    if (t.Name.find(only) != std::string::npos) takes.push_back(std::move(t));
  if (takes.empty()) {
    std::fprintf(stderr, "tocsin_live_detection_bench: no take's name holds \"%s\"\n",
                 only.c_str());
    return 2;
  }
  // The window's "Frappe" page as it comes, both channels in "Frappe"; the engine offline gets
  // the very settings the window hands to its capture tap.
  TMyHit hit;
  TControlSnapshot controls;
  for (int c = 0; c < 2; ++c) {
    hit.HitDetection[c] = controls.HitDetection[c] = true;
    controls.Thres[c] = threshold;
  }
  const THitSettings engine_settings = WindowHitSettings(hit, controls);

  std::printf(
      "Hit detection live (%s), %u Hz, threshold %d dB on both channels, the window's default "
      "\"Frappe\" settings (scan %.1f ms, note %.0f ms); hits matched within 30 ms\n",
      freewheel ? "JACK freewheel" : "real time", kit.Rate(), threshold, hit.Pad[0].ScanMs,
      hit.Pad[0].NoteLengthMs);
  std::vector<TDetectionRow> rows;
  std::vector<std::string> faults;
  std::vector<std::string> notes;
  const auto started = std::chrono::steady_clock::now();
  for (uint32_t period : periods) {
    TExtraJackServer server(
        "tocsin-live-" + std::to_string(period) + "-" + std::to_string(getpid()), kit.Rate(),
        period);
    if (!server.Ok()) {
      faults.push_back("period " + std::to_string(period) + ": the JACK server did not start");
      continue;
    }
    TJackServerChoice choice(server.Name());
    for (const TDrumTake& t : takes) {
      const std::string what = t.Name + ", period " + std::to_string(period);
      const TLiveTakeRun run = RunLiveTake(t, hit, threshold, freewheel);
      if (!run.Error.empty()) {
        faults.push_back(what + ": " + run.Error);
        continue;
      }
      if (run.Period != period) {
        faults.push_back(what + ": the server ran at period " + std::to_string(run.Period));
        continue;
      }
      TDetectionRow r{t.Name, "Frappe", "live", period, {}};
      for (int ch = 0; ch < 2; ++ch) r.Score[ch] = ScoreChannel(t, ch, run.Notes);
      rows.push_back(r);
      if (run.Doubled || run.StrayOffs || run.Unended || run.OtherKeys) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "%s: %d note-ons on a key still sounding, %d note-offs on a silent key, %d "
                      "notes never ended, %d messages on other keys",
                      what.c_str(), run.Doubled, run.StrayOffs, run.Unended, run.OtherKeys);
        faults.push_back(line);
      }
      const auto wire = RunHitDetectionOnWire(t, engine_settings, period, run.Lead);
      const std::string d = NotesDifference(wire, run.Notes, "wire", "live");
      if (!d.empty()) faults.push_back(what + ": the live notes are not the wire's: " + d);
      const TAgainstEngine a =
          AgainstEngine(RunHitDetection(t, engine_settings, period), run.Notes);
      char line[300];
      std::snprintf(line, sizeof line, "%-17s %6u %6.1f %5zu %5s %6s %7d %7.2f %6d %12s\n",
                    t.Name.c_str(), period, run.Seconds, run.Notes.size(), d.empty() ? "yes" : "NO",
                    a.Paired && a.OtherwiseDifferent == 0 ? "yes" : "NO", a.Later,
                    a.MaxLater * 1000.0 / t.Rate, a.OtherwiseDifferent,
                    (std::to_string(run.Xruns) + "/" + std::to_string(run.Gaps) + "/" +
                     std::to_string(run.TocsinGaps) + "/" + std::to_string(run.TocsinLost))
                        .c_str());
      notes.push_back(line);
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  std::printf("\n");
  PrintDetectionHeader();
  for (const TDetectionRow& r : rows)
    for (int ch = 0; ch < 2; ++ch)
      PrintDetectionRow(r.Take, r.Kind, r.Road, r.Block, ch, r.Score[ch]);
  std::printf("\n");
  bool low = false;
  for (uint32_t period : periods)
    low = PrintTotalsUnderFloor(rows, "Frappe", "live", period) || low;
  std::printf(
      "\nAgainst THitEngine offline, same settings. wire: the live notes are the engine's run in "
      "the same cycles, each message where the JACK MIDI output places it (a note-on whose scan "
      "ended in a later cycle than its hit began at that cycle's first frame). engine: as many "
      "notes per drum as the engine's own, same velocities, none earlier; later: note-ons after "
      "the engine's frame, and the most. late: xruns/gaps of the test clients, gaps/lost cycles "
      "of Tocsin's client.\n");
  std::printf("%-17s %6s %6s %5s %5s %6s %7s %7s %6s %12s\n", "take", "period", "secs", "notes",
              "wire", "engine", "later", "max.ms", "other", "late");
  for (const std::string& l : notes) std::printf("%s", l.c_str());
  std::printf("\nlive run: %.0f s in all\n", seconds);
  for (const std::string& f : faults) std::printf("FAIL: %s\n", f.c_str());
  return low || !faults.empty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tocsin_live_detection_bench: %s\n", e.what());
    return 2;
  }
}
