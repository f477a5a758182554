// The wave sound: the byte block and its streaming, loading files of any content, and playing
// through the process's single sound.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "audio/VrAudio.h"
#include "platform/virtual/FakeClock.h"
#include "platform/virtual/VirtualSoundService.h"

namespace {

std::string Bytes(const TVrAudioData& d) {
  return d.Empty() ? std::string() : std::string(reinterpret_cast<const char*>(d.Data()), d.Size());
}

void Set(TVrAudioData& d, const std::string& s) {
  d.SetData(reinterpret_cast<const uint8_t*>(s.data()), static_cast<uint32_t>(s.size()));
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("tocsin-vraudio-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Write(const std::string& name, const std::string& content) {
    auto path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  std::filesystem::path dir;
};

TEST(VrAudioData, StreamsWithAndWithoutHeader) {
  TVrAudioData d;
  std::ostringstream empty;
  d.WriteData(empty, true);
  EXPECT_TRUE(empty.str().empty()) << "an empty block writes nothing at all";

  Set(d, "abc");
  std::ostringstream with;
  d.SaveToStream(with);
  EXPECT_EQ(with.str(), std::string("\x00\x92\x09\x00\x03\x00\x00\x00" "abc", 11));
  std::ostringstream without;
  d.WriteData(without, false);
  EXPECT_EQ(without.str(), "abc");

  TVrAudioData back;
  std::istringstream in(with.str() + "trailing");
  back.LoadFromStream(in);
  EXPECT_EQ(Bytes(back), "abc") << "the stored size, not the stream's, counts";

  std::istringstream raw("whole stream");
  back.ReadData(raw, false);
  EXPECT_EQ(Bytes(back), "whole stream");
}

TEST(VrAudioData, BadStreamsRaiseAndLeaveTheBlock) {
  TVrAudioData d;
  Set(d, "keep");
  std::istringstream wrong(std::string("\x01\x92\x09\x00\x01\x00\x00\x00x", 9));
  try {
    d.LoadFromStream(wrong);
    FAIL() << "no exception";
  } catch (const EVrAudioError& e) {
    EXPECT_STREQ(e.what(), "Unknown audio streaming format.");
  }
  EXPECT_EQ(Bytes(d), "keep");

  // A stored size far beyond the stream: refused before anything is allocated.
  std::istringstream lying(std::string("\x00\x92\x09\x00\xff\xff\xff\xff" "ab", 10));
  EXPECT_THROW(d.LoadFromStream(lying), EVrAudioError);
  std::istringstream short_header(std::string("\x00\x92", 2));
  EXPECT_THROW(d.LoadFromStream(short_header), EVrAudioError);
  EXPECT_EQ(Bytes(d), "keep");
}

TEST(VrAudioData, SizeAssignAndImages) {
  TVrAudioData d;
  EXPECT_TRUE(d.Empty());
  EXPECT_EQ(d.Image(), nullptr);
  Set(d, "abcdef");
  const uint8_t* before = d.Data();
  d.SetSize(6);
  EXPECT_EQ(d.Data(), before) << "the same size again does nothing";
  d.SetSize(3);
  EXPECT_EQ(Bytes(d), "abc");
  d.SetSize(5);
  EXPECT_EQ(Bytes(d), std::string("abc\0\0", 5));

  TVrAudioData copy;
  copy.Assign(d);
  EXPECT_EQ(Bytes(copy), Bytes(d));
  // An image already handed out (to the sound service) outlives any later change.
  TSoundImagePtr held = d.Image();
  Set(d, "xyz");
  d.Clear();
  EXPECT_TRUE(d.Empty());
  EXPECT_EQ(std::string(held->begin(), held->end()), std::string("abc\0\0", 5));
  EXPECT_EQ(Bytes(copy), std::string("abc\0\0", 5));
}

TEST_F(TempDir, FilesLoadWholeWhateverTheyHold) {
  TVrAudioData d;
  const std::string text = "not a wave file at all";
  d.LoadFromFile(Write("text.wav", text));
  EXPECT_EQ(Bytes(d), text);

  // A second load replaces the first image completely, also with a shorter file.
  d.LoadFromFile(Write("short.wav", "RIFF"));
  EXPECT_EQ(Bytes(d), "RIFF");
  d.LoadFromFile(Write("empty.wav", ""));
  EXPECT_TRUE(d.Empty());

  Set(d, "saved");
  const auto path = (dir / "out.bin").string();
  d.SaveToFile(path);
  TVrAudioData back;
  back.LoadFromFile(path);
  EXPECT_EQ(Bytes(back), "saved");

  EXPECT_THROW(d.LoadFromFile((dir / "missing.wav").string()), EVrAudioError);
  EXPECT_EQ(Bytes(d), "saved");
}

class VrWaveTest : public TempDir {
 protected:
  TFakeTickClock clock;
  TVirtualSoundService service{clock};
};

TEST_F(VrWaveTest, OptionsGiveThePlayFlags) {
  TVrWave w(service);
  EXPECT_EQ(w.Options(), (TVrWaveOptions{TVrWaveOption::vwoAsync, TVrWaveOption::vwoNoDefault}));
  EXPECT_EQ(w.PlayFlags(), 0x4u | 0x1u | 0x2u);
  w.SetOptions({TVrWaveOption::vwoLoop, TVrWaveOption::vwoNoStop, TVrWaveOption::vwoNoWait});
  EXPECT_EQ(w.PlayFlags(), 0x4u | 0x8u | 0x10u | 0x2000u);
  w.SetOptions({});
  EXPECT_EQ(w.PlayFlags(), 0x4u);
}

TEST_F(VrWaveTest, EmptySoundPlaysNothing) {
  TVrWave w(service);
  w.Sound().LoadFromFile(Write("zero.wav", ""));
  w.Play();
  EXPECT_EQ(service.PlayCount(), 0u);
  w.Stop();  // nothing plays: harmless
  EXPECT_EQ(service.Current(), nullptr);
}

TEST_F(VrWaveTest, PlayHandsTheImageOverAndTheNewestSoundWins) {
  TVrWave left(service);
  TVrWave right(service);
  left.Sound().LoadFromFile(Write("left.wav", "LEFT"));
  right.Sound().LoadFromFile(Write("right.wav", "RIGHT"));
  left.Play();
  ASSERT_NE(service.Current(), nullptr);
  EXPECT_EQ(service.Current(), left.Sound().Image()) << "the image is shared, not copied";
  EXPECT_EQ(service.Events().back().Flags, left.PlayFlags());
  clock.Advance(10);
  right.Play();  // channel 1 cuts channel 0 off
  EXPECT_EQ(service.Current(), right.Sound().Image());
  left.Stop();   // the process has one sound: stopping either stops it
  EXPECT_EQ(service.Current(), nullptr);
  auto events = service.Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1].Tick, 10u);
  EXPECT_EQ(events[2].Kind, TSoundEvent::TKind::kStop);

  TVrAudioData other;
  Set(other, "OTHER");
  left.SetSound(other);
  left.Play();
  EXPECT_EQ(*service.Current(), TSoundImage({'O', 'T', 'H', 'E', 'R'}));
}

}  // namespace
