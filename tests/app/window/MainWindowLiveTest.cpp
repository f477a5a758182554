// What a musician relies on live: no note left hanging whatever ends it, no silent note-on, and
// a window that survives its audio server going away and comes back with it.
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>

#include "PickEntry.h"
#include "WindowFixture.h"

using std::chrono::milliseconds;
using Log = std::vector<std::string>;

namespace {
using Bytes = std::vector<uint8_t>;

// The last three bytes sent, or nothing.
Bytes Last(const Bytes& b) {
  return b.size() < 3 ? Bytes{} : Bytes(b.end() - 3, b.end());
}
}  // namespace

TEST_F(WindowTest, NoteOffsCarryTheChannelAndNoteOfTheirNoteOnAndStopEndsASoundingNote) {
  Make();
  D().cbMidiOutVelFollowAudioInLevel->setChecked(false);
  D().ActTriggerStart->trigger();
  DeliverOnCaptureThread(BlockAtDb(-20, -60));
  ASSERT_EQ(MidiBytes(), (Bytes{0x90, 0x3C, 0x64}));
  // Channel "16" and Sol8 chosen while the note sounds: its note-off still ends Do3 on "1".
  D().lstMidiOutChannel->setCurrentIndex(15);
  D().lstMidiOutNote[0]->setCurrentIndex(127);
  DeliverOnCaptureThread(BlockAtDb(-60, -60));
  EXPECT_EQ(Last(MidiBytes()), (Bytes{0x80, 0x3C, 0x40}));

  DeliverOnCaptureThread(BlockAtDb(-20, -60));
  ASSERT_EQ(Last(MidiBytes()), (Bytes{0x9F, 0x7F, 0x64}));
  D().lstMidiOutChannel->setCurrentIndex(0);
  D().ActTriggerStop->trigger();
  EXPECT_EQ(Last(MidiBytes()), (Bytes{0x8F, 0x7F, 0x40})) << "Stop ends the sounding note";
  EXPECT_FALSE(MyMidi.NoteOn0);
  EXPECT_FALSE(midi.IsOpen(0));
  // The level never dropped, yet the next Start gives a fresh note-on, and Stop again sends
  // nothing more when no note sounds.
  D().ActTriggerStart->trigger();
  DeliverOnCaptureThread(BlockAtDb(-20, -60));
  EXPECT_EQ(Last(MidiBytes()), (Bytes{0x90, 0x7F, 0x64}));
  DeliverOnCaptureThread(BlockAtDb(-60, -60));
  const size_t sent = MidiBytes().size();
  D().ActTriggerStop->trigger();
  EXPECT_EQ(MidiBytes().size(), sent);
}

TEST_F(WindowTest, ClosingWhileANoteSoundsEndsItBeforeThePortCloses) {
  Make();
  D().ActTriggerStart->trigger();
  // Both channels on Do3, both loud: one key, one note.
  DeliverOnCaptureThread(BlockAtDb(-10, -10));
  ASSERT_EQ(MidiBytes().size(), 3u);
  window->close();
  const Bytes b = MidiBytes();
  ASSERT_EQ(b.size(), 6u);
  EXPECT_EQ(Bytes(b.begin() + 3, b.end()), (Bytes{0x80, 0x3C, 0x40}));
}

TEST_F(WindowTest, ALevelJustAboveTheThresholdSoundsWithVelocityOne) {
  Make();
  D().ActTriggerStart->trigger();
  DeliverOnCaptureThread(BlockAtDb(-44.9, -60));
  EXPECT_EQ(MidiBytes(), (Bytes{0x90, 0x3C, 0x01}));
  EXPECT_TRUE(PumpUntil([&] { return D().lblMidiOutLastVel[0]->text() == "1"; }));
}

TEST_F(WindowTest, ALostServerStopsTheWindowWhichStartsAgainWhenTheServerIsBack) {
  Make();
  D().ActTriggerStart->trigger();
  DeliverOnCaptureThread(BlockAtDb(-10, -60));
  log.Take();
  // Reported from a back-end thread, as the real monitors do.
  std::thread([&] { server.Lose("test"); }).join();
  ASSERT_TRUE(PumpUntil([&] { return !RunFlags.Running; }));
  EXPECT_EQ(log.Take(), (Log{"filter off", "capture off", "output off", "midi close"}));
  EXPECT_EQ(Last(MidiBytes()), (Bytes{0x80, 0x3C, 0x40}))
      << "a port that still sends ends the note";
  EXPECT_TRUE(D().StatusPanel[0]->text().startsWith("Serveur audio perdu"));
  EXPECT_TRUE(D().ActTriggerStart->isEnabled());
  EXPECT_TRUE(D().ActTriggerStop->isEnabled()) << "Stop cancels the restart";
  for (auto* led : {D().ledAudioInState, D().ledAudioOutState, D().LedMidiOutState})
    EXPECT_FALSE(led->Lit());
  EXPECT_TRUE(window->ServerRestartPending());

  // Still gone: no restart.
  PumpUntil([] { return false; }, milliseconds(700));
  EXPECT_FALSE(RunFlags.Running);
  server.SetAvailable(true);
  ASSERT_TRUE(PumpUntil([&] { return RunFlags.Running.load(); }, milliseconds(5000)));
  EXPECT_EQ(log.Take(), (Log{"midi open Synth A", "capture on", "filter on", "output on"}));
  EXPECT_TRUE(D().StatusPanel[0]->text().startsWith("Serveur audio revenu"));
  EXPECT_FALSE(D().ActTriggerStart->isEnabled());
  EXPECT_TRUE(D().ledAudioInState->Lit());
  // The note-off owed since the loss goes out again on the reopened port, for a port that died
  // with the server; the next hit is a fresh note-on.
  EXPECT_EQ(Last(MidiBytes()), (Bytes{0x80, 0x3C, 0x40}));
  DeliverOnCaptureThread(BlockAtDb(-10, -60));
  EXPECT_EQ(Last(MidiBytes())[0], 0x90);
}

// Channels switched to sounds while the server was away: the restart needs no port, but the note
// the loss cut still ends on it.
TEST_F(WindowTest, ACutNoteEndsWhenTheServerComesBackToChannelsSwitchedToSounds) {
  Make();
  D().ActTriggerStart->trigger();
  DeliverOnCaptureThread(BlockAtDb(-10, -60));
  std::thread([&] { server.Lose("test"); }).join();
  ASSERT_TRUE(PumpUntil([&] { return window->ServerRestartPending(); }));
  for (int ch = 0; ch < 2; ++ch) D().rbStartAudioFile[ch]->click();
  log.Take();
  const size_t sent = MidiBytes().size();
  server.SetAvailable(true);
  ASSERT_TRUE(PumpUntil([&] { return RunFlags.Running.load(); }, milliseconds(5000)));
  const Log entries = log.Take();
  ASSERT_GE(entries.size(), 2u);
  EXPECT_EQ((Log{entries[0], entries[1]}), (Log{"midi open Synth A", "midi close"}));
  EXPECT_EQ(MidiBytes().size(), sent + 3);
  EXPECT_EQ(Last(MidiBytes()), (Bytes{0x80, 0x3C, 0x40}));
}

TEST_F(WindowTest, StopCancelsTheRestartAfterALostServerAndTheCutNoteEndsOnceItIsBack) {
  Make();
  D().ActTriggerStart->trigger();
  DeliverOnCaptureThread(BlockAtDb(-10, -60));
  server.Lose("test");
  ASSERT_TRUE(PumpUntil([&] { return window->ServerRestartPending(); }));
  D().ActTriggerStop->trigger();
  EXPECT_FALSE(window->ServerRestartPending());
  EXPECT_FALSE(D().ActTriggerStop->isEnabled());
  server.SetAvailable(true);
  PumpUntil([] { return false; }, milliseconds(1200));
  EXPECT_FALSE(RunFlags.Running);
  EXPECT_TRUE(D().ActTriggerStart->isEnabled());
  // The note the loss cut may still sound: once the server is back the port opens just long
  // enough to end it, once.
  log.Take();
  const size_t sent = MidiBytes().size();
  std::thread([&] { server.Change(TServerChange::kBack); }).join();
  ASSERT_TRUE(PumpUntil([&] { return MidiBytes().size() > sent; }));
  EXPECT_EQ(Last(MidiBytes()), (Bytes{0x80, 0x3C, 0x40}));
  EXPECT_EQ(log.Take(), (Log{"midi open Synth A", "midi close"}));
  std::thread([&] { server.Change(TServerChange::kPorts); }).join();
  PumpUntil([] { return false; }, milliseconds(200));
  EXPECT_EQ(MidiBytes().size(), sent + 3);
  EXPECT_FALSE(RunFlags.Running);
}

TEST_F(WindowTest, ALossWhileStoppedIsShownAndStartsNothingAndTheReturnIsShownToo) {
  Make();
  server.Lose("test");
  ASSERT_TRUE(PumpUntil([&] { return !D().StatusPanel[0]->text().isEmpty(); }));
  EXPECT_EQ(D().StatusPanel[0]->text(), "Serveur audio perdu");
  EXPECT_FALSE(window->ServerRestartPending());
  server.SetAvailable(true);
  PumpUntil([] { return false; }, milliseconds(700));
  EXPECT_FALSE(RunFlags.Running);
  EXPECT_TRUE(log.Take().empty());
  std::thread([&] { server.Change(TServerChange::kBack); }).join();
  ASSERT_TRUE(PumpUntil([&] { return D().StatusPanel[0]->text() == "Serveur audio revenu"; }));
  EXPECT_FALSE(RunFlags.Running);
  EXPECT_TRUE(log.Take().empty());
}

TEST_F(WindowTest, StartWithTheChosenPortGoneSaysSoAndOpensThePortOnceItIsBack) {
  Make();
  D().cbMidiOutVelFollowAudioInLevel->setChecked(false);
  ASSERT_TRUE(Pick(D().lstMidiOut, "Synth B"));
  midi.RenamePort(1, "Autre Chose");  // Synth B goes
  D().ActTriggerStart->trigger();
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(RunFlags.Running) << "triggering runs without the port";
  EXPECT_EQ(log.Take(), (Log{"capture on", "filter on", "output on"}));
  EXPECT_EQ(D().StatusPanel[0]->text(), "Port MIDI absent : Synth B");
  EXPECT_FALSE(D().LedMidiOutState->Lit());
  EXPECT_TRUE(D().ledAudioInState->Lit());
  // A hit meanwhile reaches no port, and no other port either.
  DeliverOnCaptureThread(BlockAtDb(-10, -60));
  DeliverOnCaptureThread(BlockAtDb(-60, -60));
  EXPECT_TRUE(MidiBytes(0).empty());

  midi.RenamePort(1, "Synth B");
  server.Change(TServerChange::kPorts);
  ASSERT_TRUE(PumpUntil([&] { return D().LedMidiOutState->Lit(); }));
  EXPECT_EQ(log.Take(), (Log{"midi open Synth B"}));
  EXPECT_EQ(D().StatusPanel[0]->text(), "Port MIDI connecté : Synth B");
  DeliverOnCaptureThread(BlockAtDb(-10, -60));
  EXPECT_EQ(Last(MidiBytes(1)), (Bytes{0x90, 0x3C, 0x64}));
  EXPECT_TRUE(MidiBytes(0).empty());
  EXPECT_EQ(MyMidi.DeviceName, "Synth B");
}
