// Detection wired to the window's controls: the snapshot follows the controls, and what a block
// changes reaches the window in order while notes go to the MIDI port at once.
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <atomic>

#include "IniValues.h"
#include "WindowFixture.h"

using Log = std::vector<std::string>;

namespace {
// A mono 16-bit WAV file of a few samples.
void WriteTinyWav(const std::string& path) {
  const int16_t samples[4] = {0, 1000, -1000, 0};
  auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
  std::string data(reinterpret_cast<const char*>(samples), sizeof samples);
  std::string wav = "RIFF" + u32(36 + data.size()) + "WAVEfmt " + u32(16) + u16(1) + u16(1) +
                    u32(44100) + u32(88200) + u16(2) + u16(16) + "data" + u32(data.size()) + data;
  QFile f(QString::fromStdString(path));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(wav.data(), static_cast<qint64>(wav.size()));
}
}  // namespace

TEST_F(WindowTest, ABlockAboveTheThresholdSendsTheNoteAndLightsTheThresholdLight) {
  Make();
  D().ActTriggerStart->trigger();
  log.Take();
  DeliverOnCaptureThread(BlockAtDb(-20, -60));
  // Channel "1", note "Do3": 127 - 127 * 20 / 45 = 70.56, velocity 70 (46 hex), sent at once
  // from the capture thread.
  EXPECT_EQ(MidiBytes(), (std::vector<uint8_t>{0x90, 0x3C, 0x46}));
  EXPECT_FALSE(D().ledLeftThres->Lit()) << "indicator changes wait for the UI thread";
  ASSERT_TRUE(PumpUntil([&] { return D().ledLeftThres->Lit(); }));
  EXPECT_FALSE(D().ledRightThres->Lit());
  EXPECT_EQ(D().lblMidiOutLastVel[0]->text(), "70");
  EXPECT_EQ(D().lblLeftLevelInDb->text().left(3), "-20");
  EXPECT_EQ(D().lblRightLevelInDb->text().left(3), "-59");  // 33 / 32767: -59.94 dB
  EXPECT_EQ(D().VuAudioRight->Position(), -59);
  EXPECT_TRUE(D().LedMidiOutData->Lit());
  EXPECT_TRUE(PumpUntil([&] { return !D().LedMidiOutData->Lit(); }))
      << "the activity light goes dark after its 100 ms although the note sounds";

  // Held above: no second note-on; back below: one note-off, light dark.
  DeliverOnCaptureThread(BlockAtDb(-20, -60));
  DeliverOnCaptureThread(BlockAtDb(-50, -60));
  EXPECT_EQ(MidiBytes(), (std::vector<uint8_t>{0x90, 0x3C, 0x46, 0x80, 0x3C, 0x40}));
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

TEST_F(WindowTest, ChannelAndNoteChangesReachTheNextNote) {
  Make();
  D().lstMidiOutChannel->setCurrentIndex(15);
  D().lstMidiOutNote[0]->setCurrentIndex(127);  // Sol8
  D().cbMidiOutVelFollowAudioInLevel->setChecked(false);
  D().ActTriggerStart->trigger();
  DeliverOnCaptureThread(BlockAtDb(-20, -60));
  EXPECT_EQ(MidiBytes(), (std::vector<uint8_t>{0x9F, 0x7F, 0x64}));
}

TEST_F(WindowTest, ASoundFileChannelPlaysItsFileAndIsInhibitedForAWhile) {
  Make();
  const std::string wav = ini_dir.filePath("coup.wav").toStdString();
  WriteTinyWav(wav);
  D().rbStartAudioFile[1]->click();
  EXPECT_EQ(log.Take(), (Log{"stop sound"}));
  EXPECT_FALSE(D().lstMidiOutNote[1]->isEnabled());
  EXPECT_TRUE(D().edAudioOutFileName[1]->isEnabled());
  D().edAudioOutFileName[1]->setText(QString::fromStdString(wav));
  D().ActTriggerStart->trigger();
  ASSERT_EQ(sound.Prepared().size(), 1u) << "the sound output is made ready at Start";
  EXPECT_EQ(sound.Prepared()[0], Sounds[1].Wave->Sound().Image());
  DeliverOnCaptureThread(BlockAtDb(-60, -10));
  EXPECT_EQ(sound.PlayCount(), 1u);
  EXPECT_TRUE(Sounds[1].Inhibited);
  DeliverOnCaptureThread(BlockAtDb(-60, -10));
  EXPECT_EQ(sound.PlayCount(), 1u) << "inhibited";
  EXPECT_TRUE(MidiBytes().empty()) << "the left channel stayed below its threshold";
  // The inhibition timer's tick, on the UI thread, ends the window (40 ms, ticking at ~80 ms).
  ASSERT_TRUE(PumpUntil([&] { return !Sounds[1].Inhibited; }));
  DeliverOnCaptureThread(BlockAtDb(-60, -10));
  EXPECT_EQ(sound.PlayCount(), 2u);
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
  EXPECT_EQ(TWindowTriggerActions::FormatTwoDecimals(-12.344, ","), "-12,34");
  EXPECT_EQ(TWindowTriggerActions::FormatTwoDecimals(-90.30873, "."), "-90.31");
  EXPECT_EQ(TWindowTriggerActions::FormatTwoDecimals(100, ","), "100,00");
}

TEST_F(WindowTest, TheWindowStaysResponsiveWhileBlocksStreamAndStopEndsThem) {
  Make();
  // The right channel on a note of its own (Ré3): on one key, it would hold the left's note.
  D().lstMidiOutNote[1]->setCurrentIndex(62);
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

  D().ActTriggerStop->trigger();
  EXPECT_TRUE(RunFlags.StopAck.load()) << "the streaming capture thread answered the stop";
  stop = true;
  capture.join();
  PumpUntil([] { return false; }, std::chrono::milliseconds(200));
  EXPECT_EQ(D().lblLeftLevelInDb->text(), "-.--") << "no refresh lands after the reset";
  EXPECT_EQ(D().VuAudioLeft->Position(), -96);
  // The right channel, always above at -30 dB, sent one note-on (127 - 127 * 30 / 45 = 42.3);
  // the left one's note-ons (velocity 70) and note-offs alternate.
  // Stop ends the right channel's note (after the left one's, when that sounds): the stream
  // ends with a note-off that breaks the alternation.
  std::vector<uint8_t> bytes = MidiBytes();
  ASSERT_EQ(bytes.size() % 3, 0u);
  ASSERT_GE(bytes.size(), 3u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 3, bytes.end()),
            (std::vector<uint8_t>{0x80, 62, 0x40}));
  bytes.resize(bytes.size() - 3);
  int right_on = 0, left_on = 0, off = 0;
  int last = 0;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    if (bytes[i] == 0x90 && bytes[i + 2] == 42) {
      ++right_on;
      continue;
    }
    const int kind = bytes[i];
    EXPECT_NE(kind, last) << "two messages " << std::hex << kind << " in a row";
    last = kind;
    (kind == 0x90 ? left_on : off)++;
  }
  EXPECT_EQ(right_on, 1);
  EXPECT_GT(left_on, 10);
  EXPECT_GE(off, left_on - 1);
}
