// A take rendered offline against the same take played live: the test client plays scripted
// bursts into Tocsin's capture road on the private JACK server and records the MIDI it sends;
// the same samples, saved as a WAV file, go through the renderer. The bytes must be the same,
// and the rendered note-ons sit on the frames where the bursts begin.
#include <sndfile.h>

#include "E2eSupport.h"
#include "RenderChain.h"
#include "RenderSettings.h"
#include "RenderSource.h"
#include "RenderTake.h"

namespace e2e {
namespace {

constexpr uint64_t kSeg = 4096;  // 16 blocks: every edge of a burst falls in a block of its own
constexpr uint32_t kBlock = 256;

std::string SaveFloatWav(const TSignalScript& s, uint32_t rate) {
  char name[] = "/tmp/tocsin-render-live-XXXXXX.wav";
  const int fd = mkstemps(name, 4);
  close(fd);
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(name, SFM_WRITE, &info);
  EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
  std::vector<float> frames;
  for (size_t i = 0; i < s.Length(); ++i) {
    frames.push_back(s.Left()[i]);
    frames.push_back(s.Right()[i]);
  }
  sf_writef_float(f, frames.data(), static_cast<sf_count_t>(s.Length()));
  sf_close(f);
  return name;
}

TEST_F(ChainJackTest, RenderedTakeSendsTheBytesTheLiveRoadSent) {
  chain->Controls().Thres[1] = 0;  // the right side's full scale sits exactly at its threshold
  Start(kBlock);
  TSignalScript s;
  s.Silence(kSeg)
      .Burst(0, -20, kSeg)
      .Silence(kSeg)  // velocity 70
      .NegativeBurst(0, -1, kSeg)
      .Silence(kSeg)  // loud but negative only: nothing
      .Burst(1, 0, kSeg)
      .Silence(kSeg)  // exactly at 0 dB: nothing
      .Clip(0, kSeg)
      .Silence(kSeg)  // velocity 127
      .Burst(0, -44.9, kSeg)
      .Silence(kSeg);  // a hair above -45 dB: velocity 1
  const auto live = Play(s, 6);
  ASSERT_EQ(live.size(), 6u);

  const std::string wav = SaveFloatWav(s, client->SampleRate());
  TRenderOverrides o;
  o.BufferSize = kBlock;
  o.Threshold[1] = 0;
  TRenderSettings settings;
  LoadRenderSettings("/nonexistent/tocsin.ini", o, settings);
  TRenderSource source(wav, 16);
  TRenderChain render(settings.Controls, source.Channels(), 16, source.SampleRate(), false);
  RenderTake(source, kBlock, render);
  unlink(wav.c_str());

  const auto messages = render.Messages();
  std::vector<TBytes> rendered;
  for (const auto& m : messages) rendered.emplace_back(m.Bytes.begin(), m.Bytes.end());
  EXPECT_EQ(rendered, Bytes(live));
  ASSERT_EQ(messages.size(), 6u);
  const auto& b = s.Bursts();
  const size_t sounding[] = {0, 3, 4};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(messages[2 * i].Frame, b[sounding[i]].Start) << "note-on " << i;
    EXPECT_GT(messages[2 * i + 1].Frame, b[sounding[i]].End()) << "note-off " << i;
    EXPECT_LE(messages[2 * i + 1].Frame, b[sounding[i]].End() + kBlock) << "note-off " << i;
  }
}

}  // namespace
}  // namespace e2e
