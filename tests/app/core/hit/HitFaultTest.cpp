// The hit engine on bad input and odd calls: steady tones, DC, clipping, silence, samples that
// are not numbers, a new sample rate, pads switched off, settings out of range.
#include <gtest/gtest.h>

#include <limits>

#include "HitTestSupport.h"

namespace {
constexpr uint32_t kRate = 48000;

std::vector<float> Tone(size_t n, double amp, double hz, size_t from = 0, size_t to = SIZE_MAX) {
  std::vector<float> s(n, 0.f);
  for (size_t i = from; i < n && i < to; ++i) {
    s[i] = static_cast<float>(amp * std::sin(2 * M_PI * hz * static_cast<double>(i) / kRate));
  }
  return s;
}

TEST(HitFaults, ASteadyToneFiresOnceUntilItStopsAndComesBack) {
  for (const bool filtered : {false, true}) {
    for (const double hz : {50.0, 1000.0}) {
      THitEngine engine(1);
      THitSettings s = TwoPads(-40);
      if (filtered) s.Pad[0] = THitPadSettings{.Enabled = true, .ThresholdDb = -40};
      engine.Configure(s, kRate);
      // One second of tone, 300 ms of silence, one more second.
      auto x = Tone(kRate, 0.5, hz, 0, kRate / 2);
      auto more = Tone(kRate * 2, 0.5, hz, kRate * 8 / 10, SIZE_MAX);
      for (size_t i = 0; i < x.size(); ++i) more[i] += x[i];
      TRecordingSink sink;
      Feed(engine, {more}, 256, sink);
      const auto on = sink.Of('n');
      ASSERT_EQ(on.size(), 2u) << hz << " Hz, filter " << filtered;
      EXPECT_LT(on[0].Frame, 100u);
      EXPECT_NEAR(static_cast<double>(on[1].Frame), kRate * 0.8, 100);
    }
  }
}

TEST(HitFaults, ADcOffsetNeitherFiresNorShiftsTheHitsOnIt) {
  auto hits = std::vector<float>(kRate, 0.f);
  for (size_t k = 0; k < 4; ++k) AddHit(hits, 5000 + k * 10000, 0.1 * (k + 1), 300, 400);
  auto run = [&](float dc) {
    THitEngine engine(1);
    engine.Configure(TwoPads(-40), kRate);
    auto x = hits;
    for (float& v : x) v += dc;
    TRecordingSink sink;
    Feed(engine, {x}, 64, sink);
    return sink.Of('n');
  };
  const auto clean = run(0), offset = run(0.3f);  // an offset far above the threshold
  ASSERT_EQ(clean.size(), 4u);
  ASSERT_EQ(offset.size(), 4u);
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_NEAR(static_cast<double>(offset[k].Frame), static_cast<double>(clean[k].Frame), 2);
    EXPECT_NEAR(offset[k].Value, clean[k].Value, 2);
  }
}

TEST(HitFaults, AClippedFlatToppedHitIsOneHit) {
  THitEngine engine(1);
  engine.Configure(TwoPads(-40), kRate);
  std::vector<float> x(kRate, 0.f);
  AddHit(x, 1000, 6.0, 80, 4000);  // far over full scale
  for (float& v : x) v = std::clamp(v, -1.f, 1.f);
  TRecordingSink sink;
  Feed(engine, {x}, 128, sink);
  ASSERT_EQ(sink.Of('n').size(), 1u);
  EXPECT_EQ(sink.Of('n')[0].Value, 127);
}

TEST(HitFaults, SilentMissingAndGarbageChannelsFireNothingAndHarmNoOtherPad) {
  THitEngine engine(3);
  THitSettings s = TwoPads(-40);
  s.Pad[2] = s.Pad[0];
  engine.Configure(s, kRate);
  std::vector<float> silent(kRate, 0.f), live(kRate, 0.f), garbage(kRate, 0.f);
  AddHit(live, 30000, 0.5, 200, 300);
  for (size_t i = 1000; i < 1100; ++i) {
    garbage[i] = i % 2 ? std::numeric_limits<float>::quiet_NaN() : 0.f;
  }
  AddHit(garbage, 30000, 0.5, 200, 300);
  TRecordingSink sink;
  for (size_t at = 0; at < live.size(); at += 480) {
    const float* in[3] = {silent.data() + at, nullptr, live.data() + at};
    sink.now = at;
    engine.Process(in, 480, at, sink);
  }
  engine.Process(nullptr, 480, live.size(), sink);  // no inputs at all: silence
  ASSERT_EQ(sink.Of('n').size(), 1u);
  EXPECT_EQ(sink.Of('n')[0].Pad, 2);

  // Not-a-number samples count as silence, infinite ones as far over full scale: the pad goes
  // on detecting afterwards.
  THitEngine g(1);
  g.Configure(TwoPads(-40), kRate);
  TRecordingSink gs;
  garbage[2000] = std::numeric_limits<float>::infinity();
  Feed(g, {garbage}, 256, gs);
  const auto on = gs.Of('n');
  ASSERT_FALSE(on.empty());
  EXPECT_LE(on.size(), 2u);
  EXPECT_NEAR(static_cast<double>(on.back().Frame), 30000, 5);
}

TEST(HitFaults, ANewSampleRateRescalesTheTimesAndANonsenseRateKeepsTheLastOne) {
  for (const uint32_t rate : {44100u, 96000u, 0u}) {
    THitEngine engine(1);
    THitSettings s = TwoPads(-40);
    s.Pad[0].ScanMs = 4;
    s.Pad[0].NoteLengthMs = 50;
    engine.Configure(s, kRate);
    engine.Configure(s, rate);
    const uint32_t used = rate ? rate : kRate;
    std::vector<float> x(used, 0.f);
    AddHit(x, 1000, 0.5, 200, 300, used);
    TRecordingSink sink;
    Feed(engine, {x}, 1, sink);
    ASSERT_EQ(sink.events.size(), 2u);
    EXPECT_EQ(sink.events[0].SentAt - sink.events[0].Frame, used * 4 / 1000) << rate;
    EXPECT_EQ(sink.events[1].Frame - sink.events[0].Frame, used * 50 / 1000) << rate;
  }
}

TEST(HitFaults, APadSwitchedOffOrReleasedLetsGoOfItsNoteAtOnce) {
  THitEngine engine(2);
  THitSettings s = TwoPads(-40);
  s.Pad[0].NoteLengthMs = s.Pad[1].NoteLengthMs = 1000;
  engine.Configure(s, kRate);
  std::vector<float> x(4800, 0.f);
  AddHit(x, 100, 0.5, 200, 300);
  TRecordingSink sink;
  Feed(engine, {x, x}, 4800, sink);
  ASSERT_EQ(sink.Of('n').size(), 2u);
  EXPECT_TRUE(engine.Sounding(0));
  s.Pad[0].Enabled = false;
  engine.Configure(s, kRate);
  Feed(engine, {x, std::vector<float>(4800, 0.f)}, 4800, sink, 4800);
  ASSERT_EQ(sink.Of('f', 0).size(), 1u);
  EXPECT_EQ(sink.Of('f', 0)[0].Frame, 4800u);
  EXPECT_EQ(sink.Of('n', 0).size(), 1u);  // its input is no longer heard
  engine.ReleaseAll(9600, sink);
  ASSERT_EQ(sink.Of('f', 1).size(), 1u);
  EXPECT_EQ(sink.Of('f', 1)[0].Frame, 9600u);
  EXPECT_FALSE(engine.Sounding(1));
  engine.ReleaseAll(9700, sink);  // nothing left to end
  EXPECT_EQ(sink.Of('f').size(), 2u);
}

TEST(HitFaults, SettingsOutOfRangeAreClampedAndNotANumberGivesTheDefault) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  THitSettings s = TwoPads(12);  // above full scale
  THitPadSettings& p = s.Pad[0];
  p.ScanMs = -5;
  p.MaskMs = 1e12;
  p.DecayMs = nan;
  p.NoteLengthMs = std::numeric_limits<double>::infinity();
  p.Curve = static_cast<TVelocityCurve>(77);
  p.Event = static_cast<THitEvent>(9);
  s.CrosstalkRatioDb = nan;
  const THitSettings c = s.Clamped();
  const THitPadSettings& q = c.Pad[0];
  EXPECT_EQ(q.ThresholdDb, 0);
  EXPECT_EQ(q.ScanMs, 0);
  EXPECT_EQ(q.MaskMs, 1000);
  EXPECT_EQ(q.DecayMs, THitPadSettings{}.DecayMs);
  EXPECT_EQ(q.NoteLengthMs, 10000);
  EXPECT_EQ(q.Curve, TVelocityCurve::kLinear);
  EXPECT_EQ(q.Event, THitEvent::kNote);
  EXPECT_EQ(c.CrosstalkRatioDb, THitSettings{}.CrosstalkRatioDb);
  // The engine applies the same limits itself: a negative scan is no scan.
  THitEngine engine(1);
  p.ThresholdDb = -40;
  engine.Configure(s, kRate);
  std::vector<float> x(kRate, 0.f);
  AddHit(x, 1000, 0.5, 200, 300);
  TRecordingSink sink;
  Feed(engine, {x}, 1, sink);
  ASSERT_EQ(sink.Of('n').size(), 1u);
  EXPECT_EQ(sink.Of('n')[0].SentAt, sink.Of('n')[0].Frame);
}

}  // namespace
