#include "TakeScore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace {
std::vector<double> Ranks(const std::vector<double>& v) {
  std::vector<size_t> order(v.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return v[a] < v[b]; });
  std::vector<double> rank(v.size());
  for (size_t i = 0; i < order.size();) {
    size_t j = i;
    while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]]) ++j;
    for (size_t k = i; k <= j; ++k) rank[order[k]] = (i + j) / 2.0;
    i = j + 1;
  }
  return rank;
}

bool Near(uint64_t a, uint64_t b, uint64_t tol) {
  return (a > b ? a - b : b - a) <= tol;
}
}  // namespace

double SpearmanRank(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() < 2 || a.size() != b.size()) return 0;
  const std::vector<double> ra = Ranks(a), rb = Ranks(b);
  const double n = static_cast<double>(a.size());
  const double ma = std::accumulate(ra.begin(), ra.end(), 0.0) / n;
  const double mb = std::accumulate(rb.begin(), rb.end(), 0.0) / n;
  double sab = 0, saa = 0, sbb = 0;
  for (size_t i = 0; i < ra.size(); ++i) {
    sab += (ra[i] - ma) * (rb[i] - mb);
    saa += (ra[i] - ma) * (ra[i] - ma);
    sbb += (rb[i] - mb) * (rb[i] - mb);
  }
  return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

TChannelScore ScoreChannel(const TDrumTake& take, int channel,
                           const std::vector<TDetectedNote>& all_notes, double tolerance_ms,
                           std::vector<std::string>* detail) {
  const auto say = [&](const char* what, uint64_t frame, int velocity, double extra = 0) {
    if (!detail) return;
    char line[160];
    std::snprintf(line, sizeof line, "%-12s at %9.4f s  velocity %3d  %+.2f", what,
                  static_cast<double>(frame) / take.Rate, velocity, extra);
    detail->push_back(line);
  };
  static const char* const kKinds[] = {"groove", "ghost", "flam grace", "roll"};
  const auto tol = static_cast<uint64_t>(std::lround(tolerance_ms * take.Rate / 1000));
  std::vector<const TKnownHit*> hits, others;
  for (const TKnownHit& h : take.Hits) (h.Drum == channel ? hits : others).push_back(&h);
  std::vector<const TDetectedNote*> notes;
  for (const TDetectedNote& n : all_notes) {
    if (n.Channel == channel) notes.push_back(&n);
  }

  // Every pair within the tolerance, nearest first, each hit and note used once.
  struct TPair {
    uint64_t Apart;
    size_t Hit, Note;
  };
  std::vector<TPair> pairs;
  size_t first = 0;
  for (size_t h = 0; h < hits.size(); ++h) {
    while (first < notes.size() && notes[first]->On + tol < hits[h]->Frame) ++first;
    for (size_t n = first; n < notes.size() && notes[n]->On <= hits[h]->Frame + tol; ++n) {
      const uint64_t a = hits[h]->Frame, b = notes[n]->On;
      pairs.push_back({a > b ? a - b : b - a, h, n});
    }
  }
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const TPair& x, const TPair& y) { return x.Apart < y.Apart; });
  std::vector<int> note_of(hits.size(), -1), hit_of(notes.size(), -1);
  for (const TPair& p : pairs) {
    if (note_of[p.Hit] >= 0 || hit_of[p.Note] >= 0) continue;
    note_of[p.Hit] = static_cast<int>(p.Note);
    hit_of[p.Note] = static_cast<int>(p.Hit);
  }

  TChannelScore s;
  s.Hits = static_cast<int>(hits.size());
  s.Notes = static_cast<int>(notes.size());
  std::vector<double> played, detected;
  double onset_sum = 0;
  const double ms = 1000.0 / take.Rate;
  for (size_t h = 0; h < hits.size(); ++h) {
    if (note_of[h] < 0) continue;
    const TDetectedNote& n = *notes[static_cast<size_t>(note_of[h])];
    ++s.Matched;
    played.push_back(hits[h]->Velocity);
    detected.push_back(n.Velocity);
    const double err = (static_cast<double>(n.On) - static_cast<double>(hits[h]->Frame)) * ms;
    if (std::fabs(err) > 2) ++s.OnsetsOver2Ms;
    if (std::fabs(err) > 2) say("late/early", hits[h]->Frame, hits[h]->Velocity, err);
    onset_sum += err;
    s.OnsetMaxMs = std::max(s.OnsetMaxMs, std::fabs(err));
  }
  // Hits left over next to a matched note: merged into it.
  for (size_t h = 0; h < hits.size(); ++h) {
    if (note_of[h] >= 0) continue;
    say(kKinds[static_cast<int>(hits[h]->Kind)], hits[h]->Frame, hits[h]->Velocity);
    for (size_t n = 0; n < notes.size(); ++n) {
      if (hit_of[n] >= 0 && Near(notes[n]->On, hits[h]->Frame, tol)) {
        ++s.Merged;
        break;
      }
    }
  }
  // Notes left over: a second note for a hit, the other drum's bleed, or anything else.
  for (size_t n = 0; n < notes.size(); ++n) {
    s.LongestNoteMs = std::max(s.LongestNoteMs, (notes[n]->Off - notes[n]->On) * ms);
    if (hit_of[n] >= 0) continue;
    const auto near = [&](const std::vector<const TKnownHit*>& set) {
      return std::any_of(set.begin(), set.end(),
                         [&](const TKnownHit* h) { return Near(notes[n]->On, h->Frame, tol); });
    };
    const char* what;
    if (near(hits)) {
      ++s.Doubles;
      what = "double";
    } else if (near(others)) {
      ++s.Bleed;
      what = "bleed";
    } else if (std::any_of(take.Cymbals.begin(), take.Cymbals.end(),
                           [&](uint64_t c) { return Near(notes[n]->On, c, tol); })) {
      ++s.Spill;
      what = "spill";
    } else {
      ++s.Other;
      what = "other";
    }
    say(what, notes[n]->On, notes[n]->Velocity);
  }
  s.SetRates();
  s.Spearman = SpearmanRank(played, detected);
  s.OnsetMeanMs = s.Matched ? onset_sum / s.Matched : 0;
  return s;
}
