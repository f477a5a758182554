// The JACK clients offered as inputs beside "Default": jackd's "system" is that default and is
// not offered twice; clients that only share the physical capture with others stay.
#include <gtest/gtest.h>

#include "platform/jack/JackWaveIn.h"

using Names = std::vector<std::string>;

TEST(JackInputClients, TheOneClientMadeOfThePhysicalCaptureIsTheDefault) {
  const Names jackd = {"system:capture_1", "system:capture_2", "drums:out_1", "drums:out_2"};
  const Names physical = {"system:capture_1", "system:capture_2"};
  EXPECT_EQ(JackInputClients(jackd, physical), Names{"drums"});
  EXPECT_EQ(JackDefaultInputAlias(jackd, physical), "system");

  // Several cards (as PipeWire shows them), or a card client with ports of its own besides:
  // nothing is the same as "Default" alone.
  const Names cards = {"Card A:capture_FL", "Card B:capture_FL", "drums:out_1"};
  EXPECT_EQ(JackInputClients(cards, {"Card A:capture_FL", "Card B:capture_FL"}),
            (Names{"Card A", "Card B", "drums"}));
  const Names mixed = {"system:capture_1", "system:monitor_1"};
  EXPECT_EQ(JackInputClients(mixed, {"system:capture_1"}), Names{"system"});
  EXPECT_EQ(JackDefaultInputAlias(mixed, {"system:capture_1"}), "");

  // No physical capture (a dummy server without inputs), or a client gone between two looks.
  EXPECT_EQ(JackInputClients({"drums:out_1"}, {}), Names{"drums"});
  EXPECT_EQ(JackInputClients({"drums:out_1"}, {"gone:capture_1"}), Names{"drums"});
}
