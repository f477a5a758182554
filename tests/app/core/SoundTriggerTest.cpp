// Sound-file triggering: a channel above its threshold plays its sound, then ignores detections
// until its timer's tick about two periods later; loading, stopping and the controls' logic.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "SoundTriggerFixture.h"
#include "platform/RealtimeThread.h"
#include "platform/SteadyClock.h"

namespace {

using namespace std::chrono_literals;

TEST_F(SoundTriggerTest, HeldLevelRetriggersEveryTwoPeriods) {
  controls.StartAudioFile[1] = false;
  uint32_t last = 0;
  for (int block = 0; block < 40; ++block) {
    const uint32_t now = block * 10;
    At(now);
    if (sounds[0].Inhibited) {
      if (now - last >= 80) {
        ASSERT_TRUE(WaitReady(0)) << "tick overdue at " << now << " ms";
      } else {
        dispatcher.ProcessPending();
        ASSERT_TRUE(sounds[0].Inhibited) << "inhibition ended early at " << now << " ms";
      }
    }
    const size_t plays = service.PlayCount();
    detector.ProcessBlock(AtDb(-10, -100));
    if (service.PlayCount() > plays) last = now;
    EXPECT_TRUE(actions.light[0]) << "the light follows every block";
  }
  EXPECT_EQ(PlayTicks(), (std::vector<uint32_t>{0, 80, 160, 240, 320}));
  EXPECT_EQ(service.Current(), wave0.Sound().Image());
  EXPECT_EQ(actions.volumes[0].size(), 5u);
  EXPECT_EQ(actions.volumes[0][0], 100.0);
}

TEST_F(SoundTriggerTest, InsideACycleTheUiStartsTheTimerDatedFromTheHit) {
  At(0);
  {
    const TRealtimeThreadMark cycle;  // an audio server's thread, where no lock may be taken
    trigger.TriggerSound(0, 100.0);
  }
  EXPECT_EQ(service.PlayCount(), 1u);
  EXPECT_TRUE(sounds[0].Inhibited.load());
  EXPECT_FALSE(timer0.Enabled()) << "the cycle started the timer itself";
  At(30);  // the UI thread comes late
  ASSERT_TRUE(dispatcher.RunUntil([&] { return timer0.Enabled(); }, 10s));
  At(79);
  dispatcher.RunUntil([] { return false; }, 30ms);
  EXPECT_TRUE(sounds[0].Inhibited.load()) << "the window ended early";
  At(80);  // two periods after the hit, not after the UI's start (110 ms)
  EXPECT_TRUE(WaitReady(0));
}

TEST_F(SoundTriggerTest, OneMillisecondFollowsTheBlocks) {
  trigger.DurationChange(1);
  EXPECT_EQ(timer1.TimePeriod(), 0.001L);
  for (int block = 0; block < 10; ++block) {
    At(block * 23.2);
    if (sounds[0].Inhibited) {
      ASSERT_TRUE(WaitReady(0));
    }
    detector.ProcessBlock(AtDb(-10, -100));
  }
  EXPECT_EQ(service.PlayCount(), 10u);
}

TEST_F(SoundTriggerTest, ChannelOnesStartCutsChannelZeroOff) {
  detector.ProcessBlock(AtDb(-10, -10));
  auto events = service.Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Image, wave0.Sound().Image());
  EXPECT_EQ(service.Current(), wave1.Sound().Image());
  EXPECT_TRUE(sounds[0].Inhibited);
  EXPECT_TRUE(sounds[1].Inhibited);
}

TEST_F(SoundTriggerTest, NoFileStillStartsInhibitionWindows) {
  wave0.Sound().Clear();
  detector.ProcessBlock(AtDb(-10, -100));
  EXPECT_EQ(service.PlayCount(), 0u);
  EXPECT_TRUE(actions.light[0]);
  EXPECT_EQ(actions.volumes[0].size(), 1u);
  EXPECT_TRUE(sounds[0].Inhibited);
  detector.ProcessBlock(AtDb(-10, -100));
  EXPECT_EQ(actions.volumes[0].size(), 1u) << "inhibited: no second trigger";
  At(80);
  ASSERT_TRUE(WaitReady(0));
  detector.ProcessBlock(AtDb(-10, -100));
  EXPECT_EQ(actions.volumes[0].size(), 2u);
}

TEST_F(SoundTriggerTest, SlotWithoutWaveOrTimerNeverSticks) {
  sounds[0].Wave = nullptr;
  trigger.TriggerSound(0, 100);
  EXPECT_FALSE(sounds[0].Inhibited) << "no wave: nothing happens";
  trigger.TriggerSound(2, 100);  // no such channel
  trigger.TriggerSound(-1, 100);

  // A timer that cannot run would keep the channel silenced for ever.
  timer1.SetHPTimeBase(nullptr);
  trigger.TriggerSound(1, 100);
  EXPECT_EQ(service.PlayCount(), 1u);
  EXPECT_FALSE(sounds[1].Inhibited);
}

TEST_F(SoundTriggerTest, DurationBoxAndCheckBox) {
  trigger.DurationChange(250);
  EXPECT_EQ(timer0.TimePeriod(), 0.25L);
  EXPECT_EQ(timer1.TimePeriod(), 0.25L);
  trigger.DurationChange(0);  // not a period: both keep the last duration
  EXPECT_EQ(timer0.TimePeriod(), 0.25L);
  EXPECT_EQ(timer1.TimePeriod(), 0.25L);

  EXPECT_TRUE(TSoundTrigger::DurationBoxEnabled(true));
  EXPECT_FALSE(TSoundTrigger::DurationBoxEnabled(false));
  // Unchecked, the inhibition is still in force with the last duration.
  detector.ProcessBlock(AtDb(-10, -100));
  At(400);
  dispatcher.ProcessPending();
  detector.ProcessBlock(AtDb(-10, -100));
  EXPECT_EQ(service.PlayCount(), 1u);
  At(500);
  ASSERT_TRUE(WaitReady(0));
}

TEST_F(SoundTriggerTest, RadioClicksStopTheSoundAndSetTheBoxes) {
  detector.ProcessBlock(AtDb(-10, -100));
  ASSERT_NE(service.Current(), nullptr);
  auto c = trigger.StartModeClick(0, true, false);
  EXPECT_EQ(service.Current(), nullptr);
  EXPECT_TRUE(c.NoteListEnabled);
  EXPECT_FALSE(c.FileBoxEnabled);
  EXPECT_TRUE(sounds[0].Inhibited) << "a change of kind leaves the inhibition alone";

  service.Clear();
  c = trigger.StartModeClick(1, false, true);
  EXPECT_FALSE(c.NoteListEnabled);
  EXPECT_TRUE(c.FileBoxEnabled);
  ASSERT_EQ(service.Events().size(), 1u);
  EXPECT_EQ(service.Events()[0].Kind, TSoundEvent::TKind::kStop);
}

TEST_F(SoundTriggerTest, FileBoxesLoadOnlyExistingFiles) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("tocsin-sound-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto first = (dir / "first.wav").string();
  const auto second = (dir / "second.wav").string();
  std::ofstream(first, std::ios::binary) << "first image";
  std::ofstream(second, std::ios::binary) << "not a wave";

  auto text = [](const TVrAudioData& d) {
    return std::string(reinterpret_cast<const char*>(d.Data()), d.Size());
  };
  trigger.FileNameChange(0, first);
  EXPECT_EQ(text(wave0.Sound()), "first image");
  // Typing on: texts that name no file keep the earlier sound.
  for (const std::string& typed :
       {std::string(""), first + "x", dir.string(), dir.string() + "/"}) {
    trigger.FileNameChange(0, typed);
    EXPECT_EQ(text(wave0.Sound()), "first image") << typed;
  }
  trigger.FileNameChange(0, second);
  EXPECT_EQ(text(wave0.Sound()), "not a wave");
  EXPECT_EQ(text(wave1.Sound()), "B") << "the other channel keeps its own";

  sounds[1].Wave = nullptr;
  trigger.LoadChannelSound(1, first);  // no wave: nothing, no error
  trigger.LoadChannelSound(5, first);
  std::filesystem::remove_all(dir);
}

TEST_F(SoundTriggerTest, StopWithNothingPlayingAndLabels) {
  trigger.StopChannelSound(0);
  trigger.StopChannelSound(1);
  EXPECT_EQ(service.Current(), nullptr);
  sounds[0].Wave = nullptr;
  trigger.StopChannelSound(0);
  EXPECT_EQ(service.Events().size(), 2u);

  EXPECT_EQ(TSoundTrigger::FormatVolume(100.0), "100.00");
  EXPECT_EQ(TSoundTrigger::FormatVolume(57.0, ','), "57,00");
  EXPECT_STREQ(kWaveDefaultExt, "wav");
  EXPECT_STREQ(kWaveFileFilter, "Fichiers audio Wave (*.wav)|*.wav");
}

// On the real counter: the capture thread is never held for the inhibition duration, and the
// window still ends about two periods after the trigger.
TEST(SoundTriggerRealClock, TriggerReturnsAtOnceAndTheWindowLastsTwoPeriods) {
  TLoopDispatcher dispatcher;
  TVrHPTimeBase base;
  TVrHPTimer t0(dispatcher), t1(dispatcher);
  t0.SetHPTimeBase(&base);
  t1.SetHPTimeBase(&base);
  TVirtualSoundService service(SystemTickClock());
  TVrWave w0(service);
  const uint8_t x[] = {'x'};
  w0.Sound().SetData(x, 1);
  TMySound sounds[2];
  sounds[0].Wave = &w0;
  TSoundTrigger trigger(sounds, t0, t1);

  using Clock = std::chrono::steady_clock;
  trigger.DurationChange(10000);  // the longest the box allows
  auto t = Clock::now();
  trigger.TriggerSound(0, 100);
  EXPECT_LT(Clock::now() - t, 1s);
  EXPECT_TRUE(sounds[0].Inhibited);
  t0.SetEnabled(false);
  sounds[0].Inhibited = false;

  trigger.DurationChange(50);
  t = Clock::now();
  trigger.TriggerSound(0, 100);
  EXPECT_LT(Clock::now() - t, 1s);
  EXPECT_TRUE(sounds[0].Inhibited);
  ASSERT_TRUE(dispatcher.RunUntil([&] { return !sounds[0].Inhibited.load(); }, 10s));
  EXPECT_GE(Clock::now() - t, 99ms);
  EXPECT_FALSE(t0.Enabled());
  EXPECT_EQ(service.PlayCount(), 2u);
}

}  // namespace
