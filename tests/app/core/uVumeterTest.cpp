#include "uVumeter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "AppState.h"

namespace {

struct FakeBar : IVuLevelBar {
  int min = 0, max = 100, pos = 0, depth = 0, paints = 0;
  std::string hint;
  std::vector<int> positions;
  void SetMin(int v) override { min = v; }
  void SetMax(int v) override { max = v; }
  int Min() const override { return min; }
  void SetHint(const std::string& h) override { hint = h; }
  void BeginUpdate() override { ++depth; }
  void EndUpdate() override {
    if (--depth == 0) ++paints;
  }
  void SetPosition(int v) override {
    if (v > max + 1000) throw std::range_error("too big");
    pos = v;
    positions.push_back(v);
  }
};

class uVumeterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Vumeters = TVumeters{};
    Vumeters.Left.LevelBar = &left;
    Vumeters.Right.LevelBar = &right;
    AudioInParams = TAudioInParams{};
  }
  void TearDown() override { Vumeters = TVumeters{}; }
  FakeBar left, right;
};

TEST_F(uVumeterTest, SetupGivesRangeAndThreeLineHints) {
  SetupVumeters(-96, 0);
  EXPECT_EQ(left.min, -96);
  EXPECT_EQ(left.max, 0);
  EXPECT_EQ(left.hint, "Niveau Gauche\rMax = 0 dB \rMin = -96 dB");
  EXPECT_EQ(right.hint, "Niveau Droite\rMax = 0 dB \rMin = -96 dB");
}

TEST_F(uVumeterTest, LevelIsTruncatedTowardZeroInOneRepaint) {
  SetVumeterLevel(Vumeters.Left, -12.7);
  EXPECT_EQ(left.pos, -12);
  EXPECT_EQ(left.paints, 1);
  SetVumeterLevel(Vumeters.Left, -90.3087);
  EXPECT_EQ(left.pos, -90);
}

TEST_F(uVumeterTest, AFailedPositionFallsBackToTheMinimum) {
  left.min = -96;
  SetVumeterLevel(Vumeters.Left, 5000);
  EXPECT_EQ(left.pos, -96);
  EXPECT_EQ(left.depth, 0);
  SetVumeterLevel(Vumeters.Left, std::nan(""));
  EXPECT_EQ(left.pos, -96);
}

TEST_F(uVumeterTest, ResetEmptiesBothBars) {
  left.pos = right.pos = -3;
  ResetVumeters();
  EXPECT_EQ(left.pos, -96);
  EXPECT_EQ(right.pos, -96);
  EXPECT_EQ(Vumeters.Left.Level, -96);
  EXPECT_FALSE(Vumeters.Resetting);
}

}  // namespace
