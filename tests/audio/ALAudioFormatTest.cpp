#include "audio/ALAudioFormat.h"

#include <gtest/gtest.h>

namespace {

struct CountingLock : IOWOwnerLock {
  int depth = 0, writes = 0;
  void BeginWrite() override {
    ++depth;
    ++writes;
  }
  void EndWrite() override { --depth; }
};

TEST(ALAudioFormat, DefaultsAndHeaderAfterConstruction) {
  TALAudioFormat f;
  EXPECT_EQ(f.Channels(), 2u);
  EXPECT_EQ(f.Bits(), 16u);
  EXPECT_EQ(f.SampleRate(), 11025u);
  EXPECT_EQ(f.BufferSize(), 1024u);
  const TWaveFormatEx& h = *f.WaveFormat();
  EXPECT_EQ(h.wFormatTag, 1);
  EXPECT_EQ(h.nChannels, 2);
  EXPECT_EQ(h.nBlockAlign, 4);
  EXPECT_EQ(h.nAvgBytesPerSec, 44100u);
  EXPECT_EQ(h.cbSize, 0);
}

TEST(ALAudioFormat, SettersClampOutOfRangeValues) {
  TALAudioFormat f;
  f.SetChannels(0);
  EXPECT_EQ(f.Channels(), 1u);
  f.SetChannels(40);
  EXPECT_EQ(f.Channels(), 32u);
  f.SetBits(12);
  EXPECT_EQ(f.Bits(), 16u);
  f.SetBits(4);
  EXPECT_EQ(f.Bits(), 8u);
  f.SetBits(8);
  EXPECT_EQ(f.Bits(), 8u);
  f.SetBits(24);
  EXPECT_EQ(f.Bits(), 16u);
  f.SetBufferSize(0);
  EXPECT_EQ(f.BufferSize(), 1u);
}

TEST(ALAudioFormat, HeaderFollowsEveryChange) {
  TALAudioFormat f;
  f.SetSampleRate(44100);
  EXPECT_EQ(f.WaveFormat()->nBlockAlign, 4);
  EXPECT_EQ(f.WaveFormat()->nAvgBytesPerSec, 176400u);
  f.SetChannels(1);
  f.SetBits(8);
  EXPECT_EQ(f.WaveFormat()->nBlockAlign, 1);
  EXPECT_EQ(f.WaveFormat()->nAvgBytesPerSec, 44100u);
  EXPECT_EQ(f.WaveFormat()->wBitsPerSample, 8);
  f.SetChannels(32);
  f.SetBits(16);
  EXPECT_EQ(f.WaveFormat()->nBlockAlign, 64);
  // The buffer size is not part of the header.
  const auto before = f.WaveFormat()->ToBytes();
  f.SetBufferSize(256);
  EXPECT_EQ(f.WaveFormat()->ToBytes(), before);
}

TEST(ALAudioFormat, HeaderBytesAreLittleEndianPcm) {
  TALAudioFormat f;
  f.SetSampleRate(44100);
  const auto b = f.WaveFormat()->ToBytes();
  const uint8_t expected[18] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0};
  for (int i = 0; i < 18; ++i) EXPECT_EQ(b[i], expected[i]) << "byte " << i;
}

TEST(ALAudioFormat, NotificationRules) {
  TALAudioFormat f;
  int calls = 0;
  TALAudioFormatBasic* seen = nullptr;
  f.SetOnChange([&](TALAudioFormatBasic& fmt) {
    ++calls;
    seen = &fmt;
  });
  f.SetChannels(2);  // unchanged
  f.SetBits(16);     // unchanged
  f.SetBits(20);     // clamps to the stored 16: unchanged
  f.SetBufferSize(1024);
  EXPECT_EQ(calls, 0);
  f.SetSampleRate(11025);  // same value still notifies
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen, &f);
  f.SetChannels(1);
  f.SetBits(8);
  f.SetBufferSize(512);
  EXPECT_EQ(calls, 4);
}

TEST(ALAudioFormat, ChangesHoldTheOwnerLockAndNotifyAfterIt) {
  CountingLock lock;
  TALAudioFormat f(&lock);
  int depth_in_notify = -1;
  f.SetOnChange([&](TALAudioFormatBasic&) { depth_in_notify = lock.depth; });
  const int before = lock.writes;
  f.SetSampleRate(48000);
  EXPECT_EQ(lock.writes, before + 1);
  EXPECT_EQ(lock.depth, 0);
  EXPECT_EQ(depth_in_notify, 0);
  f.SetBufferSize(64);
  EXPECT_EQ(lock.writes, before + 2);
}

}  // namespace
