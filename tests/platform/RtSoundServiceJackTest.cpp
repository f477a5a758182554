// The real sound service on the default output, here the private JACK server: sounds are
// decoded, converted to the server's rate and pulled by the device; the newest request wins.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "WavImage.h"
#include "platform/rt/RtSoundService.h"

namespace {

using namespace std::chrono_literals;
constexpr uint32_t kFlags = kSndAsync | kSndNoDefault | kSndMemory;

TSoundImagePtr Wav(uint32_t rate, uint16_t channels, double seconds) {
  return std::make_shared<const TSoundImage>(
      MakeWav(rate, channels, static_cast<uint32_t>(rate * seconds)));
}

bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 20s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

class RtSoundServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Open the device with a first short sound, so that each test starts from a running stream.
    // A loaded server may refuse a client for a moment; the service tries again at each play.
    ASSERT_TRUE(WaitFor([&] {
      service.Play(Wav(44100, 1, 0.01), kFlags);
      return service.WaitIdle(20s) && service.DeviceRate() > 0;
    })) << "the default output did not open";
    ASSERT_TRUE(WaitFor([&] { return !service.Playing(); }));
  }
  double Rate() const { return service.DeviceRate(); }

  TRtSoundService service;
};

TEST_F(RtSoundServiceTest, PlaysTheWholeSoundAtTheDeviceRate) {
  const uint64_t before = service.FramesPlayed();
  // Half the device's rate: the converted sound lasts as long as the original.
  service.Play(Wav(service.DeviceRate() / 2, 1, 0.25), kFlags);
  EXPECT_TRUE(service.WaitIdle(20s));
  ASSERT_TRUE(WaitFor([&] { return service.FramesPlayed() > before && !service.Playing(); }));
  EXPECT_NEAR(static_cast<double>(service.FramesPlayed() - before), 0.25 * Rate(), 0.02 * Rate());
}

TEST_F(RtSoundServiceTest, StopAndReplacementCutTheSoundOff) {
  service.Play(Wav(44100, 2, 30), kFlags);
  ASSERT_TRUE(WaitFor([&] { return service.Playing(); }));
  service.Stop();
  ASSERT_TRUE(service.WaitIdle(20s));
  EXPECT_FALSE(service.Playing());
  const uint64_t stopped_at = service.FramesPlayed();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(service.FramesPlayed(), stopped_at);
  service.Stop();  // nothing plays: harmless
  ASSERT_TRUE(service.WaitIdle(20s));

  // A new sound replaces a long one: playing ends with the short sound.
  service.Play(Wav(44100, 2, 30), kFlags);
  ASSERT_TRUE(WaitFor([&] { return service.Playing(); }));
  service.Play(Wav(44100, 1, 0.05), kFlags);
  EXPECT_TRUE(WaitFor([&] { return !service.Playing(); }, 10s));
}

TEST_F(RtSoundServiceTest, AnImageItCannotPlayIsSilence) {
  service.Play(Wav(44100, 2, 30), kFlags);
  ASSERT_TRUE(WaitFor([&] { return service.Playing(); }));
  const std::string text = "no sound in here";
  service.Play(std::make_shared<const TSoundImage>(text.begin(), text.end()), kFlags);
  ASSERT_TRUE(service.WaitIdle(20s));
  EXPECT_FALSE(service.Playing()) << "the sound that played stops, nothing replaces it";
  const uint64_t at = service.FramesPlayed();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(service.FramesPlayed(), at);

  service.Play(nullptr, kFlags);
  service.Play(std::make_shared<const TSoundImage>(), kFlags);
  EXPECT_TRUE(service.WaitIdle(20s));
}

TEST_F(RtSoundServiceTest, LoopAndNoStopFlags) {
  service.Play(Wav(44100, 1, 0.02), kFlags | kSndLoop);
  ASSERT_TRUE(service.WaitIdle(20s));
  const uint64_t start = service.FramesPlayed();
  // Many times the sound's own length goes by and it still plays.
  ASSERT_TRUE(WaitFor([&] { return service.FramesPlayed() - start > 0.2 * Rate(); }));
  EXPECT_TRUE(service.Playing());

  service.Play(Wav(44100, 1, 0.01), kFlags | kSndNoStop);
  ASSERT_TRUE(service.WaitIdle(20s));
  const uint64_t later = service.FramesPlayed();
  ASSERT_TRUE(WaitFor([&] { return service.FramesPlayed() - later > 0.1 * Rate(); }));
  EXPECT_TRUE(service.Playing()) << "the looping sound was left alone";
  service.Stop();
  ASSERT_TRUE(service.WaitIdle(20s));
  EXPECT_FALSE(service.Playing());
}

}  // namespace

// Prepared at Start: the output opens and the image decodes before any hit, so the first hit
// sounds as soon as the following ones.
TEST(RtSoundServicePrepare, OpensTheOutputBeforeTheFirstPlay) {
  TRtSoundService service;
  EXPECT_EQ(service.DeviceRate(), 0u);
  const TSoundImagePtr image = Wav(48000, 2, 2.0);
  ASSERT_TRUE(WaitFor([&] {
    service.Prepare({image});
    return service.WaitIdle(20s) && service.DeviceRate() > 0;
  })) << "the default output did not open";
  EXPECT_FALSE(service.Playing()) << "preparing plays nothing";
}
