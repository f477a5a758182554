// Detection wired to the window's controls: the snapshot follows the controls, and what a block
// changes reaches the window in order while notes go to the MIDI port at once.
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <atomic>

#include "IniValues.h"
#include "WindowFixture.h"

using Log = std::vector<std::string>;

TEST_F(WindowTest, ABlockAboveTheThresholdSendsTheNoteAndLightsTheThresholdLight) {
  Make();
  D().ActTriggerStart->trigger();
  log.Take();
  DeliverOnCaptureThread(BlockAtDb(-20, -60));
  // 127 - 127 * 20 / 45 = 70.56: velocity 70 (46 hex), sent at once from the capture thread.
  EXPECT_EQ(log.Take(), (Log{"noteon 0 70"}));
  EXPECT_FALSE(D().ledLeftThres->Lit()) << "indicator changes wait for the UI thread";
  ASSERT_TRUE(PumpUntil([&] { return D().ledLeftThres->Lit(); }));
  EXPECT_FALSE(D().ledRightThres->Lit());
  EXPECT_EQ(D().lblMidiOutLastVel[0]->text(), "70");
  EXPECT_EQ(D().lblLeftLevelInDb->text().left(3), "-20");
  EXPECT_EQ(D().lblRightLevelInDb->text().left(3), "-59");  // 33 / 32767: -59.94 dB
  EXPECT_EQ(D().VuAudioRight->Position(), -59);

  // Held above: no second note-on; back below: one note-off, light dark.
  DeliverOnCaptureThread(BlockAtDb(-20, -60));
  DeliverOnCaptureThread(BlockAtDb(-50, -60));
  EXPECT_EQ(log.Take(), (Log{"noteoff 0"}));
  ASSERT_TRUE(PumpUntil([&] { return !D().ledLeftThres->Lit(); }));
}

TEST_F(WindowTest, TheSnapshotFollowsEveryControlTheBlockHandlerReads) {
  Make();
  const TControlSnapshot& s = window->Snapshot();
  D().edTocsinThres[1]->setValue(-30);
  EXPECT_EQ(s.Thres[1].load(), -30);
  D().lstMidiOutChannel->setCurrentIndex(15);
  EXPECT_EQ(s.MidiChannelIndex.load(), 15);
  D().lstMidiOutNote[1]->setCurrentIndex(127);
  EXPECT_EQ(s.NoteIndex[1].load(), 127);
  D().cbMidiOutVelFollowAudioInLevel->setChecked(false);
  EXPECT_FALSE(s.MidiVelFollowLevel.load());
  D().rbStartAudioFile[0]->setChecked(true);
  EXPECT_FALSE(s.StartMidiNote[0].load());
  EXPECT_TRUE(s.StartAudioFile[0].load());
  D().cbAudioOutVolFollowAudioInLevel->setChecked(true);
  EXPECT_TRUE(s.AudioVolFollowLevel.load());
}

TEST_F(WindowTest, ASoundFileChannelTriggersItsSoundAndShowsTheVolume) {
  Make();
  D().rbStartAudioFile[1]->click();
  EXPECT_EQ(log.Take(), (Log{"stop sound 1"}));
  EXPECT_FALSE(D().lstMidiOutNote[1]->isEnabled());
  EXPECT_TRUE(D().edAudioOutFileName[1]->isEnabled());
  D().ActTriggerStart->trigger();
  log.Take();
  DeliverOnCaptureThread(BlockAtDb(-60, -10));
  EXPECT_EQ(log.Take(), (Log{"sound 1 100"}));
  ASSERT_TRUE(PumpUntil([&] { return D().ledRightThres->Lit(); }));
  // "%f": two decimals with the user's separator.
  const QString point = QString::fromStdString(UserDecimalSeparator());
  EXPECT_EQ(D().lblAudioOutLastVol[1]->text(), "100" + point + "00");
}

TEST_F(WindowTest, ThresholdBoxesMoveBothScalesAndBothStoredThresholds) {
  Make();
  D().edTocsinThres[0]->setValue(-20);
  EXPECT_EQ(D().scTocsinLeftThres->Position(), -20.0f);
  EXPECT_EQ(D().scTocsinRightThres->Position(), -45.0f);
  EXPECT_EQ(MyAudio.LeftThres, -20);
  EXPECT_EQ(MyAudio.RightThres, -45);
  D().edTocsinThres[1]->setValue(-200);  // clamped by the box
  EXPECT_EQ(MyAudio.RightThres, -144);
}

TEST_F(WindowTest, ClipShowsForANearFullScaleBlockAndHidesAgain) {
  Make();
  D().ActTriggerStart->trigger();
  DeliverOnCaptureThread(BlockAtDb(0, -60));
  ASSERT_TRUE(PumpUntil([&] { return !D().lblClip->isHidden(); }));
  DeliverOnCaptureThread(BlockAtDb(-20, -60));
  ASSERT_TRUE(PumpUntil([&] { return D().lblClip->isHidden(); }));
}

TEST_F(WindowTest, DbReadoutsUseTheUsersDecimalSeparator) {
  EXPECT_EQ(TWindowTriggerActions::FormatDb(-12.344, ","), "-12,34");
  EXPECT_EQ(TWindowTriggerActions::FormatDb(-90.30873, "."), "-90.31");
  EXPECT_EQ(TWindowTriggerActions::FormatDb(100, ","), "100,00");
}

TEST_F(WindowTest, TheWindowStaysResponsiveWhileBlocksStreamAndStopEndsThem) {
  Make();
  D().ActTriggerStart->trigger();
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::thread capture([&] {
    const auto loud = BlockAtDb(-20, -30), quiet = BlockAtDb(-50, -30);
    while (!stop) {
      capture_->Deliver(blocks % 2 ? loud : quiet);
      ++blocks;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });
  bool fired = false;
  QTimer::singleShot(50, [&] { fired = true; });
  EXPECT_TRUE(PumpUntil([&] { return fired && blocks > 200; }));

  const auto t0 = std::chrono::steady_clock::now();
  D().ActTriggerStop->trigger();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(900));
  stop = true;
  capture.join();
  PumpUntil([] { return false; }, std::chrono::milliseconds(200));
  EXPECT_EQ(D().lblLeftLevelInDb->text(), "-.--") << "no refresh lands after the reset";
  EXPECT_EQ(D().VuAudioLeft->Position(), -96);
  // The left channel's note-ons and note-offs alternate; the right one, always above, sent one.
  const auto sent = log.Take();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "noteon 1 42"), 1);  // -30 dB: 127 - 127 * 30 / 45 = 42.3
  std::string last;
  for (const auto& e : sent) {
    if (e.rfind("noteon 0", 0) != 0 && e != "noteoff 0") continue;
    EXPECT_NE(e.substr(0, 6), last.substr(0, 6)) << "two " << e << " in a row";
    last = e;
  }
}
