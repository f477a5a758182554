// Decoding sound-file images from memory, and shaping them for the output device: whatever the
// bytes, the decoder answers with a sound or with nothing, never more than the cap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "WavImage.h"
#include "platform/rt/SoundDecoder.h"

namespace {

float Peak(const std::vector<float>& s, size_t from, size_t step, size_t offset) {
  float p = 0;
  for (size_t i = from + offset; i < s.size(); i += step) p = std::max(p, std::fabs(s[i]));
  return p;
}

TEST(SoundDecoder, DecodesPcmWave) {
  auto wav = MakeWav(22050, 2, 2205, 551.25, 0.5);
  auto d = DecodeSoundImage(wav.data(), wav.size());
  ASSERT_TRUE(d.has_value());
  EXPECT_EQ(d->SampleRate, 22050u);
  EXPECT_EQ(d->Channels, 2u);
  EXPECT_EQ(d->Frames(), 2205u);
  // Frame 10 of a 551.25 Hz sine at 22050 Hz is the crest, frame 30 the trough.
  EXPECT_NEAR(d->Samples[20], 0.5, 1e-3);
  EXPECT_NEAR(d->Samples[21], 0.5, 1e-3);
  EXPECT_NEAR(d->Samples[60], -0.5, 1e-3);
}

TEST(SoundDecoder, AnswersNothingForWhatIsNotASound) {
  EXPECT_FALSE(DecodeSoundImage(nullptr, 0));
  const std::string text = "this is not a sound file, just some words in a file named .wav";
  EXPECT_FALSE(DecodeSoundImage(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  auto wav = MakeWav(44100, 1, 100);
  EXPECT_FALSE(DecodeSoundImage(wav.data(), 20)) << "a header cut short";
  auto silent = MakeWav(44100, 1, 0);
  EXPECT_FALSE(DecodeSoundImage(silent.data(), silent.size())) << "no frames";
}

TEST(SoundDecoder, NeverTrustsTheClaimedLength) {
  auto wav = MakeWav(44100, 2, 10, 4410.0, 0.5);
  auto honest = DecodeSoundImage(wav.data(), wav.size());
  ASSERT_TRUE(honest);
  // Claim four gigabytes of data in both the RIFF and the data chunk sizes: the ten frames that
  // are there are the sound, nothing is read beyond the image.
  for (size_t at : {size_t{4}, size_t{40}})
    for (int i = 0; i < 4; ++i) wav[at + i] = 0xff;
  auto d = DecodeSoundImage(wav.data(), wav.size());
  ASSERT_TRUE(d);
  EXPECT_EQ(d->Frames(), 10u);
  EXPECT_EQ(d->Samples, honest->Samples);
}

TEST(SoundDecoder, ShapesForTheDevice) {
  TDecodedSound mono{44100, 1, {0.1f, -0.2f, 0.3f}};
  EXPECT_EQ(ToStereo(mono, 44100), (std::vector<float>{0.1f, 0.1f, -0.2f, -0.2f, 0.3f, 0.3f}));
  TDecodedSound three{44100, 3, {1, 2, 3, 4, 5, 6}};
  EXPECT_EQ(ToStereo(three, 44100), (std::vector<float>{1, 2, 4, 5}));
  EXPECT_TRUE(ToStereo(TDecodedSound{}, 44100).empty());

  // 22050 to 44100: twice the frames, the sine's level kept.
  auto wav = MakeWav(22050, 1, 22050, 441.0, 0.5);
  auto d = DecodeSoundImage(wav.data(), wav.size());
  ASSERT_TRUE(d);
  auto up = ToStereo(*d, 44100);
  EXPECT_NEAR(static_cast<double>(up.size()) / 2, 44100.0, 100.0);
  EXPECT_NEAR(Peak(up, 2000, 2, 0), 0.5, 0.02);
  EXPECT_NEAR(Peak(up, 2000, 2, 1), 0.5, 0.02);
  auto down = ToStereo(*d, 11025);
  EXPECT_NEAR(static_cast<double>(down.size()) / 2, 11025.0, 100.0);
}

}  // namespace
