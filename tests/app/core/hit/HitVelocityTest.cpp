// From a hit's level to velocity and volume: the line from the threshold to the full level,
// its curves, and the bounds a note-on needs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "hit/HitVelocity.h"

namespace {

THitPadSettings Pad(TVelocityCurve curve, double threshold = -40, double full = 0) {
  THitPadSettings p;
  p.ThresholdDb = threshold;
  p.FullVelocityDb = full;
  p.Curve = curve;
  return p;
}

TEST(HitVelocity, TheLineRunsFromOneAtTheThresholdTo127AtFullWithTheCurvesBetween) {
  const auto lin = Pad(TVelocityCurve::kLinear), soft = Pad(TVelocityCurve::kSoft),
             hard = Pad(TVelocityCurve::kHard);
  for (const auto* p : {&lin, &soft, &hard}) {
    EXPECT_EQ(HitVelocity(-40, *p), 1);
    EXPECT_EQ(HitVelocity(0, *p), 127);
    EXPECT_EQ(HitVelocity(6, *p), 127);
    EXPECT_EQ(HitVelocity(-90, *p), 1);
    EXPECT_DOUBLE_EQ(HitVolume(0, *p), 100);
    EXPECT_DOUBLE_EQ(HitVolume(-40, *p), 0);
  }
  EXPECT_EQ(HitVelocity(-20, lin), 64);
  EXPECT_GT(HitVelocity(-20, soft), 64);
  EXPECT_LT(HitVelocity(-20, hard), 64);
  // Every curve rises with the level and stays within a note-on's range.
  for (const auto* p : {&lin, &soft, &hard}) {
    int last = 0;
    for (double db = -60; db <= 6; db += 0.25) {
      const int v = HitVelocity(db, *p);
      EXPECT_GE(v, last);
      EXPECT_GE(v, 1);
      EXPECT_LE(v, 127);
      last = v;
    }
  }
}

TEST(HitVelocity, OddSettingsAndLevelsStillGiveAValidVelocity) {
  // A full level at or under the threshold: every hit is a full one.
  EXPECT_EQ(HitVelocity(-30, Pad(TVelocityCurve::kLinear, -20, -20)), 127);
  EXPECT_EQ(HitVelocity(-10, Pad(TVelocityCurve::kHard, -20, -40)), 127);
  EXPECT_EQ(HitVelocity(std::numeric_limits<double>::quiet_NaN(), Pad(TVelocityCurve::kSoft)), 1);
  THitPadSettings fixed = Pad(TVelocityCurve::kHard);
  fixed.VelocityFollowsLevel = false;
  EXPECT_EQ(HitVelocity(-39, fixed), 100);
  EXPECT_DOUBLE_EQ(HitVolume(-39, fixed), 100);
}

}  // namespace
