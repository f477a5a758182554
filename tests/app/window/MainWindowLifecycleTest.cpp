// The main window's creation, Start, Stop and close sequence on recording devices.
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <chrono>

#include "WindowFixture.h"

using namespace std::chrono;
using Log = std::vector<std::string>;

TEST_F(WindowTest, StartUpEndsStoppedWithEmptyReadoutsAndStartEnabled) {
  Make();
  EXPECT_EQ(D().lblLeftLevelInDb->text(), "-.--");
  EXPECT_EQ(D().lblRightLevelInDb->text(), "-.--");
  EXPECT_TRUE(D().ActTriggerStart->isEnabled());
  EXPECT_FALSE(D().ActTriggerStop->isEnabled());
  EXPECT_TRUE(D().Button1->isEnabled());
  EXPECT_FALSE(D().Button2->isEnabled());
  EXPECT_EQ(D().Button1->text(), "&Start");  // shown "Start", Alt+S
  EXPECT_EQ(D().Button2->text(), "St&op");
  for (auto* led : {D().ledAudioInState, D().ledAudioOutState, D().LedMidiOutState,
                    D().LedMidiOutData})
    EXPECT_FALSE(led->Lit());
  EXPECT_FALSE(D().lblClip->isVisible());
  EXPECT_FALSE(RunFlags.Running);
  EXPECT_TRUE(RunFlags.StopRequest);
  EXPECT_EQ(D().VuAudioLeft->Position(), -96);
  EXPECT_EQ(D().VuAudioRight->Position(), -96);
  EXPECT_TRUE(D().lstInputDevices->isEnabled());
  EXPECT_EQ(D().PageControl1->currentIndex(), 0);
  EXPECT_TRUE(D().StatusBar1->currentMessage().isEmpty());
  EXPECT_EQ(window->windowTitle(), "Tocsin");
  EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "fixed size";
  EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass is gone";
  // The documented first-start settings: Do3 on channel 1, thresholds -45.
  EXPECT_EQ(D().lstMidiOutChannel->currentText(), "1");
  EXPECT_EQ(D().lstMidiOutNote[0]->currentText(), "Do3");
  EXPECT_EQ(D().lstMidiOutNote[1]->currentText(), "Do3");
  EXPECT_EQ(D().edTocsinThres[0]->value(), -45);
  EXPECT_EQ(D().edTocsinThres[1]->value(), -45);
  EXPECT_EQ(window->Snapshot().NoteIndex[0].load(), 60);
  EXPECT_EQ(window->Snapshot().MidiChannelIndex.load(), 0);
  EXPECT_EQ(MyAudio.LeftThres, -45);
  EXPECT_EQ(AudioInParams.MinDb, -96);
}

TEST_F(WindowTest, StartOpensThePortThenSwitchesCaptureFilterAndOutputAndLocksTheLists) {
  Make();
  D().ActTriggerStart->trigger();
  // The port first: a level already above its threshold makes a note-on of the first block.
  EXPECT_EQ(log.Take(), (Log{"midi open Synth A", "capture on", "filter on", "output on"}));
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(RunFlags.Running);
  EXPECT_FALSE(RunFlags.StopRequest);
  for (auto* led : {D().ledAudioInState, D().ledAudioOutState, D().LedMidiOutState})
    EXPECT_TRUE(led->Lit());
  EXPECT_FALSE(D().lstInputDevices->isEnabled());
  EXPECT_FALSE(D().lstAudioInputBufferSize->isEnabled());
  EXPECT_FALSE(D().lstAudioInputSampleRate->isEnabled());
  EXPECT_FALSE(D().lstMidiOut->isEnabled());
  // These stay editable while triggering runs.
  EXPECT_TRUE(D().lstOutputDevices->isEnabled());
  EXPECT_TRUE(D().lstMidiOutChannel->isEnabled());
  EXPECT_TRUE(D().lstMidiOutNote[0]->isEnabled());
  EXPECT_TRUE(D().edTocsinThres[0]->isEnabled());
  EXPECT_FALSE(D().ActTriggerStart->isEnabled());
  EXPECT_TRUE(D().ActTriggerStop->isEnabled());
}

TEST_F(WindowTest, StopSwitchesFilterBeforeCaptureAndResetsTheDisplay) {
  Make();
  D().ActTriggerStart->trigger();
  DeliverOnCaptureThread(BlockAtDb(-20, -30));
  ASSERT_TRUE(PumpUntil([&] { return D().lblLeftLevelInDb->text() != "-.--"; }));
  EXPECT_EQ(D().VuAudioLeft->Position(), -19);  // -19.99 dB truncated toward zero
  log.Take();

  // The capture thread acknowledges the stop at its next block.
  std::thread capture([&] {
    const auto give_up = steady_clock::now() + seconds(20);
    while (!RunFlags.StopRequest && steady_clock::now() < give_up) std::this_thread::yield();
    capture_->Deliver(BlockAtDb(-20, -30));
  });
  D().ActTriggerStop->trigger();
  capture.join();
  // The block handler answered before anything was switched off.
  EXPECT_TRUE(RunFlags.StopAck.load()) << "the acknowledgement ends the wait";
  EXPECT_EQ(log.Take(), (Log{"filter off", "capture off", "output off", "midi close"}));
  EXPECT_EQ(D().lblLeftLevelInDb->text(), "-.--");
  EXPECT_EQ(D().lblRightLevelInDb->text(), "-.--");
  EXPECT_EQ(D().VuAudioLeft->Position(), -96);
  EXPECT_EQ(D().VuAudioRight->Position(), -96);
  EXPECT_TRUE(D().ActTriggerStart->isEnabled());
  EXPECT_TRUE(D().lstInputDevices->isEnabled());
  // The threshold light keeps what the last block set.
  EXPECT_TRUE(D().ledLeftThres->Lit());

  // StopAck is still set: a second Stop finds its answer at once and switches off again.
  D().ActTriggerStop->trigger();
  EXPECT_TRUE(RunFlags.StopAck.load());
  EXPECT_FALSE(RunFlags.Running);
}

TEST_F(WindowTest, StopWithoutBlocksWaitsItsFullSecond) {
  Make();
  D().ActTriggerStart->trigger();
  const auto t0 = steady_clock::now();
  window->StopTrigger();
  EXPECT_GE(steady_clock::now() - t0, milliseconds(1000));
  EXPECT_FALSE(RunFlags.Running);
}

TEST_F(WindowTest, APortThatCannotOpenStopsStartBeforeAnythingElseIsOn) {
  TWindowOptions busy;
  busy.midi_open_error = kMidiErrAllocated;
  Make(busy);
  D().ActTriggerStart->trigger();
  std::string text;
  ASSERT_EQ(MidiOutErrorText(kMidiErrAllocated, text), kMidiOk);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].toStdString(), text);
  EXPECT_EQ(errors[0], "Le port MIDI est déjà utilisé.") << "the window speaks French";
  EXPECT_TRUE(log.Take().empty());
  EXPECT_TRUE(D().ActTriggerStart->isEnabled());
  EXPECT_FALSE(RunFlags.Running);
  EXPECT_FALSE(D().LedMidiOutState->Lit());
}

TEST_F(WindowTest, AStartThatFailsUndoesItsStepsInReverseAndLeavesTheWindowAsAfterStop) {
  TWindowOptions refused;
  refused.output_error = "Sortie refusée";
  Make(refused);
  D().ActTriggerStart->trigger();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].toStdString(), refused.output_error);
  // The port closes last, once the capture is off and no note can start any more.
  EXPECT_EQ(log.Take(), (Log{"midi open Synth A", "capture on", "filter on", "output on",
                             "output off", "filter off", "capture off", "midi close"}));
  EXPECT_TRUE(D().ActTriggerStart->isEnabled());
  EXPECT_FALSE(D().ActTriggerStop->isEnabled());
  EXPECT_TRUE(D().lstInputDevices->isEnabled());
  EXPECT_FALSE(RunFlags.Running);
  for (auto* led : {D().ledAudioInState, D().ledAudioOutState, D().LedMidiOutState})
    EXPECT_FALSE(led->Lit());
  EXPECT_EQ(D().lblLeftLevelInDb->text(), "-.--");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass is gone after the error";
  // Nothing is left on for the close to switch off.
  window->close();
  EXPECT_TRUE(log.Take().empty());
}

TEST_F(WindowTest, ClosingWhileRunningSwitchesEverythingOffWithinTheWaits) {
  Make();
  D().ActTriggerStart->trigger();
  log.Take();
  const auto t0 = steady_clock::now();
  EXPECT_TRUE(window->close());
  const auto took = steady_clock::now() - t0;
  EXPECT_EQ(log.Take(), (Log{"midi close", "output off", "filter off", "capture off", "stop sound",
                             "stop sound"}));
  EXPECT_EQ(MyMidi.Output, nullptr) << "the MIDI output object is freed";
  EXPECT_FALSE(midi.IsOpen(0));
  EXPECT_TRUE(RunFlags.Closing);
  EXPECT_GE(took, milliseconds(2300));
  EXPECT_LT(took, seconds(15));
  // Closed windows keep their controls as they were.
  EXPECT_TRUE(D().ActTriggerStop->isEnabled());
}

TEST_F(WindowTest, ClosingWhileStoppedWaitsOnlyTheFinalHalfSecond) {
  Make();
  const auto t0 = steady_clock::now();
  EXPECT_TRUE(window->close());
  const auto took = steady_clock::now() - t0;
  EXPECT_TRUE(log.Take().empty()) << "none of the running close's steps";
  EXPECT_GE(took, milliseconds(500));
}

TEST_F(WindowTest, StartIsIgnoredOnceTheCloseSequenceHasBegun) {
  Make();
  RunFlags.Closing = true;
  D().ActTriggerStart->trigger();
  EXPECT_TRUE(log.Take().empty());
  RunFlags.Closing = false;
}
