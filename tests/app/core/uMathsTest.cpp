#include "uMaths.h"

#include <gtest/gtest.h>

#include <cmath>

#include "AppState.h"

namespace {

TEST(uMaths, SilenceReadsAsOneQuantisationStep) {
  EXPECT_NEAR(AmplitudeToDb(32767, 0.0), -90.3087, 1e-4);
  EXPECT_DOUBLE_EQ(AmplitudeToDb(32767, 0.0), AmplitudeToDb(32767, 1.0));
  EXPECT_NEAR(SampleToDb(0.0), -90.3087, 1e-4);
}

TEST(uMaths, PositiveAndNegativeValuesUseTheMagnitude) {
  EXPECT_DOUBLE_EQ(AmplitudeToDb(32767, 32767.0), 0.0);
  EXPECT_NEAR(AmplitudeToDb(32767, 16383.5), -6.0206, 1e-4);
  EXPECT_DOUBLE_EQ(AmplitudeToDb(32767, -16383.5), AmplitudeToDb(32767, 16383.5));
  EXPECT_GT(AmplitudeToDb(32767, -32768.0), 0.0);
}

TEST(uMaths, FloorIsSixDecibelsBelowOneStep) {
  EXPECT_NEAR(FloorDb(32767), -96.3087, 1e-4);
  EXPECT_EQ(static_cast<int>(FloorDb(32767)), -96);
}

TEST(uMaths, ABadReferenceNeverGivesInfinityOrNan) {
  for (int32_t ref : {0, -1}) {
    for (double v : {0.0, 1.0, -5.0}) {
      EXPECT_TRUE(std::isfinite(AmplitudeToDb(ref, v))) << ref << " " << v;
    }
  }
}

}  // namespace
