// Capture from a real JACK server (the private test server: dummy driver, 44100 Hz, period 256):
// a test client plays a known signal, the capture selects that client as its input device, and
// the filter's handler must see the same samples, in order, in whole blocks.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

#include "ExtraJackServer.h"
#include "JackTestClient.h"
#include "audio/ALAudioIn.h"
#include "audio/ALGenericFilter.h"
#include "platform/rt/RtWaveIn.h"
#include "platform/virtual/LoopDispatcher.h"

namespace {

using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// Values k/32768 survive the float path exactly; none is zero, so the start is easy to find.
int16_t LeftSample(size_t i) {
  return static_cast<int16_t>(((i * 7919) % 60000) - 30000 + (i % 2 ? 1 : 0)) | 1;
}
int16_t RightSample(size_t i) {
  return static_cast<int16_t>(-LeftSample(i * 3 + 1));
}

// What the filter's handler receives: every block's size and its samples, interleaved.
struct Collector {
  std::mutex mutex;
  std::vector<uint32_t> block_sizes;
  std::vector<int16_t> samples;
  TWaveFormatEx started{};
  size_t Frames() {
    std::lock_guard lock(mutex);
    return samples.size() / 2;
  }
  void Attach(TALGenericFilter& filter) {
    filter.SetOnStart([this](TALGenericFilter&, const TWaveFormatEx* f) { started = *f; });
    filter.SetOnProcessData(
        [this](TALGenericFilter&, const IALAudioBufferPtr& in, IALAudioBufferPtr&, bool&) {
          auto access = in->GetAccess();
          std::lock_guard lock(mutex);
          block_sizes.push_back(access->Count());
          for (uint32_t i = 0; i < access->Count(); ++i) {
            samples.push_back(static_cast<int16_t>(access->GetSample(i, 0)));
            samples.push_back(static_cast<int16_t>(access->GetSample(i, 1)));
          }
        });
  }
};

class JackCapture : public ::testing::TestWithParam<uint32_t> {};

TEST_P(JackCapture, TestClientSignalReachesTheHandlerSampleExactInWholeBlocks) {
  const uint32_t block = GetParam();
  JackTestClient client("tocsin_play_" + std::to_string(block) + "_" + std::to_string(getpid()));
  ASSERT_TRUE(client.Ok());
  ASSERT_EQ(client.SampleRate(), 44100u);

  TRtWaveIn wave_in;
  ASSERT_EQ(wave_in.Api(), RtAudio::UNIX_JACK);
  const auto names = wave_in.DeviceNames();
  ASSERT_NE(std::find(names.begin(), names.end(), client.Name()), names.end());

  TLoopDispatcher dispatcher;
  TALAudioIn capture(wave_in);
  TALGenericFilter filter(dispatcher);
  Collector collector;
  collector.Attach(filter);
  capture.Device().SetDeviceName(client.Name());
  capture.AudioFormat().SetSampleRate(44100);
  capture.AudioFormat().SetBufferSize(block);
  capture.OutputPin().Connect(filter.InputPin());
  filter.SetEnabled(false);

  capture.SetEnabled(true);
  filter.SetEnabled(true);
  // Let the connection settle: silence flows first.
  ASSERT_TRUE(WaitUntil([&] { return collector.Frames() >= 2048; }, 30s));

  const size_t length = 3 * 1024 + 517;
  std::vector<float> left(length), right(length);
  for (size_t i = 0; i < length; ++i) {
    left[i] = LeftSample(i) / 32768.0f;
    right[i] = RightSample(i) / 32768.0f;
  }
  ASSERT_TRUE(client.Play(left, right));
  ASSERT_TRUE(client.WaitPlayed(30000));
  // Everything played plus the block it ends in.
  const size_t wanted_after = length + 2 * block + 1024;
  const size_t before = collector.Frames();
  ASSERT_TRUE(WaitUntil([&] { return collector.Frames() >= before + wanted_after; }, 30s));

  filter.SetEnabled(false);
  capture.SetEnabled(false);

  std::lock_guard lock(collector.mutex);
  EXPECT_EQ(collector.started.nSamplesPerSec, 44100u);
  for (uint32_t size : collector.block_sizes) ASSERT_EQ(size, block);
  const auto& s = collector.samples;
  size_t start = 0;
  while (start < s.size() / 2 && s[2 * start] == 0) ++start;
  ASSERT_LT(start + length, s.size() / 2) << "signal not captured";
  for (size_t i = 0; i < length; ++i) {
    ASSERT_EQ(s[2 * (start + i)], LeftSample(i)) << "frame " << i;
    ASSERT_EQ(s[2 * (start + i) + 1], RightSample(i)) << "frame " << i;
  }
  // Silence again after the signal.
  EXPECT_EQ(s[2 * (start + length)], 0);
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, JackCapture, ::testing::Values(32u, 256u, 1024u));

TEST(JackCaptureRate, OtherRateThanTheServersIsConvertedNotSilenced) {
  JackTestClient client("tocsin_play_rate_" + std::to_string(getpid()));
  ASSERT_TRUE(client.Ok());
  TRtWaveIn wave_in;
  TLoopDispatcher dispatcher;
  TALAudioIn capture(wave_in);
  TALGenericFilter filter(dispatcher);
  Collector collector;
  collector.Attach(filter);
  capture.Device().SetDeviceName(client.Name());
  capture.AudioFormat().SetSampleRate(48000);  // the server runs 44100
  capture.AudioFormat().SetBufferSize(1024);
  capture.OutputPin().Connect(filter.InputPin());
  capture.SetEnabled(true);
  ASSERT_TRUE(WaitUntil([&] { return collector.Frames() >= 4096; }, 30s));

  // Half a second of a 1 kHz tone at half scale.
  const size_t length = 22050;
  std::vector<float> tone(length);
  for (size_t i = 0; i < length; ++i) tone[i] = 0.5f * std::sin(2 * M_PI * 1000.0 * i / 44100.0);
  ASSERT_TRUE(client.Play(tone, tone));
  ASSERT_TRUE(client.WaitPlayed(30000));
  const size_t before = collector.Frames();
  ASSERT_TRUE(WaitUntil([&] { return collector.Frames() >= before + 8192; }, 30s));
  capture.SetEnabled(false);

  std::lock_guard lock(collector.mutex);
  EXPECT_EQ(collector.started.nSamplesPerSec, 48000u);  // the rate the user picked
  for (uint32_t size : collector.block_sizes) ASSERT_EQ(size, 1024u);
  // The tone lasts about 24000 frames at 48 kHz and peaks near half scale.
  const auto& s = collector.samples;
  size_t first = SIZE_MAX, last = 0;
  int peak = 0;
  for (size_t f = 0; f < s.size() / 2; ++f) {
    if (std::abs(s[2 * f]) > 1000) {
      first = std::min(first, f);
      last = f;
    }
    peak = std::max(peak, std::abs(static_cast<int>(s[2 * f])));
  }
  ASSERT_NE(first, SIZE_MAX) << "nothing captured";
  EXPECT_NEAR(static_cast<double>(last - first), 24000.0, 240.0);
  EXPECT_NEAR(peak, 16384, 800);
}

TEST(JackCaptureServerLoss, StopAndDestructionReturnAfterTheServerVanished) {
  const TExtraJackServer server("tocsin-vanish-" + std::to_string(getpid()));
  ASSERT_TRUE(server.Ok()) << "extra server failed to start";

  // Only this capture talks to the extra server; the shared one is never touched.
  TJackServerChoice choice(server.Name());
  TLoopDispatcher dispatcher;
  auto wave_in = std::make_unique<TRtWaveIn>();
  auto capture = std::make_unique<TALAudioIn>(*wave_in);
  TALGenericFilter filter(dispatcher);
  std::atomic<int> blocks{0};
  filter.SetOnProcessData(
      [&](TALGenericFilter&, const IALAudioBufferPtr&, IALAudioBufferPtr&, bool&) { ++blocks; });
  capture->AudioFormat().SetSampleRate(44100);
  capture->AudioFormat().SetBufferSize(256);
  capture->OutputPin().Connect(filter.InputPin());
  capture->SetEnabled(true);
  choice.Restore();
  ASSERT_EQ(wave_in->Api(), RtAudio::UNIX_JACK);
  ASSERT_TRUE(WaitUntil([&] { return blocks.load() >= 5; }, 30s));

  // The server vanishes without a word.
  const pid_t pid = server.Pid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  const int at_kill = blocks.load();
  // The audio library notices the loss on a thread of its own; give it time to finish.
  std::this_thread::sleep_for(1500ms);
  EXPECT_LE(blocks.load(), at_kill + 40);

  auto stopped = std::async(std::launch::async, [&] {
    capture->SetEnabled(false);
    capture.reset();
    wave_in.reset();
  });
  if (stopped.wait_for(60s) != std::future_status::ready) {
    ADD_FAILURE() << "Stop or the destructor hangs after the server vanished";
    std::_Exit(1);  // a hung capture thread cannot be joined
  }
  stopped.get();
  // Gone for good: the filter no longer hangs on the dead capture, and nothing reaches it.
  EXPECT_FALSE(filter.InputPin().IsConnected());
  const int at_teardown = blocks.load();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(blocks.load(), at_teardown);
}

}  // namespace
