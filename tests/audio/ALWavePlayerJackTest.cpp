// End to end through a real audio server: the wave player streams a WAV file through the audio
// output, on the RtAudio back-end, into a JACK test client that records what reaches its inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

#include "JackTestClient.h"
#include "OutputFixtures.h"
#include "audio/ALAudioOut.h"
#include "audio/ALWavePlayer.h"
#include "platform/rt/RtWaveOut.h"
#include "platform/virtual/LoopDispatcher.h"

namespace {

using namespace std::chrono_literals;

class WavePlayerJack : public ::testing::Test {
 protected:
  WavePlayerJack() : client("tocsin_out_sink"), backend("jack"), out(backend), player(dispatcher) {
    player.SetEnabled(false);
    player.OutputPin().Connect(out.InputPin());
  }
  ~WavePlayerJack() override { player.OutputPin().DisconnectAll(); }

  // Plays path to its end; true when the player switched itself off in time.
  bool PlayToTheEnd(const std::string& path) {
    out.Device().SetDeviceName(client.Name());
    player.SetFileName(path);
    player.SetEnabled(true);
    return dispatcher.RunUntil([&] { return !player.Enabled(); }, 30000ms);
  }

  TLoopDispatcher dispatcher;
  TTempDir dir;
  JackTestClient client;
  TRtWaveOut backend;
  TALAudioOut out;
  TALWavePlayer player;
};

TEST_F(WavePlayerJack, TestClientIsListedAsAnOutputDevice) {
  ASSERT_TRUE(client.Ok());
  EXPECT_EQ(TRtWaveOut().Api(), "jack");  // the first choice when a server runs
  std::vector<std::string> names;
  out.Device().GetDeviceNames(names);
  EXPECT_NE(std::find(names.begin(), names.end(), client.Name()), names.end());
}

// Compares what the client recorded with the file; empty when they agree. The file holds no
// zero sample, so whatever is not silence must be the file, whole and in order; silence the
// output inserted while starved is left out of the comparison.
std::string CompareWithFile(const JackTestClient& client, const std::vector<int16_t>& samples) {
  const auto left = client.Recorded(0);
  const auto right = client.Recorded(1);
  std::vector<float> got_left, got_right;
  for (size_t i = 0; i < left.size(); ++i) {
    if (left[i] == 0.0f && right[i] == 0.0f) continue;
    got_left.push_back(left[i]);
    got_right.push_back(right[i]);
  }
  const size_t frames = samples.size() / 2;
  if (got_left.size() != frames)
    return std::to_string(got_left.size()) + " frames received for " + std::to_string(frames);
  for (size_t f = 0; f < frames; ++f)
    if (got_left[f] != samples[2 * f] / 32768.0f || got_right[f] != samples[2 * f + 1] / 32768.0f)
      return "frame " + std::to_string(f) + " differs";
  return {};
}

TEST_F(WavePlayerJack, ClientReceivesTheFileSamplesInOrder) {
  ASSERT_TRUE(client.Ok());
  ASSERT_EQ(client.SampleRate(), 44100u);
  // Two thirds of a second, with no zero sample and both channels told apart.
  const int frames = 30000;
  std::vector<int16_t> samples;
  for (int f = 0; f < frames; ++f) {
    const int16_t v = static_cast<int16_t>(1000 + (f * 37) % 20000);
    samples.push_back(v);
    samples.push_back(static_cast<int16_t>(-v));
  }
  const std::string path = dir.File("e2e.wav");
  ASSERT_TRUE(WriteWave(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, samples));
  // Blocks of about 93 ms: the output asks for the next one while the last one plays, and on a
  // loaded machine that answer must never come too late.
  player.SetBufferSize(4096);

  // A cycle the server itself ran late (an xrun) may lose what any client wrote in it, whatever
  // this system does: such a run proves nothing and is played again, up to three times.
  std::string result;
  for (int attempt = 0; attempt < 3; ++attempt) {
    ASSERT_TRUE(client.Record(44100 * 20));
    const uint64_t xruns = client.Xruns();
    ASSERT_TRUE(PlayToTheEnd(path));
    EXPECT_TRUE(out.Master());  // the output paced the player
    // The output closes once the last buffers have played; a few more cycles are recorded.
    ASSERT_TRUE(dispatcher.RunUntil([&] { return !out.Active(); }, 20000ms));
    ASSERT_TRUE(client.WaitRecorded(client.RecordedFrames() + 4096, 20000));
    result = CompareWithFile(client, samples);
    if (result.empty() || client.Xruns() == xruns) break;
    ASSERT_TRUE(client.WaitRecorded(44100 * 20, 60000));  // the recording ends before the next
    player.SetFileName("");
  }
  EXPECT_EQ(result, "");
}

TEST_F(WavePlayerJack, StreamAtAnotherRateIsConvertedToTheServerRate) {
  ASSERT_TRUE(client.Ok());
  // 441 Hz at 22050 Hz for one second: 441 periods whatever the rate it is played at.
  const int frames = 22050;
  std::vector<int16_t> samples;
  for (int f = 0; f < frames; ++f) {
    const auto v = static_cast<int16_t>(std::lround(16000 * std::sin(2 * std::numbers::pi * 441.0 * f / 22050)));
    samples.push_back(v);
    samples.push_back(v);
  }
  const std::string path = dir.File("half-rate.wav");
  ASSERT_TRUE(WriteWave(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 22050, samples));
  ASSERT_TRUE(client.Record(44100 * 20));
  player.SetBufferSize(2048);
  ASSERT_TRUE(PlayToTheEnd(path));
  ASSERT_TRUE(dispatcher.RunUntil([&] { return !out.Active(); }, 20000ms));
  ASSERT_TRUE(client.WaitRecorded(client.RecordedFrames() + 4096, 20000));

  const auto left = client.Recorded(0);
  size_t first = 0, last = 0, rising = 0;
  float peak = 0.0f;
  for (size_t i = 1; i < left.size(); ++i) {
    peak = std::max(peak, std::fabs(left[i]));
    if (std::fabs(left[i]) > 0.01f) {
      if (!first) first = i;
      last = i;
    }
    if (i > first && first && left[i - 1] < 0.0f && left[i] >= 0.0f) ++rising;
  }
  // About one second of sound at the server's 44100 Hz (the converter may keep a few
  // milliseconds of the end), at the file's pitch and level.
  const double seconds = static_cast<double>(last - first) / 44100.0;
  EXPECT_NEAR(seconds, 1.0, 0.03);
  EXPECT_NEAR(rising / seconds, 441.0, 3.0);
  EXPECT_NEAR(peak, 16000.0f / 32768.0f, 0.03f);
}

}  // namespace
