#include <gtest/gtest.h>

#include "platform/rt/RtWaveIn.h"

namespace {

TEST(RtWaveInNames, CutToThirtyTwoCharactersAndMadeDistinctInDeviceOrder) {
  const std::string long_a = "Very Long Device Name Of A USB Interface A";
  const std::string long_b = "Very Long Device Name Of A USB Interface B";
  const auto names = TRtWaveIn::ListNames({"system", long_a, long_b, "system", "x"});
  ASSERT_EQ(names.size(), 5u);
  EXPECT_EQ(names[0], "system");
  EXPECT_EQ(names[1], long_a.substr(0, 32));
  // Equal after the cut: the later one is told apart, still within 32 characters.
  EXPECT_NE(names[2], names[1]);
  EXPECT_LE(names[2].size(), 32u);
  EXPECT_EQ(names[2], long_b.substr(0, 29) + " #2");
  EXPECT_EQ(names[3], "system #2");
  EXPECT_EQ(names[4], "x");
}

TEST(RtWaveInNames, NoDuplicatesEvenWhenASuffixedNameExistsAlready) {
  const auto names = TRtWaveIn::ListNames({"in #2", "in", "in"});
  EXPECT_EQ(names, (std::vector<std::string>{"in #2", "in", "in #3"}));
}

}  // namespace
