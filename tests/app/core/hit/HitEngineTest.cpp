// The hit engine on synthetic signals: where a hit's note lands and when it is sent, its
// note-off, retriggering, crosstalk between pads, and independence from the caller's chunks.
#include <gtest/gtest.h>

#include "HitTestSupport.h"

namespace {
constexpr uint32_t kRate = 48000;

std::vector<float> Silence(size_t n = kRate) {
  return std::vector<float>(n, 0.f);
}

// First frame whose absolute value passes `level` (linear).
uint64_t FirstAbove(const std::vector<float>& s, double db) {
  const double level = std::pow(10.0, db / 20.0);
  for (size_t i = 0; i < s.size(); ++i) {
    if (std::fabs(s[i]) > level) return i;
  }
  return s.size();
}

TEST(HitEngine, ANoteIsStampedAtTheFirstSampleAboveAndSentWhenTheScanEnds) {
  for (double sign : {1.0, -1.0}) {  // a pulse of either polarity
    THitEngine engine(2);
    THitSettings s = TwoPads(-40);
    s.Pad[0].ScanMs = 2;
    s.Pad[0].NoteLengthMs = 40;
    engine.Configure(s, kRate);
    auto left = Silence();
    AddHit(left, 10000, 0.5, 200, 800, kRate, sign);
    TRecordingSink sink;
    Feed(engine, {left, Silence()}, 1, sink);
    ASSERT_EQ(sink.events.size(), 2u) << "sign " << sign;
    const auto on = sink.events[0];
    EXPECT_EQ(on.Kind, 'n');
    EXPECT_EQ(on.Frame, FirstAbove(left, -40));
    EXPECT_EQ(on.SentAt, on.Frame + 96);  // 2 ms at 48 kHz
    const auto off = sink.events[1];
    EXPECT_EQ(off.Kind, 'f');
    EXPECT_EQ(off.Frame, on.Frame + 1920);
  }
}

TEST(HitEngine, ASlowSoftRiseIsStampedWhereItBeganAndNeverBeforeItsOwnHit) {
  // A soft stroke swelling over 3 ms to 2 dB over the threshold: it crosses more than 2 ms after
  // it began, yet its note-on lands within 2 ms of that start; it is sent the scan time after
  // the crossing, its velocity read over the same stretch as a sharp stroke's.
  {
    THitEngine engine(1);
    engine.Configure(TwoPads(-40), kRate);
    auto x = Silence();
    const size_t start = 10000, ramp = 144;
    for (size_t i = 0; i < 4800; ++i) {
      const double env = i < ramp ? static_cast<double>(i) / ramp : std::exp(-(i - ramp) / 800.0);
      x[start + i] = static_cast<float>(0.0126 * env * std::sin(2 * M_PI * 300 * i / kRate));
    }
    const uint64_t crossing = FirstAbove(x, -40);
    ASSERT_GT(crossing, start + 96);  // more than 2 ms late at the threshold
    TRecordingSink sink;
    Feed(engine, {x}, 64, sink);
    const auto on = sink.Of('n');
    ASSERT_EQ(on.size(), 1u);
    EXPECT_GE(on[0].Frame, start);
    EXPECT_LE(on[0].Frame, start + 96);
    // 4 ms after the crossing (the detection filter moves it a little)
    EXPECT_NEAR(static_cast<double>(on[0].SentAt), static_cast<double>(crossing + 192), 24);
  }
  // The kick's bleed reaches the snare's mic first, under the threshold, then the snare's own
  // stroke: its note-on is not pulled back to the bleed.
  {
    THitEngine engine(2);
    engine.Configure(TwoPads(-40), kRate);
    auto kick = Silence(), snare = Silence();
    AddHit(kick, 20000, 0.5, 200, 800);
    AddHit(snare, 20000 + 72, 0.006, 200, 800);  // the bleed, 1.5 ms on, at -44 dB
    AddHit(snare, 20000 + 144, 0.3, 200, 800);   // the snare, 3 ms on
    TRecordingSink sink;
    Feed(engine, {kick, snare}, 64, sink);
    const auto on = sink.Of('n', 1);
    ASSERT_EQ(on.size(), 1u);
    EXPECT_GE(on[0].Frame, 20000u + 144);
  }
}

TEST(HitEngine, VelocityFollowsTheScanPeakAlongTheLineFromThresholdToFull) {
  THitEngine engine(1);
  THitSettings s = TwoPads(-40);
  s.Pad[0].FullVelocityDb = 0;
  engine.Configure(s, kRate);
  auto x = Silence(3 * kRate);
  AddHit(x, 1000, 1.0, 500, 400);                           // about 0 dB: 127
  AddHit(x, kRate, std::pow(10, -20 / 20.), 500, 400);      // -20 dB: halfway
  AddHit(x, 2 * kRate, std::pow(10, -38 / 20.), 500, 400);  // just above: low
  TRecordingSink sink;
  Feed(engine, {x}, 64, sink);
  const auto on = sink.Of('n');
  ASSERT_EQ(on.size(), 3u);
  EXPECT_GE(on[0].Value, 125);
  EXPECT_NEAR(on[1].Value, 64, 2);
  EXPECT_LE(on[2].Value, 8);
  EXPECT_GE(on[2].Value, 1);
}

TEST(HitEngine, TheDrumsOwnRingFiresOnceAndASecondStrokeOnItFiresAgain) {
  THitEngine engine(1);
  THitSettings s = TwoPads(-40);
  engine.Configure(s, kRate);
  auto x = Silence(kRate);
  // A low, long ring (60 Hz, 1/e in 100 ms), then a second stroke 80 ms later while it rings,
  // then a soft flam-like stroke 15 ms after a loud one elsewhere.
  AddHit(x, 1000, 0.5, 60, 4800);
  AddHit(x, 1000 + 3840, 0.5, 60, 4800);
  AddHit(x, 30000, 0.05, 150, 1000);
  AddHit(x, 30000 + 720, 0.6, 150, 1000);
  TRecordingSink sink;
  Feed(engine, {x}, 256, sink);
  const auto on = sink.Of('n');
  ASSERT_EQ(on.size(), 4u);
  // The second stroke passes the ring by the retrigger margin a little after its start.
  EXPECT_NEAR(static_cast<double>(on[1].Frame), 1000 + 3840, 150);
  EXPECT_NEAR(static_cast<double>(on[3].Frame), 30720, 48);
}

TEST(HitEngine, ANewHitWhileTheNoteSoundsEndsItFirstInTheSameFrame) {
  THitEngine engine(1);
  THitSettings s = TwoPads(-40);
  s.Pad[0].NoteLengthMs = 500;
  engine.Configure(s, kRate);
  auto x = Silence(kRate);
  AddHit(x, 1000, 0.1, 300, 200);
  AddHit(x, 6000, 0.5, 300, 200);
  TRecordingSink sink;
  Feed(engine, {x}, 100, sink);
  ASSERT_EQ(sink.events.size(), 4u);
  EXPECT_EQ(sink.events[1].Kind, 'f');
  EXPECT_EQ(sink.events[2].Kind, 'n');
  EXPECT_EQ(sink.events[1].Frame, sink.events[2].Frame);
  EXPECT_EQ(sink.events[3].Kind, 'f');

  // A note due to end while the next hit is being scanned ends at that hit's first frame: in
  // frame order, the pad's notes still alternate on and off.
  s.Pad[0].NoteLengthMs = 20;
  s.Pad[0].DecayMs = 20;  // the first hit dies at once: let the threshold fall as fast
  engine.Configure(s, kRate);
  x.assign(kRate, 0.f);
  AddHit(x, 1000, 0.5, 300, 100);
  AddHit(x, 1000 + 936, 0.5, 300, 100);  // 19.5 ms later
  TRecordingSink again;
  Feed(engine, {x}, 64, again, kRate);
  auto byframe = again.events;
  std::stable_sort(byframe.begin(), byframe.end(),
                   [](const TSinkCall& a, const TSinkCall& b) { return a.Frame < b.Frame; });
  ASSERT_EQ(byframe.size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(byframe[i].Kind, i % 2 ? 'f' : 'n') << i;
  EXPECT_EQ(byframe[1].Frame, byframe[2].Frame);
  EXPECT_EQ(byframe[2].Frame, kRate + 1936u);  // the second hit's own first frame
}

TEST(HitEngine, TheSameSamplesInAnyChunksGiveTheSameEvents) {
  // Two pads of hits, rings, bleed and noise at awkward places.
  std::vector<float> a = Silence(2 * kRate), b = Silence(2 * kRate);
  uint32_t seed = 7;
  for (size_t i = 0; i < a.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    a[i] += static_cast<float>((static_cast<int>(seed >> 16) % 200) * 1e-5);
    b[i] -= a[i];
  }
  for (size_t k = 0; k < 30; ++k) {
    const size_t at = 997 + k * 3001;
    const double amp = 0.02 + 0.03 * static_cast<double>(k % 7);
    AddHit(k % 2 ? a : b, at, amp, 60 + 20 * static_cast<double>(k % 5), 2000);
    AddHit(k % 2 ? b : a, at + 40, amp / 10, 60, 2000);  // bleed
  }
  std::vector<TSinkCall> first;
  for (uint32_t chunk : {1u, 64u, 256u, 1000u}) {
    THitEngine engine(2);
    THitSettings s = TwoPads(-36);
    s.Pad[1].HighPassHz = 80;
    s.Pad[0].LowPassHz = 300;
    s.CrosstalkHoldMs = 1;
    engine.Configure(s, kRate);
    TRecordingSink sink;
    Feed(engine, {a, b}, chunk, sink, 5);
    if (first.empty()) {
      first = sink.events;
      ASSERT_GE(first.size(), 40u);
    } else {
      EXPECT_EQ(sink.events, first) << "chunks of " << chunk;
    }
  }
}

TEST(HitEngine, AQuieterEchoOnAnotherPadWithinTheWindowIsDropped) {
  auto run = [](double echo_db, size_t delay, double hold_ms) {
    THitEngine engine(2);
    THitSettings s = TwoPads(-40);
    s.CrosstalkWindowMs = 30;
    s.CrosstalkRatioDb = 12;
    s.CrosstalkHoldMs = hold_ms;
    engine.Configure(s, kRate);
    auto a = Silence(), b = Silence();
    AddHit(a, 5000, 0.8, 150, 600);
    AddHit(b, 5000 + delay, 0.8 * std::pow(10, echo_db / 20), 150, 600);
    TRecordingSink sink;
    Feed(engine, {a, b}, 64, sink);
    return std::make_pair(sink.Of('n', 0).size(), sink.Of('n', 1).size());
  };
  EXPECT_EQ(run(-18, 48, 0), std::make_pair(size_t{1}, size_t{0}));    // echo 1 ms later
  EXPECT_EQ(run(-6, 48, 0), std::make_pair(size_t{1}, size_t{1}));     // loud enough: a hit
  EXPECT_EQ(run(-18, 2400, 0), std::make_pair(size_t{1}, size_t{1}));  // 50 ms later: a hit
  EXPECT_EQ(run(-18, 0, 0), std::make_pair(size_t{1}, size_t{0}));     // both at once
  // An echo whose scan ends before the louder hit crosses its threshold is dropped only when
  // the hold lets the louder hit arrive.
  auto early = [&](double hold) {
    THitEngine engine(2);
    THitSettings s = TwoPads(-40);
    s.CrosstalkHoldMs = hold;
    engine.Configure(s, kRate);
    auto a = Silence(), b = Silence();
    AddHit(b, 5000, 0.05, 150, 600);
    AddHit(a, 5000 + 200, 0.8, 150, 600);
    TRecordingSink sink;
    Feed(engine, {a, b}, 64, sink);
    return sink.Of('n', 1).size();
  };
  EXPECT_EQ(early(0), 1u);
  EXPECT_EQ(early(5), 0u);
}

TEST(HitEngine, PadsSharingAKeyNeverStartItTwiceWithoutANoteOff) {
  THitEngine engine(2);
  THitSettings s = TwoPads(-40);
  s.CrosstalkWindowMs = 0;
  s.Pad[0].Key = s.Pad[1].Key = 60;
  s.Pad[0].NoteLengthMs = s.Pad[1].NoteLengthMs = 100;
  engine.Configure(s, kRate);
  auto x = Silence();
  AddHit(x, 5000, 0.5, 150, 300);
  AddHit(x, 15000, 0.5, 150, 300);
  TRecordingSink sink;
  Feed(engine, {x, x}, 64, sink);  // one mono input driving both pads
  int sounding = 0;
  for (const auto& e : sink.events) {
    if (e.Kind == 'n') {
      EXPECT_EQ(sounding, 0) << "note-on at " << e.Frame << " over a sounding note";
      ++sounding;
    } else if (e.Kind == 'f') {
      --sounding;
    }
  }
  EXPECT_EQ(sink.Of('n').size(), 4u);
  EXPECT_EQ(sounding, 0);
}

TEST(HitEngine, ASoundPadFiresItsSoundWithAVolumeInsteadOfNotes) {
  THitEngine engine(2);
  THitSettings s = TwoPads(-40);
  s.Pad[1].Event = THitEvent::kSound;
  engine.Configure(s, kRate);
  auto x = Silence();
  AddHit(x, 5000, 1.0, 150, 300);
  TRecordingSink sink;
  Feed(engine, {Silence(), x}, 64, sink);
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].Kind, 's');
  EXPECT_GE(sink.events[0].Value, 95);
  EXPECT_LE(sink.events[0].Value, 100);
}

TEST(HitEngine, TheDetectionFilterHearsOnlyItsBandAndVelocityIsReadBehindIt) {
  auto run = [](double hz) {
    THitEngine engine(1);
    THitSettings s = TwoPads(-30);
    s.Pad[0].HighPassHz = 40;
    s.Pad[0].LowPassHz = 600;
    engine.Configure(s, kRate);
    auto x = Silence();
    AddHit(x, 5000, 0.1, hz, 2000);  // -20 dBFS
    TRecordingSink sink;
    Feed(engine, {x}, 64, sink);
    return sink.Of('n');
  };
  EXPECT_TRUE(run(8000).empty());  // a cymbal's spill
  EXPECT_TRUE(run(12).empty());    // a rumble
  const auto body = run(150);
  ASSERT_EQ(body.size(), 1u);
  EXPECT_NEAR(body[0].Value, 43, 3);  // -20 dB on the line from -30 to 0
}

TEST(HitEngine, TheThresholdStartsFromTheHitsPeakAndFallsBackToTheBase) {
  THitEngine engine(1);
  THitSettings s = TwoPads(-40);
  s.Pad[0].DecayMs = 100;
  engine.Configure(s, kRate);
  auto x = Silence(kRate / 2);
  AddHit(x, 1000, 0.5, 300, 100);  // short: gone within a few ms
  TRecordingSink sink;
  std::vector<double> thr;
  for (size_t at = 0; at < x.size(); at += 48) {
    const float* p = x.data() + at;
    engine.Process(&p, 48, at, sink);
    thr.push_back(engine.ThresholdDb(0));
  }
  EXPECT_DOUBLE_EQ(thr[10], -40);                       // before the hit
  EXPECT_GT(thr[1000 / 48 + 20], -12);                  // 20 ms on: near the peak
  EXPECT_LT(thr[1000 / 48 + 80], thr[1000 / 48 + 40]);  // falling
  EXPECT_DOUBLE_EQ(thr.back(), -40);                    // back at the base
}

}  // namespace
