// The output, the player and the meter across their threads: the device's thread pumping the
// player through the output's wave thread while the main thread pauses, resumes and stops it;
// the meter fed from a capture thread while the main thread delivers and reconfigures it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <chrono>
#include <thread>

#include "OutputFixtures.h"
#include "audio/ALAudioOut.h"
#include "audio/ALPPMMeter.h"
#include "audio/ALWavePlayer.h"
#include "platform/virtual/LoopDispatcher.h"
#include "platform/virtual/VirtualWaveOut.h"

namespace {

using namespace std::chrono_literals;

TEST(OutputThreading, PumpedPlayerSurvivesPauseResumeAndStopFromTheMainThread) {
  TLoopDispatcher dispatcher;
  TTempDir dir;
  const int frames = 200 * 256;
  const std::string path = dir.File("long.wav");
  ASSERT_TRUE(WriteWave(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, Ramp(frames, 2)));

  TVirtualWaveOut backend;
  TALAudioOut out(backend);
  TALWavePlayer player(dispatcher);
  player.SetEnabled(false);
  player.SetBufferSize(256);
  player.OutputPin().Connect(out.InputPin());
  player.SetFileName(path);
  player.SetEnabled(true);
  ASSERT_FALSE(player.SelfMaster());
  auto stream = backend.Current();
  ASSERT_TRUE(stream);

  // The device plays whatever it holds, on its own thread, until told to stop.
  std::atomic<bool> device_running{true};
  std::thread device([&] {
    while (device_running.load()) {
      if (stream->PlayBlocks(1) == 0) std::this_thread::sleep_for(100us);
    }
  });
  for (int i = 0; i < 5; ++i) {
    dispatcher.RunFor(5ms);
    player.SetPaused(true);
    dispatcher.RunFor(2ms);
    player.SetPaused(false);
  }
  dispatcher.RunFor(10ms);
  player.SetEnabled(false);
  // The end of the stream closes the device once its last buffers are back.
  const bool closed = dispatcher.RunUntil([&] { return stream->Closed(); }, 10000ms);
  device_running.store(false);
  device.join();
  ASSERT_TRUE(closed);

  // Whatever was played is the start of the file, in order, nothing twice.
  const auto played = stream->Played();
  ASSERT_GT(played.size(), 0u);
  ASSERT_EQ(played.size() % 4, 0u);
  const auto ramp = Ramp(frames, 2);
  ASSERT_LE(played.size() / 2, ramp.size());
  for (size_t i = 0; i < played.size() / 2; ++i) {
    const auto sample = static_cast<int16_t>(played[2 * i] | (played[2 * i + 1] << 8));
    ASSERT_EQ(sample, ramp[i]) << "sample " << i;
  }
  player.OutputPin().DisconnectAll();
}

TEST(OutputThreading, MeterFedFromACaptureThreadWhileTheMainThreadReconfigures) {
  TLoopDispatcher dispatcher;
  TTestSource source;
  TALPPMMeter meter(dispatcher);
  std::atomic<int> events{0};
  std::atomic<bool> off_main{false};
  meter.SetOnValueChange([&](TALCommonMeter&, int32_t, double value, double) {
    if (!dispatcher.IsMainThread()) off_main.store(true);
    EXPECT_TRUE(std::isfinite(value));
    events.fetch_add(1);
  });
  source.OutputPin().Connect(meter.InputPin());
  source.OutputPin().Notify(std::make_shared<TOWStartWaveOperation>(
      44100, TWaveFormatEx::Pcm(2, 16, 44100), 1.0));
  std::atomic<bool> running{true};
  std::thread capture([&] {
    int n = 0;
    while (running.load()) {
      std::vector<int32_t> samples(2048);
      for (size_t i = 0; i < samples.size(); ++i) samples[i] = ((n + i) % 2 ? 1 : -1) * (n % 30000);
      source.OutputPin().SendData(MakeBuffer(samples, 2));
      ++n;
      std::this_thread::sleep_for(200us);
    }
  });
  const auto end = std::chrono::steady_clock::now() + 300ms;
  int step = 0;
  while (std::chrono::steady_clock::now() < end) {
    dispatcher.ProcessPending();
    meter.SetCountChannels(1 + step % 3);
    meter.SetPeriod(10 + 5 * (step % 4));
    meter.SetSynchronizeType(step % 5 == 0 ? stQueue : stSingleBuffer);
    ++step;
    std::this_thread::sleep_for(1ms);
  }
  running.store(false);
  capture.join();
  dispatcher.ProcessPending();
  EXPECT_GT(events.load(), 0);
  EXPECT_FALSE(off_main.load());
  source.OutputPin().DisconnectAll();
}

}  // namespace
