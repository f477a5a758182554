#include "audio/ALAudioBuffer.h"

#include <gtest/gtest.h>

#include "audio/ALErrors.h"

namespace {

std::string RangeMessage(const std::function<void()>& f) {
  try {
    f();
  } catch (const ERangeError& e) {
    return e.what();
  }
  return "no error";
}

TEST(ALAudioBuffer, CaptureBlockLayout) {
  auto b = TALAudioBuffer::Create(16, 1024, 2);
  EXPECT_EQ(b->BlockSize(), 4114u);
  EXPECT_EQ(b->DataSize(), 4096u);
  EXPECT_EQ(b->FrameCount(), 1024u);
  auto a = b->GetAccess();
  EXPECT_EQ(a->Count(), 1024u);
  EXPECT_EQ(a->Data(), b->Block()->Begin() + 18);
  const TWaveFormatEx h = b->Header();
  EXPECT_EQ(h.nChannels, 2);
  EXPECT_EQ(h.wBitsPerSample, 16);
  EXPECT_EQ(h.nSamplesPerSec, 11025u);  // the stream's rate travels elsewhere
  EXPECT_EQ(h.nBlockAlign, 4);
  EXPECT_EQ(h.nAvgBytesPerSec, 44100u);
}

TEST(ALAudioBuffer, DefaultBufferIsOneEightBitMonoFrame) {
  auto b = TALAudioBuffer::Create();
  EXPECT_EQ(b->BlockSize(), 19u);
  EXPECT_EQ(b->FrameCount(), 1u);
  EXPECT_EQ(b->Header().nChannels, 1);
  EXPECT_EQ(b->Header().wBitsPerSample, 8);
}

TEST(ALAudioBuffer, SixteenBitSamplesAreInterleavedAndSignExtended) {
  auto b = TALAudioBuffer::Create(16, 4, 2);
  auto a = b->GetAccess();
  a->SetSample(0, 0, -32768);
  a->SetSample(0, 1, 32767);
  a->SetSample(3, 1, -1);
  a->SetSample(2, 0, 0x12345);  // only the low 16 bits are kept
  EXPECT_EQ(a->GetSample(0, 0), -32768);
  EXPECT_EQ(a->GetSample(0, 1), 32767);
  EXPECT_EQ(a->GetSample(3, 1), -1);
  EXPECT_EQ(a->GetSample(2, 0), 0x2345);
  const uint8_t* d = a->Data();
  EXPECT_EQ(d[0], 0x00);
  EXPECT_EQ(d[1], 0x80);
  EXPECT_EQ(d[2], 0xFF);
  EXPECT_EQ(d[3], 0x7F);
  EXPECT_EQ(d[14], 0xFF);
  EXPECT_EQ(d[15], 0xFF);
}

TEST(ALAudioBuffer, EightBitSilenceReadsAs128) {
  auto b = TALAudioBuffer::Create(8, 8, 2);
  auto a = b->GetAccess();
  for (uint32_t i = 0; i < 8; ++i) {
    a->SetSample(i, 0, 128);
    a->SetSample(i, 1, 128);
  }
  EXPECT_EQ(a->GetSample(5, 1), 128);
  a->SetSample(1, 1, 0x1FF);
  EXPECT_EQ(a->GetSample(1, 1), 255);  // no re-centring, low byte only
  EXPECT_EQ(a->Data()[3], 0xFF);
}

TEST(ALAudioBuffer, WidthsAboveSixteenReadAsZero) {
  auto b = TALAudioBuffer::Create(24, 2, 1);
  auto a = b->GetAccess();
  a->SetSample(1, 0, 1234);
  EXPECT_EQ(a->GetSample(1, 0), 0);
}

TEST(ALAudioBuffer, RangeErrorsCheckTheChannelFirstAndLeaveDataAlone) {
  auto b = TALAudioBuffer::Create(16, 1024, 2);
  auto a = b->GetAccess();
  a->SetSample(1023, 1, 77);
  EXPECT_EQ(RangeMessage([&] { a->GetSample(1024, 0); }), "Index out of rabge = 1024");
  EXPECT_EQ(RangeMessage([&] { a->GetSample(0, 2); }), "Channel out of rabge = 2");
  EXPECT_EQ(RangeMessage([&] { a->GetSample(5000, 2); }), "Channel out of rabge = 2");
  EXPECT_EQ(RangeMessage([&] { a->SetSample(1024, 1, 5); }), "Index out of rabge = 1024");
  EXPECT_EQ(RangeMessage([&] { a->SetSample(0, 0xFFFFFFFFu, 5); }),
            "Channel out of rabge = 4294967295");
  EXPECT_EQ(a->GetSample(1023, 1), 77);
  for (uint32_t i = 0; i < 1023; ++i) ASSERT_EQ(a->GetSample(i, 1), 0);
}

TEST(ALAudioBuffer, EmptyBufferHasNoFrames) {
  auto b = TALAudioBuffer::Create(16, 0, 2);
  auto a = b->GetAccess();
  EXPECT_EQ(a->Count(), 0u);
  EXPECT_EQ(RangeMessage([&] { a->GetSample(0, 0); }), "Index out of rabge = 0");
  auto z = TALAudioBuffer::Create(0, 16, 2);  // no width: block alignment 0
  EXPECT_EQ(z->FrameCount(), 0u);
}

TEST(ALAudioBuffer, CopySharesMemoryAndOutlivesTheOriginal) {
  auto first = TALAudioBuffer::Create(16, 16, 2);
  first->GetAccess()->SetSample(7, 1, -1234);
  auto copy = TALAudioBuffer::CreateCopy(first);
  EXPECT_EQ(copy->Block(), first->Block());
  std::weak_ptr<TALSmartAudioBuffer> block = first->Block();
  first.reset();
  ASSERT_FALSE(block.expired());
  EXPECT_EQ(copy->GetAccess()->GetSample(7, 1), -1234);
  copy.reset();
  EXPECT_TRUE(block.expired());
}

TEST(ALAudioBuffer, AssignSharesTheSourceBlockAndReleasesTheOldOne) {
  auto a = TALAudioBuffer::Create(16, 4, 1);
  auto b = TALAudioBuffer::Create(16, 8, 2);
  std::weak_ptr<TALSmartAudioBuffer> old_block = a->Block();
  b->GetAccess()->SetSample(3, 1, 99);
  a->Assign(b);
  EXPECT_TRUE(old_block.expired());
  EXPECT_EQ(a->Block(), b->Block());
  EXPECT_EQ(a->GetAccess()->GetSample(3, 1), 99);
  // Writing through one is seen through the other: no copy was made.
  a->GetAccess()->SetSample(0, 0, 5);
  EXPECT_EQ(b->GetAccess()->GetSample(0, 0), 5);
  auto block = a->Block();
  a->Assign(a);
  a->Assign(b);
  EXPECT_EQ(a->Block(), block);
  EXPECT_EQ(block.use_count(), 3);  // a, b and this test
}

TEST(ALAudioBuffer, AccessObjectsAreTrackedAndKeepTheirMemory) {
  auto b = TALAudioBuffer::Create(16, 4, 2);
  auto a1 = b->GetAccess();
  auto a2 = b->GetAccess();
  EXPECT_EQ(b->OpenAccessCount(), 2u);
  a1.reset();
  EXPECT_EQ(b->OpenAccessCount(), 1u);
  a2->SetSample(2, 0, 321);
  b->Assign(TALAudioBuffer::Create(16, 1, 1));  // a2 still reads the block it was made on
  EXPECT_EQ(a2->GetSample(2, 0), 321);
  a2.reset();
  EXPECT_EQ(b->OpenAccessCount(), 0u);
}

}  // namespace
