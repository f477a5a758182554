// Detection on recorded drums: builds the takes from the kit, runs "Niveau" (the block road, as
// tocsin-render runs it) at blocks of 64, 256 and 1024 and "Frappe" at blocks of 64 and 256 down
// two roads: THitEngine itself with its default settings ("engine"), and tocsin-render's whole
// road from its settings and options to its notes ("render"). Prints per take, kind, road, block
// size and channel: recall, precision, F1, doubles, bleed triggers, merged hits, velocity rank
// correlation, onset error and the longest note. Exits 1 when hit detection's F1 over all takes
// falls under the floors, or its onsets go over their ceilings (DetectionTable.h), on either
// road, or when the two roads' notes differ in anything (frame, velocity, length); 2 when the kit
// cannot be read or an option is wrong.
//   --kit DIR           the kit folder (default: hydrogen-data's GMRockKit)
//   --threshold DB      both channels' threshold, whole dB (default kThresholdDb)
//   --set [P.]NAME=V    a hit setting for both pads, or pad P only (ScanMs, MaskMs, DecayMs,
//                       RetriggerDb, ReleaseDb, NoteLengthMs, HighPassHz, LowPassHz,
//                       FullVelocityDb, Curve, CrosstalkWindowMs, CrosstalkRatioDb,
//                       CrosstalkHoldMs); both roads take it
//   --seed N            build the takes from another seed (to check a tuning on other takes)
//   --hit-only          skip "Niveau"
//   --totals            print the totals only
//   --detail            list every miss and extra note of "Frappe" at blocks of 256
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "DetectionRuns.h"
#include "DetectionTable.h"
#include "DrumTakes.h"
#include "TakeScore.h"

namespace {

bool SetHit(THitSettings& s, const std::string& arg) {
  const size_t eq = arg.find('=');
  if (eq == std::string::npos) return false;
  std::string name = arg.substr(0, eq);
  const double v = std::strtod(arg.c_str() + eq + 1, nullptr);
  int only = -1;
  if (name.size() > 2 && name[1] == '.' && (name[0] == '0' || name[0] == '1')) {
    only = name[0] - '0';
    name = name.substr(2);
  }
  if (name == "CrosstalkWindowMs") return s.CrosstalkWindowMs = v, true;
  if (name == "CrosstalkRatioDb") return s.CrosstalkRatioDb = v, true;
  if (name == "CrosstalkHoldMs") return s.CrosstalkHoldMs = v, true;
  const std::map<std::string, double THitPadSettings::*> fields = {
      {"ScanMs", &THitPadSettings::ScanMs},
      {"MaskMs", &THitPadSettings::MaskMs},
      {"DecayMs", &THitPadSettings::DecayMs},
      {"RetriggerDb", &THitPadSettings::RetriggerDb},
      {"ReleaseDb", &THitPadSettings::ReleaseDb},
      {"NoteLengthMs", &THitPadSettings::NoteLengthMs},
      {"HighPassHz", &THitPadSettings::HighPassHz},
      {"LowPassHz", &THitPadSettings::LowPassHz},
      {"FullVelocityDb", &THitPadSettings::FullVelocityDb}};
  for (int p = 0; p < 2; ++p) {
    if (only >= 0 && p != only) continue;
    if (name == "Curve") {
      s.Pad[p].Curve = static_cast<TVelocityCurve>(static_cast<int>(v));
    } else {
      auto f = fields.find(name);
      if (f == fields.end()) return false;
      s.Pad[p].*(f->second) = v;
    }
  }
  return true;
}

int Run(int argc, char** argv) {
  std::string kit_folder = TDrumKit::DefaultFolder();
  int threshold = kThresholdDb;
  bool hit_only = false, totals_only = false, detail = false;
  THitSettings hit;
  TTakeMix mix;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--kit" && i + 1 < argc) {
      kit_folder = argv[++i];
    } else if (a == "--threshold" && i + 1 < argc) {
      threshold = std::atoi(argv[++i]);
    } else if (a == "--set" && i + 1 < argc) {
      if (!SetHit(hit, argv[++i])) {
        std::fprintf(stderr, "tocsin_detection_bench: unknown setting %s\n", argv[i]);
        return 2;
      }
    } else if (a == "--seed" && i + 1 < argc) {
      mix.Seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (a == "--hit-only") {
      hit_only = true;
    } else if (a == "--detail") {
      detail = true;
    } else if (a == "--totals") {
      totals_only = true;
    } else {
      std::fprintf(stderr, "tocsin_detection_bench: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  for (int p = 0; p < 2; ++p) {
    hit.Pad[p].Enabled = true;
    hit.Pad[p].ThresholdDb = threshold;
  }

  const TDrumKit kit(kit_folder);
  const std::vector<TDrumTake> takes = BuildDrumTakes(kit, mix);
  const THitPadSettings& p = hit.Pad[0];
  std::printf(
      "Detection on recorded drums (%s, %u Hz), threshold %d dB on both channels, hits matched "
      "within 30 ms\nFrappe: scan %.1f ms, mask %.1f ms, decay %.0f ms, retrigger %.1f dB, release "
      "%.1f dB, note %.0f ms, high-pass %.0f Hz, low-pass %.0f Hz, curve %d; crosstalk %.0f ms "
      "%.0f dB hold %.1f ms\n",
      kit_folder.c_str(), kit.Rate(), threshold, p.ScanMs, p.MaskMs, p.DecayMs, p.RetriggerDb,
      p.ReleaseDb, p.NoteLengthMs, p.HighPassHz, p.LowPassHz, static_cast<int>(p.Curve),
      hit.CrosstalkWindowMs, hit.CrosstalkRatioDb, hit.CrosstalkHoldMs);
  std::printf("Frappe down tocsin-render's road: tocsin-render TAKE.wav");
  for (const std::string& a : RenderHitArguments(hit, 256)) std::printf(" %s", a.c_str());
  std::printf(" (and --block 64)\n");
  for (const TDrumTake& t : takes) {
    int counts[2] = {0, 0};
    for (const TKnownHit& h : t.Hits) ++counts[h.Drum];
    std::printf("  %-17s %5.1f s: %d kicks, %d snare strokes, %d cymbals\n", t.Name.c_str(),
                static_cast<double>(t.Left.size()) / t.Rate, counts[0], counts[1],
                static_cast<int>(t.Cymbals.size()));
  }

  std::vector<TDetectionRow> rows;
  std::vector<std::string> differences;
  size_t compared = 0;
  for (const TDrumTake& t : takes) {
    if (!hit_only) {
      for (uint32_t block : {64u, 256u, 1024u}) {
        TDetectionRow r{t.Name, "Niveau", "render", block, {}};
        const auto notes = RunLevelDetection(t, threshold, block);
        for (int ch = 0; ch < 2; ++ch) r.Score[ch] = ScoreChannel(t, ch, notes);
        rows.push_back(r);
      }
    }
    for (uint32_t block : {64u, 256u}) {
      TDetectionRow r{t.Name, "Frappe", "engine", block, {}};
      const auto notes = RunHitDetection(t, hit, block);
      for (int ch = 0; ch < 2; ++ch) {
        std::vector<std::string> lines;
        r.Score[ch] = ScoreChannel(t, ch, notes, 30, detail && block == 256 ? &lines : nullptr);
        for (const std::string& l : lines) {
          std::printf("%-17s %-5s %s\n", t.Name.c_str(), ch ? "snare" : "kick", l.c_str());
        }
      }
      rows.push_back(r);
      TDetectionRow rr{t.Name, "Frappe", "render", block, {}};
      const auto rendered = RunRenderHitDetection(t, hit, block);
      for (int ch = 0; ch < 2; ++ch) rr.Score[ch] = ScoreChannel(t, ch, rendered);
      rows.push_back(rr);
      const std::string d = NotesDifference(notes, rendered, "engine", "render");
      if (!d.empty())
        differences.push_back(t.Name + ", blocks of " + std::to_string(block) + ": " + d);
      compared += notes.size();
    }
  }

  std::printf("\n");
  PrintDetectionHeader();
  if (!totals_only) {
    for (const TDetectionRow& r : rows) {
      for (int ch = 0; ch < 2; ++ch)
        PrintDetectionRow(r.Take, r.Kind, r.Road, r.Block, ch, r.Score[ch]);
    }
    std::printf("\n");
  }
  bool low = false;
  if (!hit_only) {
    for (uint32_t block : {64u, 256u, 1024u})
      PrintTotalsUnderFloor(rows, "Niveau", "render", block);
  }
  for (const char* road : {"engine", "render"}) {
    for (uint32_t block : {64u, 256u})
      low = PrintTotalsUnderFloor(rows, "Frappe", road, block) || low;
  }
  if (differences.empty()) {
    std::printf(
        "\nFrappe: the render road's notes are the engine's, %zu of %zu compared alike "
        "(frames, lengths, velocities)\n",
        compared, compared);
  } else {
    std::printf("\nFAIL: the render road's notes differ from the engine's:\n");
    for (const std::string& d : differences) std::printf("  %s\n", d.c_str());
    low = true;
  }
  return low ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tocsin_detection_bench: %s\n", e.what());
    return 2;
  }
}
