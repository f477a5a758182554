// End to end on the private JACK server (44100 Hz, period 256): Tocsin's capture road on the real
// back-ends listens to a test client, which plays scripted bursts and records the MIDI it gets.
// The checks hold whatever the timing: which bytes arrive, in which order, and never before the
// burst that causes them.
#include "E2eSupport.h"

namespace e2e {
namespace {

constexpr uint64_t kSeg = 4096;  // 16 blocks: every edge of a burst falls in a block of its own
constexpr int kDo3 = 60;

using Ind = TRealTriggerChain::TIndicator;

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

TEST_F(ChainJackTest, FixedVelocityIsAlways100) {
  chain->Controls().MidiVelFollowLevel = false;
  Start();
  TSignalScript s;
  s.Silence(kSeg).Burst(0, -20, kSeg).Silence(kSeg).Burst(1, -3, kSeg).Silence(kSeg);
  EXPECT_EQ(Bytes(Play(s, 4)), (std::vector<TBytes>{NoteOn(0, kDo3, 100), NoteOff(0, kDo3),
                                                    NoteOn(0, kDo3, 100), NoteOff(0, kDo3)}));
}

TEST_F(ChainJackTest, ChannelsAreIndependentWithTheirOwnThresholdsAndNotes) {
  auto& c = chain->Controls();
  c.MidiVelFollowLevel = false;
  c.MidiChannelIndex = 9;  // "10"
  c.NoteIndex[0] = 36;     // "Do1"
  c.NoteIndex[1] = 67;     // "Sol3"
  c.Thres[1] = -30;
  Start();
  TSignalScript s;
  s.Silence(kSeg).Burst(1, -35, kSeg).Silence(kSeg);  // above -45, yet below the right's -30
  // The left holds its note while the right's starts, and the right's outlasts it.
  const uint64_t left_start = s.Length();
  s.Burst(0, -35, 3 * kSeg);
  s.At(left_start + kSeg).Burst(1, -10, 4 * kSeg).Silence(kSeg);
  EXPECT_EQ(Bytes(Play(s, 4)), (std::vector<TBytes>{NoteOn(9, 36, 100), NoteOn(9, 67, 100),
                                                    NoteOff(9, 36), NoteOff(9, 67)}));
}

TEST_F(ChainJackTest, ThresholdLightsAndClipChangeOnTheUiThreadBlockByBlock) {
  Start();
  TSignalScript s;
  s.Silence(kSeg)
      .Burst(0, -20, kSeg).Silence(kSeg)          // left light only
      .Clip(1, kSeg).Silence(kSeg)                // "CLIP" and the right light, in that order
      .NegativeBurst(0, 0, kSeg).Silence(kSeg);   // "CLIP" through the negative peak, no light
  Play(s, 4);
  ASSERT_TRUE(chain->Pump([&] { return chain->Indicators().size() >= 11; }, kTimeout));
  const auto& all = chain->Indicators();
  // The first block posts every indicator once; after that only changes are posted.
  EXPECT_EQ(std::vector<Ind>(all.begin(), all.begin() + 3),
            (std::vector<Ind>{{Ind::Clip, false}, {Ind::ThresholdLight0, false},
                              {Ind::ThresholdLight1, false}}));
  EXPECT_EQ(std::vector<Ind>(all.end() - 8, all.end()),
            (std::vector<Ind>{{Ind::ThresholdLight0, true}, {Ind::ThresholdLight0, false},
                              {Ind::Clip, true}, {Ind::ThresholdLight1, true},
                              {Ind::Clip, false}, {Ind::ThresholdLight1, false},
                              {Ind::Clip, true}, {Ind::Clip, false}}));
  if (replays == 0) {
    EXPECT_EQ(all.size(), 11u);
  }
  EXPECT_TRUE(chain->IndicatorsOnUiThread());
}

TEST_F(ChainJackTest, StopAndCloseWhileAudioFlows) {
  Start();
  // Twenty seconds of sound: however long the machine stalls, Stop comes in the middle of it.
  TSignalScript s;
  s.Silence(kSeg).Burst(0, -6, 20 * 44100).Silence(kSeg);
  ASSERT_TRUE(client->Play(s.Left(), s.Right()));
  ASSERT_TRUE(chain->Pump([&] { return client->MidiCount() >= 1; }, kTimeout));
  chain->Stop();
  EXPECT_FALSE(chain->Running());
  const size_t at_stop = client->MidiCount();
  // Nothing more comes once Stop returned: not a note-off, not a repeated note-on.
  const uint64_t frame = client->FrameTime();
  ASSERT_TRUE(chain->Pump([&] { return client->FrameTime() >= frame + 32 * 256; }, kTimeout));
  EXPECT_EQ(client->MidiCount(), at_stop);
  // -6 dB reads -6.0002 dB: 127 - 127 * 6.0002 / 45 = 110.07.
  EXPECT_EQ(Bytes(client->Midi()), (std::vector<TBytes>{NoteOn(0, kDo3, 110)}));
  // Start again on the same objects while the level is still up: the note still counts as
  // sounding across Stop, so nothing is sent; then everything goes away while audio flows.
  Start();
  const uint64_t blocks = chain->Blocks();
  ASSERT_TRUE(chain->Pump([&] { return chain->Blocks() >= blocks + 16; }, kTimeout));
  chain.reset();
  EXPECT_EQ(client->MidiCount(), at_stop);
}

}  // namespace
}  // namespace e2e
