// Where an event of a captured block goes in the cycle: at its sample's frame, counted back from
// the block's last frame, never before the block's first frame in this cycle (frame 0 when the
// sample came in an earlier cycle), and never early when the capture converts the rate.
#include <gtest/gtest.h>

#include "platform/jack/JackClient.h"

namespace {

TEST(JackBlockFrames, AnEventGoesAtItsSamplesFrame) {
  TJackClient::SetBlockFrames(40, 71, 32);  // a whole block inside the cycle
  EXPECT_EQ(TJackClient::BlockSampleFrame(0), 40u);
  EXPECT_EQ(TJackClient::BlockSampleFrame(5), 45u);
  EXPECT_EQ(TJackClient::BlockSampleFrame(31), 71u);
  EXPECT_EQ(TJackClient::BlockSampleFrame(99), 71u);

  TJackClient::SetBlockFrames(0, 23, 64);  // samples 0..39 came in earlier cycles
  EXPECT_EQ(TJackClient::BlockSampleFrame(10), 0u);
  EXPECT_EQ(TJackClient::BlockSampleFrame(40), 0u);
  EXPECT_EQ(TJackClient::BlockSampleFrame(41), 1u);
  EXPECT_EQ(TJackClient::BlockSampleFrame(63), 23u);

  TJackClient::SetBlockFrames(8, 39);  // length unknown: the block's first frame
  EXPECT_EQ(TJackClient::BlockSampleFrame(20), 8u);

  // Captured at twice the server's rate: two samples a frame, rounded late.
  TJackClient::SetBlockFrames(10, 40, 64, 0.5);
  EXPECT_EQ(TJackClient::BlockSampleFrame(63), 40u);
  EXPECT_EQ(TJackClient::BlockSampleFrame(62), 40u);
  EXPECT_EQ(TJackClient::BlockSampleFrame(61), 39u);
  EXPECT_EQ(TJackClient::BlockSampleFrame(0), 10u);
  TJackClient::SetBlockFrames(0, 0);
}

}  // namespace
