// End to end on the private JACK server (44100 Hz, period 256): Tocsin's capture road on the real
// back-ends listens to a test client, which plays scripted bursts and records the MIDI it gets.
// The checks hold whatever the timing: which bytes arrive, in which order, and never before the
// burst that causes them. The window's own end-to-end tests play the everyday scripts through the
// real window; this one keeps the threshold's edges, cheaper to replay here.
#include "E2eSupport.h"

namespace e2e {
namespace {

constexpr uint64_t kSeg = 4096;  // 16 blocks: every edge of a burst falls in a block of its own
constexpr int kDo3 = 60;

TEST_F(ChainJackTest, OneNotePerBurstAboveTheThresholdWithTheLevelsVelocity) {
  // Threshold -45 dB on both channels, velocity following the level, channel "1", "Do3".
  Start();
  TSignalScript s;
  s.Silence(kSeg)
      .Burst(0, -20, kSeg).Silence(kSeg)        // 127 - 127 * 20 / 45 = 70.56: velocity 70
      .Burst(0, -50, kSeg).Silence(kSeg)        // below: nothing
      .Burst(0, -45.01, kSeg).Silence(kSeg)     // a hair below -45 (sample 184): nothing
      .Burst(0, -44.9, kSeg).Silence(kSeg)      // just above: the quietest note-on, velocity 1
      .NegativeBurst(0, -1, kSeg).Silence(kSeg) // loud but negative only: silence to the level
      .Clip(0, kSeg).Silence(kSeg);             // full scale reads 0 dB: velocity 127
  const auto events = Play(s, 6);
  EXPECT_EQ(Bytes(events), (std::vector<TBytes>{NoteOn(0, kDo3, 70), NoteOff(0, kDo3),
                                                NoteOn(0, kDo3, 1), NoteOff(0, kDo3),
                                                NoteOn(0, kDo3, 127), NoteOff(0, kDo3)}));
  // Each note-on comes after its burst began, each note-off after it ended.
  const auto& b = s.Bursts();
  ASSERT_EQ(events.size(), 6u);
  const uint64_t t0 = client->PlayStartFrame();
  const size_t sounding[] = {0, 3, 5};  // the bursts that make notes
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_GE(events[2 * i].frame, t0 + b[sounding[i]].Start) << "note-on " << i;
    EXPECT_GE(events[2 * i + 1].frame, t0 + b[sounding[i]].End()) << "note-off " << i;
  }
}

}  // namespace
}  // namespace e2e
