// Note-on and note-off messages of the "Note MIDI" channels as they reach the MIDI port, the
// sounding flags, the stop/close gate and the activity light.
#include <gtest/gtest.h>

#include "MidiNoteTrigger.h"
#include "MidiPortControl.h"
#include "NoteNames.h"
#include "MidiTestViews.h"
#include "midi/MidiOut.h"
#include "platform/virtual/LoopDispatcher.h"
#include "platform/virtual/VirtualMidiOutService.h"

namespace {
using Bytes = std::vector<uint8_t>;

// Passes everything to the virtual service and notes, at each short message, whether the
// sending channel's flag was already set.
class FlagWatchingService : public IMidiOutService {
 public:
  FlagWatchingService(TVirtualMidiOutService& inner, TMyMidi& midi) : inner_(inner), midi_(midi) {}
  std::vector<std::pair<bool, bool>> FlagsAtSend;

  uint32_t GetNumDevs() override { return inner_.GetNumDevs(); }
  TMidiResult GetDevCaps(int32_t d, TMidiOutCaps& c) override { return inner_.GetDevCaps(d, c); }
  TMidiResult Open(TMidiOutHandle& h, int32_t d, TMidiOutCallback cb, void* ctx) override {
    return inner_.Open(h, d, cb, ctx);
  }
  TMidiResult Close(TMidiOutHandle h) override { return inner_.Close(h); }
  TMidiResult ShortMsg(TMidiOutHandle h, uint32_t m) override {
    FlagsAtSend.emplace_back(midi_.NoteOn0.load(), midi_.NoteOn1.load());
    return inner_.ShortMsg(h, m);
  }
  TMidiResult ShortMsgAt(TMidiOutHandle h, uint32_t m, uint64_t frame) override {
    FlagsAtSend.emplace_back(midi_.NoteOn0.load(), midi_.NoteOn1.load());
    return inner_.ShortMsgAt(h, m, frame);
  }
  TMidiResult PrepareHeader(TMidiOutHandle h, TMidiOutHeader& x) override {
    return inner_.PrepareHeader(h, x);
  }
  TMidiResult LongMsg(TMidiOutHandle h, TMidiOutHeader& x) override { return inner_.LongMsg(h, x); }
  TMidiResult UnprepareHeader(TMidiOutHandle h, TMidiOutHeader& x) override {
    return inner_.UnprepareHeader(h, x);
  }
  TMidiResult GetErrorText(TMidiResult c, std::string& t) override {
    return inner_.GetErrorText(c, t);
  }

 private:
  TVirtualMidiOutService& inner_;
  TMyMidi& midi_;
};

class MidiNoteTriggerTest : public ::testing::Test {
 protected:
  MidiNoteTriggerTest()
      : port(virt.AddPort("Synth")),
        service(virt, midi),
        out(service, dispatcher),
        trigger(TMidiNoteTrigger::TState{flags, midi}, controls, view) {
    out.SetDeviceID(port);
    out.Open();
    midi.Output = &out;
    controls.MidiChannelIndex = 0;
    controls.NoteIndex[0] = 60;
    controls.NoteIndex[1] = 60;
  }

  std::vector<Bytes> Messages() const {
    std::vector<Bytes> m;
    for (const auto& s : virt.Sent(port)) m.push_back(s.Bytes);
    return m;
  }

  TVirtualMidiOutService virt;
  int32_t port;
  TRunFlags flags;
  TMyMidi midi;
  FlagWatchingService service;
  TLoopDispatcher dispatcher;
  TMidiOutput out;
  TControlSnapshot controls;
  RecordingMidiView view;
  TMidiNoteTrigger trigger;
};
}  // namespace

TEST_F(MidiNoteTriggerTest, ChannelOneDo3) {
  trigger.NoteOn(0, 100);
  trigger.NoteOff(0);
  EXPECT_EQ(Messages(), (std::vector<Bytes>{{0x90, 0x3C, 0x64}, {0x80, 0x3C, 0x40}}));
}

TEST_F(MidiNoteTriggerTest, ChannelSixteen) {
  controls.MidiChannelIndex = 15;
  trigger.NoteOn(1, 1);
  trigger.NoteOff(1);
  EXPECT_EQ(Messages(), (std::vector<Bytes>{{0x9F, 0x3C, 0x01}, {0x8F, 0x3C, 0x40}}));
}

TEST_F(MidiNoteTriggerTest, LowestAndHighestNotes) {
  controls.NoteIndex[0] = 0;    // Do-2
  controls.NoteIndex[1] = 127;  // Sol8
  trigger.NoteOn(0, 100);
  trigger.NoteOn(1, 100);
  controls.NoteIndex[0] = 131;  // Si8: one octave lower, but the sounding note is Do-2
  trigger.NoteOff(0);
  EXPECT_EQ(Messages(), (std::vector<Bytes>{{0x90, 0, 100}, {0x90, 127, 100}, {0x80, 0, 0x40}}));
}

TEST_F(MidiNoteTriggerTest, NoDataByteEverReaches128) {
  for (int k = -1; k <= kNoteEntryCount; ++k) {
    controls.NoteIndex[0] = k;
    for (int v : {-5, 0, 64, 127, 128, 1000}) {
      trigger.NoteOn(0, v);
      trigger.NoteOff(0);
    }
  }
  const auto messages = Messages();
  EXPECT_EQ(messages.size(), 2u * 6 * kNoteEntryCount);  // -1 and 132 send nothing
  for (const auto& m : messages) {
    ASSERT_EQ(m.size(), 3u);
    EXPECT_TRUE(m[0] == 0x90 || m[0] == 0x80);
    EXPECT_LT(m[1], 128);
    EXPECT_LT(m[2], 128);
  }
}

TEST_F(MidiNoteTriggerTest, WithoutAChannelSelectionNothingIsSentButStateAndLightFollow) {
  for (int index : {-1, 16, 200}) {
    controls.MidiChannelIndex = index;
    trigger.NoteOn(0, 100);
    EXPECT_TRUE(midi.NoteOn0);
    trigger.NoteOff(0);
    EXPECT_FALSE(midi.NoteOn0);
  }
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(view.Calls().size(), 12u);
  EXPECT_EQ(view.Calls()[0], "data on");
  EXPECT_EQ(view.Calls()[1], "timer on");
}

TEST_F(MidiNoteTriggerTest, NoteOnsReadTheSelectionsAndNoteOffsEndTheNoteTheyStarted) {
  trigger.NoteOn(0, 100);
  controls.MidiChannelIndex = 3;
  controls.NoteIndex[0] = 61;
  trigger.NoteOff(0);
  trigger.NoteOn(0, 0);  // velocity 0 would be a note-off
  EXPECT_EQ(Messages(),
            (std::vector<Bytes>{{0x90, 60, 100}, {0x80, 60, 0x40}, {0x93, 61, 1}}));
}

TEST_F(MidiNoteTriggerTest, ReleaseEndsTheSoundingNotesPastTheGateAndOwesThemAfterALoss) {
  trigger.NoteOn(0, 100);
  controls.MidiChannelIndex = 3;
  flags.StopRequest = true;
  trigger.NoteOn(1, 100);  // gated: nothing on the wire for channel 1
  trigger.ReleaseNotes(true);
  EXPECT_FALSE(midi.NoteOn0);
  EXPECT_FALSE(midi.NoteOn1);
  EXPECT_EQ(Messages(), (std::vector<Bytes>{{0x90, 60, 100}, {0x80, 60, 0x40}}));
  trigger.ReleaseNotes();
  EXPECT_EQ(Messages().size(), 2u) << "released once";
  // The port that died with the server gets them again once reopened, and only once.
  trigger.SendOwedNoteOffs();
  trigger.SendOwedNoteOffs();
  EXPECT_EQ(Messages().size(), 3u);
  EXPECT_EQ(Messages().back(), (Bytes{0x80, 60, 0x40}));
  // Another port chosen meanwhile: they are not sent there.
  flags.StopRequest = false;
  trigger.NoteOn(0, 100);
  trigger.ReleaseNotes(true);
  trigger.DropOwedNoteOffs();
  trigger.SendOwedNoteOffs();
  EXPECT_EQ(Messages().size(), 5u);
}

TEST_F(MidiNoteTriggerTest, EachChannelHasItsOwnSoundingFlagButAKeySoundsOnce) {
  // Both channels on channel 1, Do3 (a mono input drives both): the right joins the left's note,
  // and the key is released when the last of them lets go.
  trigger.NoteOn(0, 100);
  trigger.NoteOn(1, 90);
  trigger.NoteOff(0);
  EXPECT_FALSE(midi.NoteOn0);
  EXPECT_TRUE(midi.NoteOn1);
  EXPECT_EQ(Messages(), (std::vector<Bytes>{{0x90, 60, 100}}));
  trigger.NoteOff(1);
  trigger.NoteOn(1, 90);  // alone now: its own note-on
  EXPECT_EQ(Messages(),
            (std::vector<Bytes>{{0x90, 60, 100}, {0x80, 60, 0x40}, {0x90, 60, 90}}));
}

TEST_F(MidiNoteTriggerTest, HitNotesCarryTheirFramesAndShareKeysWithTheLevelRoad) {
  trigger.HitNoteOn(1, 80, 1000);
  trigger.HitNoteOn(1, 90, 1500);  // a new hit while its note sounds: that note ends first
  trigger.NoteOn(0, 100);          // the level road on the same key joins it
  trigger.HitNoteOff(1, 2000);     // the left still holds the key
  trigger.HitNoteOff(1, 2100);     // nothing left on this pad: nothing sent
  trigger.HitNoteOn(0, 70, 3000);  // a hit is heard: it restarts the level note's key
  trigger.NoteOff(0);
  trigger.HitNoteOff(0, 3500);
  std::vector<Bytes> bytes;
  std::vector<uint64_t> frames;
  for (const auto& m : virt.Sent(port)) {
    bytes.push_back(m.Bytes);
    frames.push_back(m.Timed ? m.Frame : UINT64_MAX);
  }
  EXPECT_EQ(bytes, (std::vector<Bytes>{{0x90, 60, 80}, {0x80, 60, 0x40}, {0x90, 60, 90},
                                       {0x80, 60, 0x40}, {0x90, 60, 70}, {0x80, 60, 0x40}}));
  EXPECT_EQ(frames, (std::vector<uint64_t>{1000, 1500, 1500, 3000, 3000, 3500}));
  EXPECT_FALSE(midi.NoteOn0);
  EXPECT_FALSE(midi.NoteOn1) << "hit notes leave the level road's flags alone";
}

TEST_F(MidiNoteTriggerTest, TwoPadsOnOneKeyJoinOnOneStrokeAndRestartOnTheNext) {
  // A mono input: both pads hit at once, and again 900 frames later while both notes sound
  // (the engine ends a pad's own note before its next hit).
  trigger.HitNoteOn(0, 100, 100, 192);
  trigger.HitNoteOn(1, 100, 102, 192);
  for (int pad = 0; pad < 2; ++pad) {
    trigger.HitNoteOff(pad, 1000);
    trigger.HitNoteOn(pad, 90, 1000, 192);
  }
  trigger.HitNoteOff(0, 2000);
  trigger.HitNoteOff(1, 2000);
  EXPECT_EQ(Messages(), (std::vector<Bytes>{{0x90, 60, 100}, {0x80, 60, 0x40}, {0x90, 60, 90},
                                            {0x80, 60, 0x40}}));
}

TEST_F(MidiNoteTriggerTest, ReleaseEndsAKeyHeldTwiceOnceAndForgetsTheHitNotes) {
  controls.NoteIndex[1] = 62;
  trigger.HitNoteOn(0, 100, 10);
  trigger.HitNoteOn(1, 100, 10);
  trigger.NoteOn(0, 100);  // joins the left pad's Do3
  flags.StopRequest = true;
  trigger.HitNoteOn(0, 100, 20);  // gated: the wire stays as it was
  trigger.ReleaseNotes();
  EXPECT_EQ(Messages(), (std::vector<Bytes>{{0x90, 60, 100}, {0x90, 62, 100}, {0x80, 60, 0x40},
                                            {0x80, 62, 0x40}}));
  flags.StopRequest = false;
  trigger.HitNoteOff(0, 30);  // the engine's late note-off: already ended
  trigger.HitNoteOn(0, 50, 40);
  EXPECT_EQ(Messages().size(), 5u);
  EXPECT_EQ(Messages().back(), (Bytes{0x90, 60, 50}));
}

TEST_F(MidiNoteTriggerTest, FlagIsSetBeforeTheSend) {
  trigger.NoteOn(1, 100);
  trigger.NoteOff(1);
  EXPECT_EQ(service.FlagsAtSend,
            (std::vector<std::pair<bool, bool>>{{false, true}, {false, false}}));
}

TEST_F(MidiNoteTriggerTest, ActivityLightFollowsTheSoundingNotes) {
  trigger.NoteOn(0, 100);
  trigger.NoteOn(1, 100);
  trigger.NoteOff(0);  // channel 1 still sounds
  trigger.NoteOff(1);
  EXPECT_EQ(view.Calls(), (std::vector<std::string>{"data on", "timer on", "data on", "timer on",
                                                    "data on", "timer on", "data off", "timer on"}));
  view.Clear();
  TimerMidiOutTimer(view);
  EXPECT_EQ(view.Calls(), (std::vector<std::string>{"timer off", "data off"}));
}

TEST_F(MidiNoteTriggerTest, GateSilencesSendsAndLight) {
  flags.StopRequest = true;
  trigger.NoteOn(0, 100);
  EXPECT_TRUE(midi.NoteOn0);  // the flag changes whether or not the send happens
  EXPECT_TRUE(flags.StopAck);
  flags.StopRequest = false;
  flags.Closing = true;
  trigger.NoteOff(0);
  EXPECT_FALSE(midi.NoteOn0);
  flags.Closing = false;
  flags.Finalizing = true;
  trigger.SendMidiShort(0x90, 1, 1);
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(view.Calls().empty());
}

TEST_F(MidiNoteTriggerTest, RefusedOrImpossibleSendsAreSwallowed) {
  virt.FailCall(TMidiOutCall::ShortMsg, kMidiErrNotReady);
  trigger.NoteOn(0, 100);
  virt.FailCall(TMidiOutCall::ShortMsg, kMidiOk);
  out.Close();
  trigger.NoteOff(0);  // on a closed port
  midi.Output = nullptr;
  trigger.NoteOn(1, 100);  // no output object at all
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(view.Calls(), (std::vector<std::string>{"data on", "timer on", "data off", "timer on",
                                                    "data on", "timer on"}));
}

TEST_F(MidiNoteTriggerTest, OtherChannelNumbersAreIgnored) {
  trigger.NoteOn(2, 100);
  trigger.NoteOff(-1);
  EXPECT_FALSE(midi.NoteOn0);
  EXPECT_FALSE(midi.NoteOn1);
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(view.Calls().empty());
}
