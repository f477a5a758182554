// Port names cut to the product-name limit and kept distinct.
#include <gtest/gtest.h>

#include "platform/MidiOutService.h"
#include "platform/rt/RtMidiPortNames.h"

TEST(RtMidiPortNames, CutNeverSplitsAUtf8Character) {
  // "é" is two bytes; a cut at 31 bytes falling inside it leaves it out whole.
  const std::string name = std::string(30, 'a') + "\xC3\xA9" + "b";
  EXPECT_EQ(CutUtf8(name, 31), std::string(30, 'a'));
  EXPECT_EQ(CutUtf8(name, 32), std::string(30, 'a') + "\xC3\xA9");
  EXPECT_EQ(CutUtf8("short", 31), "short");
}

TEST(RtMidiPortNames, LongNamesSharingAPrefixStayDistinctAndShort) {
  const std::string prefix = "system:midi_playback_long_port_name_";
  const auto out = DistinctPortNames({prefix + "1", prefix + "2", prefix + "3", "other"},
                                     kMidiProductNameMax);
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[0], prefix.substr(0, 31));  // the first keeps its plain cut
  EXPECT_EQ(out[1], prefix.substr(0, 29) + " 2");
  EXPECT_EQ(out[2], prefix.substr(0, 29) + " 3");
  EXPECT_EQ(out[3], "other");
  for (const auto& n : out) EXPECT_LE(n.size(), kMidiProductNameMax);
}

TEST(RtMidiPortNames, SuffixNeverCollidesWithAnotherPortsOwnName) {
  // The third port is really called "a 2": the duplicate "a" must take another suffix.
  const auto out = DistinctPortNames({"a", "a", "a 2"}, kMidiProductNameMax);
  EXPECT_EQ(out, (std::vector<std::string>{"a", "a 3", "a 2"}));
}
