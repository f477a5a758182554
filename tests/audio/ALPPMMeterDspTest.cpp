#include "audio/ALPPMMeterDsp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

TEST(MeterPeriod, FramesPerPeriod) {
  EXPECT_EQ(MeterPeriodFrames(44100, 100), 4410u);
  EXPECT_EQ(MeterPeriodFrames(11025, 100), 1102u);  // integer division
  EXPECT_EQ(MeterPeriodFrames(44100, 0), 1u);       // never empty
  EXPECT_EQ(MeterPeriodFrames(0, 100), 1u);
  EXPECT_EQ(MeterPeriodFrames(192000, 4000000), 768000000u);  // no 32-bit overflow
}

TEST(DcBlocker, CoefficientFollowsRate) {
  EXPECT_NEAR(TALDcBlocker(44100).Alpha(), 1.0 - 125.66370614359172 / 44100, 1e-7);
  EXPECT_NEAR(TALDcBlocker(8000).Alpha(), 1.0 - 125.66370614359172 / 8000, 1e-7);
}

TEST(DcBlocker, EightBitSilenceGivesOneTransientOf128ThenDecays) {
  TALDcBlocker filter(44100);
  std::vector<float> block(4410, 128.0f);
  filter.Process(block.data(), block.size());
  EXPECT_EQ(block[0], 0.0f);    // one-sample delay: zeroed history
  EXPECT_EQ(block[1], 128.0f);  // the step from 0 to 128
  EXPECT_NEAR(block[2], 128.0f * filter.Alpha(), 1e-3);
  EXPECT_LT(block.back(), 128.0f * 0.0001f);
  // The history carries over: the next period of the same stream starts where this one ended.
  std::vector<float> next(10, 128.0f);
  filter.Process(next.data(), next.size());
  EXPECT_NEAR(next[0], block.back() * filter.Alpha(), 1e-3);
}

TEST(DcBlocker, DecayingTailEndsAtExactlyZero) {
  TALDcBlocker filter(44100);
  std::vector<float> block(44100, 128.0f);
  filter.Process(block.data(), block.size());
  EXPECT_EQ(block.back(), 0.0f);  // not a subnormal that never goes away
  std::vector<float> next(4410, 128.0f);
  filter.Process(next.data(), next.size());
  for (float y : next) ASSERT_EQ(y, 0.0f);
}

TEST(DcBlocker, PassesAudioBandAtUnityAndRemovesOffset) {
  TALDcBlocker filter(44100);
  std::vector<float> block(44100);
  for (size_t i = 0; i < block.size(); ++i)
    block[i] = 1000.0f + 10000.0f * std::sin(2 * std::numbers::pi * 1000.0 * i / 44100.0);
  filter.Process(block.data(), block.size());
  float peak = 0.0f, mean = 0.0f;
  for (size_t i = 22050; i < block.size(); ++i) {
    peak = std::max(peak, std::fabs(block[i]));
    mean += block[i];
  }
  mean /= 22050.0f;
  EXPECT_NEAR(peak, 10000.0f, 100.0f);
  EXPECT_NEAR(mean, 0.0f, 5.0f);
}

TEST(PeakRelease, RisesAtOnceAndFallsByEPerHalfLife) {
  TALPeakRelease peak;
  peak.SetRelease(44100, 1000);
  std::vector<float> block(44100, 0.0f);
  block[0] = -10000.0f;  // magnitude counts
  EXPECT_EQ(peak.Process(block.data(), 1), 10000.0);
  const double after = peak.Process(block.data() + 1, 44100 - 1);
  EXPECT_NEAR(after, 3679.0, 2.0);  // 10000 / e after one second
}

TEST(PeakRelease, ShorterHalfLifeFallsFaster) {
  TALPeakRelease slow, fast;
  slow.SetRelease(44100, 1000);
  fast.SetRelease(44100, 100);
  slow.SetPeak(1000.0);
  fast.SetPeak(1000.0);
  std::vector<float> silence(4410, 0.0f);
  EXPECT_NEAR(fast.Process(silence.data(), silence.size()), 367.9, 0.5);
  EXPECT_GT(slow.Process(silence.data(), silence.size()), 900.0);
}

TEST(PeakRelease, FollowsTheSignalDownButNotBelowIt) {
  TALPeakRelease peak;
  peak.SetRelease(44100, 1);  // fast enough to reach the signal within the block
  peak.SetPeak(1000.0);
  std::vector<float> block(2000, 300.0f);
  EXPECT_EQ(peak.Process(block.data(), block.size()), 300.0);
}

TEST(PeakRelease, DropsToZeroAtTheFloor) {
  TALPeakRelease peak;
  peak.SetRelease(44100, 1000);
  peak.SetPeak(0.005);
  float zero = 0.0f;
  EXPECT_EQ(peak.Process(&zero, 1), 0.0);
  peak.SetPeak(0.0051);
  EXPECT_GT(peak.Process(&zero, 1), 0.0);
}

TEST(PeakRelease, NonPositiveHalfLifeFollowsTheSignalInsteadOfTurningNaN) {
  TALPeakRelease peak;
  peak.SetRelease(44100, 0);
  peak.SetPeak(500.0);
  float v = 20.0f;
  EXPECT_EQ(peak.Process(&v, 1), 20.0);
  peak.SetRelease(0, 1000);
  peak.SetPeak(500.0);
  EXPECT_EQ(peak.Process(&v, 1), 20.0);
}

}  // namespace
