#include "DetectionTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

void PrintDetectionHeader() {
  std::printf(
      "%-17s %-6s %-6s %5s %-5s %5s %5s %5s %5s %5s %4s %5s %5s %5s %5s %5s %6s %6s %4s %7s\n",
      "take", "kind", "road", "block", "drum", "hits", "notes", "rec", "prec", "F1", "dbl", "bleed",
      "merg", "spill", "other", "rho", "on.avg", "on.max", ">2ms", "longest");
}

void PrintDetectionRow(const std::string& take, const std::string& kind, const std::string& road,
                       uint32_t block, int ch, const TChannelScore& s) {
  std::printf(
      "%-17s %-6s %-6s %5u %-5s %5d %5d %5.3f %5.3f %5.3f %4d %5d %5d %5d %5d %5.2f %6.2f %6.2f "
      "%4d %7.1f\n",
      take.c_str(), kind.c_str(), road.c_str(), block, ch == 0 ? "kick" : "snare", s.Hits, s.Notes,
      s.Recall, s.Precision, s.F1, s.Doubles, s.Bleed, s.Merged, s.Spill, s.Other, s.Spearman,
      s.OnsetMeanMs, s.OnsetMaxMs, s.OnsetsOver2Ms, s.LongestNoteMs);
}

TChannelScore DetectionTotal(const std::vector<TDetectionRow>& rows, const std::string& kind,
                             const std::string& road, uint32_t block, int ch) {
  TChannelScore t;
  t.Spearman = 1;
  double onset_sum = 0;
  for (const TDetectionRow& r : rows) {
    if (r.Kind != kind || r.Road != road || r.Block != block) continue;
    const TChannelScore& s = r.Score[ch];
    t.Hits += s.Hits;
    t.Notes += s.Notes;
    t.Matched += s.Matched;
    t.Doubles += s.Doubles;
    t.Bleed += s.Bleed;
    t.Merged += s.Merged;
    t.Spill += s.Spill;
    t.Other += s.Other;
    t.Spearman = std::min(t.Spearman, s.Spearman);
    onset_sum += s.OnsetMeanMs * s.Matched;
    t.OnsetMaxMs = std::max(t.OnsetMaxMs, s.OnsetMaxMs);
    t.OnsetsOver2Ms += s.OnsetsOver2Ms;
    t.LongestNoteMs = std::max(t.LongestNoteMs, s.LongestNoteMs);
  }
  t.SetRates();
  t.OnsetMeanMs = t.Matched ? onset_sum / t.Matched : 0;
  return t;
}

bool PrintTotalsUnderFloor(const std::vector<TDetectionRow>& rows, const std::string& kind,
                           const std::string& road, uint32_t block) {
  bool low = false;
  for (int ch = 0; ch < 2; ++ch) {
    const TChannelScore s = DetectionTotal(rows, kind, road, block, ch);
    PrintDetectionRow("all takes", kind, road, block, ch, s);
    if (kind != "Frappe") continue;
    const char* drum = ch == 0 ? "kick" : "snare";
    if (s.F1 < kFloorF1[ch]) {
      std::printf("  FAIL: %s F1 %.3f under the floor %.3f\n", drum, s.F1, kFloorF1[ch]);
      low = true;
    }
    if (road == "live") continue;
    if (std::fabs(s.OnsetMeanMs) > kMaxOnsetMeanMs) {
      std::printf("  FAIL: %s onsets %.2f ms off on average, over %.1f ms\n", drum, s.OnsetMeanMs,
                  kMaxOnsetMeanMs);
      low = true;
    }
    const double share = s.Matched ? static_cast<double>(s.OnsetsOver2Ms) / s.Matched : 0;
    if (share > kMaxShareOver2Ms) {
      std::printf("  FAIL: %s onsets over 2 ms off: %.1f %% of the notes, over %.0f %%\n", drum,
                  100 * share, 100 * kMaxShareOver2Ms);
      low = true;
    }
  }
  return low;
}

std::string NotesDifference(std::vector<TDetectedNote> a, std::vector<TDetectedNote> b,
                            const char* a_name, const char* b_name) {
  const auto order = [](const TDetectedNote& x, const TDetectedNote& y) {
    return std::tie(x.On, x.Channel, x.Off, x.Velocity) <
           std::tie(y.On, y.Channel, y.Off, y.Velocity);
  };
  std::sort(a.begin(), a.end(), order);
  std::sort(b.begin(), b.end(), order);
  char line[240];
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    const TDetectedNote &x = a[i], &y = b[i];
    if (x.Channel == y.Channel && x.On == y.On && x.Off == y.Off && x.Velocity == y.Velocity)
      continue;
    std::snprintf(line, sizeof line,
                  "note %zu: %s ch %d on %llu off %llu vel %d, %s ch %d on %llu off %llu vel %d", i,
                  a_name, x.Channel, static_cast<unsigned long long>(x.On),
                  static_cast<unsigned long long>(x.Off), x.Velocity, b_name, y.Channel,
                  static_cast<unsigned long long>(y.On), static_cast<unsigned long long>(y.Off),
                  y.Velocity);
    return line;
  }
  if (a.size() == b.size()) return "";
  std::snprintf(line, sizeof line, "%s %zu notes, %s %zu", a_name, a.size(), b_name, b.size());
  return line;
}
