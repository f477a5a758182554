#include "audio/ALWavePlayer.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>

#include "OutputFixtures.h"
#include "platform/virtual/LoopDispatcher.h"

namespace {

using namespace std::chrono_literals;

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

TEST(PlayerSegment, EndsNeverCrossAndStayNonNegative) {
  TALAudioPlayerSegment s;
  EXPECT_EQ(s.StartSample(), 0);
  EXPECT_EQ(s.StopSample(), 100);
  EXPECT_FALSE(s.Enabled());
  s.SetStartSample(500);
  EXPECT_EQ(s.StopSample(), 500);
  s.SetStopSample(200);
  EXPECT_EQ(s.StartSample(), 200);
  s.SetStartSample(-5);
  EXPECT_EQ(s.StartSample(), 0);
  s.SetStopSample(-1);
  EXPECT_EQ(s.StopSample(), 0);
}

TEST(WaveFileReader, Pcm16IsPassedAsStored) {
  TTempDir dir;
  const auto samples = Ramp(3000, 2);
  ASSERT_TRUE(WriteWave(dir.File("a.wav"), kWav16, 2, 22050, samples));
  TALWaveFileReader reader;
  ASSERT_TRUE(reader.Open(dir.File("a.wav")));
  EXPECT_FALSE(reader.Converted());
  EXPECT_EQ(reader.Frames(), 3000);
  EXPECT_EQ(reader.OutputFormat(), TWaveFormatEx::Pcm(2, 16, 22050));
  std::vector<int16_t> got(3000 * 2);
  EXPECT_EQ(reader.Read(reinterpret_cast<uint8_t*>(got.data()), 5000), 3000);
  EXPECT_EQ(got, samples);
  EXPECT_EQ(reader.Read(reinterpret_cast<uint8_t*>(got.data()), 10), 0);
  ASSERT_TRUE(reader.Seek(1000));
  EXPECT_EQ(reader.Read(reinterpret_cast<uint8_t*>(got.data()), 1), 1);
  EXPECT_EQ(got[0], samples[2000]);
}

TEST(WaveFileReader, EightBitPcmKeepsItsUnsignedSamples) {
  TTempDir dir;
  ASSERT_TRUE(WriteWave(dir.File("u8.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8000,
                        {0, 256, -256, 32767, -32768}));
  TALWaveFileReader reader;
  ASSERT_TRUE(reader.Open(dir.File("u8.wav")));
  EXPECT_FALSE(reader.Converted());
  EXPECT_EQ(reader.OutputFormat(), TWaveFormatEx::Pcm(1, 8, 8000));
  uint8_t got[5] = {};
  ASSERT_EQ(reader.Read(got, 5), 5);
  EXPECT_EQ(got[0], 128);
  EXPECT_EQ(got[1], 129);
  EXPECT_EQ(got[2], 127);
  EXPECT_EQ(got[3], 255);
  EXPECT_EQ(got[4], 0);
}

TEST(WaveFileReader, CompressedStereoDecodesTo16BitPcm) {
  TTempDir dir;
  const auto samples = Ramp(4000, 2);
  ASSERT_TRUE(WriteWave(dir.File("ima.wav"), SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 22050, samples));
  TALWaveFileReader reader;
  ASSERT_TRUE(reader.Open(dir.File("ima.wav")));
  EXPECT_TRUE(reader.Converted());
  EXPECT_EQ(reader.SourceFormat().wFormatTag, 0x11);
  const TWaveFormatEx out = reader.OutputFormat();
  EXPECT_EQ(out.wFormatTag, 1);
  EXPECT_EQ(out.nChannels, 2);
  EXPECT_EQ(out.wBitsPerSample, 16);
  EXPECT_EQ(out.nBlockAlign, 4);
  EXPECT_EQ(out.nAvgBytesPerSec, 4u * 22050);
  EXPECT_GE(reader.Frames(), 4000);
  // Lossy, but close to the ramp once the coder has caught up.
  std::vector<int16_t> got(4000 * 2);
  ASSERT_EQ(reader.Read(reinterpret_cast<uint8_t*>(got.data()), 4000), 4000);
  for (size_t i = 400; i < got.size(); i += 97) EXPECT_NEAR(got[i], samples[i], 600) << i;
}

TEST(WaveFileReader, MissingOrNonAudioFileDoesNotOpen) {
  TTempDir dir;
  TALWaveFileReader reader;
  EXPECT_FALSE(reader.Open(dir.File("none.wav")));
  EXPECT_FALSE(reader.Open(""));
  FILE* f = std::fopen(dir.File("text.wav").c_str(), "w");
  std::fputs("not a wave file at all", f);
  std::fclose(f);
  EXPECT_FALSE(reader.Open(dir.File("text.wav")));
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(reader.Read(nullptr, 10), -1);
}

class WavePlayer : public ::testing::Test {
 protected:
  WavePlayer() : player(dispatcher) {
    player.SetEnabled(false);
    player.OutputPin().Connect(sink.InputPin());
  }
  ~WavePlayer() override { player.OutputPin().DisconnectAll(); }

  // A 16-bit file of frames frames of the ramp.
  std::string MakeFile(int frames, int channels = 2, int rate = 44100, int format = kWav16) {
    const std::string path = dir.File("f" + std::to_string(files++) + ".wav");
    EXPECT_TRUE(WriteWave(path, format, channels, rate, Ramp(frames, channels)));
    return path;
  }
  // Plays path on the external clock until the player closes the file.
  void PlayExternally(const std::string& path, int max_pumps = 10000) {
    player.SetClockSource(csExternal);
    player.SetFileName(path);
    player.SetEnabled(true);
    for (int i = 0; i < max_pumps && player.FileOpen(); ++i) {
      player.Pump();
      dispatcher.ProcessPending();
    }
  }
  std::vector<int32_t> RampSamples(int from, int to, int channels = 2) {
    auto ramp = Ramp(to, channels);
    return std::vector<int32_t>(ramp.begin() + from * channels, ramp.end());
  }

  TLoopDispatcher dispatcher;
  TTempDir dir;
  int files = 0;
  TTestSink sink;
  TALWavePlayer player;
};

TEST_F(WavePlayer, Defaults) {
  TALWavePlayer fresh(dispatcher);
  EXPECT_TRUE(fresh.Enabled());
  EXPECT_TRUE(fresh.RestartOnNewFile());
  EXPECT_FALSE(fresh.Paused());
  EXPECT_FALSE(fresh.Loop());
  EXPECT_EQ(fresh.ClockSource(), csInternal);
  EXPECT_EQ(fresh.BufferSize(), 1024);
  EXPECT_EQ(fresh.FileName(), "");
  fresh.SetBufferSize(0);
  EXPECT_EQ(fresh.BufferSize(), 1);
  fresh.SetBufferSize(-7);
  EXPECT_EQ(fresh.BufferSize(), 1);
}

TEST_F(WavePlayer, PlaysTheWholeFileInOrderThenStopsOnTheMainThread) {
  int stops = 0;
  player.SetOnStop([&](TALCommonPlayer&) { ++stops; });
  PlayExternally(MakeFile(3000));
  EXPECT_EQ(sink.Samples(), RampSamples(0, 3000));
  const auto buffers = sink.Buffers();
  ASSERT_EQ(buffers.size(), 3u);
  EXPECT_EQ(buffers[0]->FrameCount(), 1024u);
  EXPECT_EQ(buffers[2]->FrameCount(), 3000u - 2048u);  // ends early at the end of the file
  EXPECT_EQ(buffers[0]->Header(), TWaveFormatEx::Pcm(2, 16, 44100));
  EXPECT_EQ(stops, 1);
  EXPECT_FALSE(player.FileOpen());
  EXPECT_FALSE(player.Enabled());  // the end of the stream switches the player off
  EXPECT_FALSE(player.EnablePin().Value());
  EXPECT_EQ(sink.Count<TOWEndStopOperation>(), 1);
  auto* start = sink.Ops().front()->As<TOWStartWaveOperation>();
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(*start->WaveFormat(), TWaveFormatEx::Pcm(2, 16, 44100));
}

TEST_F(WavePlayer, ResumeFollowsTheSecondBlock) {
  player.SetClockSource(csExternal);
  player.SetFileName(MakeFile(5000));
  player.SetEnabled(true);
  player.Pump();
  EXPECT_EQ(sink.Count<TOWSLResumeOperation>(), 0);
  player.Pump();
  EXPECT_EQ(sink.Count<TOWSLResumeOperation>(), 1);
  EXPECT_TRUE(sink.Ops().back()->Is<TOWSLResumeOperation>());
  player.Pump();
  EXPECT_EQ(sink.Count<TOWSLResumeOperation>(), 1);
}

TEST_F(WavePlayer, SegmentPlaysFromStartAndOverrunsTheStopByLessThanABlock) {
  TALAudioPlayerSegment segment;
  segment.SetStopSample(1000);
  segment.SetStartSample(100);
  segment.SetEnabled(true);
  player.SetPlaySegment(segment);
  player.SetBufferSize(256);
  PlayExternally(MakeFile(5000));
  // Blocks start at 100, 356, 612, 868: the last one runs to 1123, past the stop at 1000.
  EXPECT_EQ(sink.Samples(), RampSamples(100, 1124));
  EXPECT_EQ(player.Position(), 1000);
}

TEST_F(WavePlayer, SegmentStopBeyondTheEndStopsAtTheLastFrame) {
  TALAudioPlayerSegment segment;
  segment.SetStopSample(1000000);
  segment.SetEnabled(true);
  player.SetPlaySegment(segment);
  player.SetClockSource(csExternal);
  player.SetFileName(MakeFile(2000));
  player.SetEnabled(true);
  EXPECT_EQ(player.SegmentStop(), 1999);
  EXPECT_EQ(player.TotalFrames(), 2000);
  for (int i = 0; i < 10 && player.FileOpen(); ++i) {
    player.Pump();
    dispatcher.ProcessPending();
  }
  EXPECT_EQ(sink.Samples(), RampSamples(0, 2000));
}

TEST_F(WavePlayer, WithoutSegmentTheWholeFilePlaysWhateverItsValues) {
  TALAudioPlayerSegment segment;  // 0..100 but not enabled
  player.SetPlaySegment(segment);
  PlayExternally(MakeFile(1500));
  EXPECT_EQ(sink.Samples(), RampSamples(0, 1500));
}

TEST_F(WavePlayer, LoopRepeatsTheSegmentWithoutANewStart) {
  TALAudioPlayerSegment segment;
  segment.SetStopSample(299);
  segment.SetEnabled(true);
  player.SetPlaySegment(segment);
  player.SetBufferSize(100);
  player.SetLoop(true);
  player.SetClockSource(csExternal);
  player.SetFileName(MakeFile(1000));
  player.SetEnabled(true);
  for (int i = 0; i < 7; ++i) player.Pump();
  dispatcher.ProcessPending();
  auto once = RampSamples(0, 300);
  std::vector<int32_t> expected;
  for (int i = 0; i < 2; ++i) expected.insert(expected.end(), once.begin(), once.end());
  expected.insert(expected.end(), once.begin(), once.begin() + 200);
  EXPECT_EQ(sink.Samples(), expected);
  EXPECT_EQ(sink.Count<TOWStartWaveOperation>(), 1);
  EXPECT_TRUE(player.FileOpen());
}

TEST_F(WavePlayer, EightBitFileIsSentAsStored) {
  const std::string path = dir.File("u8.wav");
  ASSERT_TRUE(WriteWave(path, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 11025, {0, 256, -256, 0}));
  PlayExternally(path);
  EXPECT_EQ(sink.Samples(), (std::vector<int32_t>{128, 129, 127, 128}));
  EXPECT_EQ(sink.Buffers().at(0)->Header(), TWaveFormatEx::Pcm(1, 8, 11025));
}

TEST_F(WavePlayer, CompressedFileIsSentAs16BitPcm) {
  TALWaveFileReader reference;
  const std::string path = MakeFile(3000, 2, 22050, SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM);
  ASSERT_TRUE(reference.Open(path));
  std::vector<int16_t> decoded(static_cast<size_t>(reference.Frames()) * 2);
  reference.Read(reinterpret_cast<uint8_t*>(decoded.data()), reference.Frames());
  PlayExternally(path);
  EXPECT_EQ(sink.Samples(), std::vector<int32_t>(decoded.begin(), decoded.end()));
  EXPECT_EQ(sink.Buffers().at(0)->Header(), TWaveFormatEx::Pcm(2, 16, 22050));
}

TEST_F(WavePlayer, BlockIntervalFollowsTheFormat) {
  player.SetClockSource(csExternal);
  player.SetFileName(MakeFile(100, 2, 44100));
  player.SetEnabled(true);
  EXPECT_EQ(player.BlockInterval(), 23u);  // 1024 x 1000 / 44100, truncated
  player.SetEnabled(false);
  player.SetBufferSize(4000);
  player.SetFileName(MakeFile(100, 1, 8000, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM));
  player.SetEnabled(true);
  EXPECT_EQ(player.BlockInterval(), 500u);  // 999 x 4000 / 8000 = 499.5, rounded
}

TEST_F(WavePlayer, DisablingSendsAnEndStopAndClosesTheFile) {
  player.SetClockSource(csExternal);
  player.SetFileName(MakeFile(10000));
  player.SetEnabled(true);
  player.Pump();
  player.SetEnabled(false);
  EXPECT_FALSE(player.FileOpen());
  EXPECT_EQ(sink.Count<TOWEndStopOperation>(), 1);
  player.Pump();  // disabled: nothing
  EXPECT_EQ(sink.Buffers().size(), 1u);
}

TEST_F(WavePlayer, WithoutRestartOnNewFileDisablingSendsAPlainStop) {
  player.SetRestartOnNewFile(false);
  player.SetClockSource(csExternal);
  player.SetFileName(MakeFile(10000));
  player.SetEnabled(true);
  player.SetEnabled(false);
  EXPECT_EQ(sink.Count<TOWEndStopOperation>(), 0);
  EXPECT_EQ(sink.Count<TOWStopOperation>(), 1);
}

TEST_F(WavePlayer, NewFileWithoutRestartSwitchesFilesWithoutStoppingTheStream) {
  player.SetRestartOnNewFile(false);
  player.SetClockSource(csExternal);
  player.SetFileName(MakeFile(5000));
  player.SetEnabled(true);
  player.Pump();
  const std::string second = dir.File("second.wav");
  ASSERT_TRUE(WriteWave(second, kWav16, 2, 44100, std::vector<int16_t>(2048, 77)));
  player.SetFileName(second);
  dispatcher.ProcessPending();  // nothing posted may close the new file
  EXPECT_TRUE(player.FileOpen());
  player.Pump();
  EXPECT_EQ(sink.Count<TOWStopOperation>(), 0);
  EXPECT_EQ(sink.Count<TOWStartWaveOperation>(), 1);  // the stream goes on
  EXPECT_EQ(SamplesOf(sink.Buffers().back()), std::vector<int32_t>(2048, 77));
}

TEST_F(WavePlayer, NewFileWithRestartStartsANewStream) {
  player.SetClockSource(csExternal);
  player.SetFileName(MakeFile(5000));
  player.SetEnabled(true);
  player.SetFileName(MakeFile(5000, 1, 22050));
  EXPECT_TRUE(player.Enabled());
  EXPECT_EQ(sink.Count<TOWEndStopOperation>(), 1);
  ASSERT_EQ(sink.Count<TOWStartWaveOperation>(), 2);
  const auto ops = sink.Ops();
  auto last_start = std::find_if(ops.rbegin(), ops.rend(),
                                 [](const auto& op) { return op->template Is<TOWStartWaveOperation>(); });
  EXPECT_EQ(*(*last_start)->As<TOWStartWaveOperation>()->WaveFormat(),
            TWaveFormatEx::Pcm(1, 16, 22050));
}

TEST_F(WavePlayer, MissingFileLeavesThePlayerIdle) {
  player.SetClockSource(csExternal);
  player.SetFileName(dir.File("missing.wav"));
  player.SetEnabled(true);
  EXPECT_TRUE(player.Enabled());
  EXPECT_FALSE(player.FileOpen());
  player.Pump();
  EXPECT_TRUE(sink.Ops().empty());
}

TEST_F(WavePlayer, StreamQueryIsAnsweredWithIgnoreWhenDisabledOrWithoutFile) {
  auto query = [&] { sink.InputPin().Notify(std::make_shared<TOWQueryStreamOperation>()); };
  query();  // disabled
  EXPECT_EQ(sink.Count<TOWIgnoreStreamOperation>(), 1);
  EXPECT_EQ(sink.Count<TOWQueryStreamOperation>(), 1);  // passed on as well
  player.SetEnabled(true);  // enabled, no file name
  query();
  EXPECT_EQ(sink.Count<TOWIgnoreStreamOperation>(), 2);
  player.SetClockSource(csExternal);
  player.SetFileName(MakeFile(100));
  query();
  EXPECT_EQ(sink.Count<TOWIgnoreStreamOperation>(), 2);
}

TEST_F(WavePlayer, StopFromTheSinkIsPassedOnAndKeepsThePlayerEnabled) {
  player.SetClockSource(csExternal);
  player.SetFileName(MakeFile(10000));
  player.SetEnabled(true);
  sink.InputPin().Notify(std::make_shared<TOWStopOperation>());
  EXPECT_TRUE(player.FileOpen());  // handled on the main thread
  dispatcher.ProcessPending();
  EXPECT_FALSE(player.FileOpen());
  EXPECT_TRUE(player.Enabled());
  EXPECT_GE(sink.Count<TOWStopOperation>(), 1);
  EXPECT_EQ(sink.Count<TOWEndStopOperation>(), 0);
}

TEST_F(WavePlayer, ProgressIsReportedOnTheMainThread) {
  std::vector<int64_t> positions;
  player.SetOnProgress([&](TALCommonPlayer&, int64_t start, int64_t stop, int64_t current) {
    EXPECT_TRUE(dispatcher.IsMainThread());
    EXPECT_EQ(start, 0);
    EXPECT_EQ(stop, 2499);
    positions.push_back(current);
  });
  PlayExternally(MakeFile(2500));
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.back(), 2499);  // held at the stop frame once the end was seen
}

TEST_F(WavePlayer, SidePinsSetThePropertiesAndReportProgress) {
  class TStringSource : public TOWComponentBase {
   public:
    TStringSource() : pin(this, {kOWStringStreamType}, nullptr) {}
    TOWSourcePin pin;
  } names;
  class TProgressSink : public TOWComponentBase {
   public:
    TProgressSink()
        : pin(this, {kOWIntProgressStreamType}, [this](const IOWNotifyOperationPtr& op, uint32_t) {
            if (auto* p = op->As<TOWIntProgressOperation>())
              last = {p->Minimum(), p->Position(), p->Maximum()};
            return true;
          }) {}
    TOWSinkPin pin;
    std::array<int64_t, 3> last{-1, -1, -1};
  } progress;
  ASSERT_TRUE(names.pin.Connect(player.FileNamePin()));
  ASSERT_TRUE(player.ProgressPin().Connect(progress.pin));

  const std::string path = MakeFile(100);
  names.pin.Notify(std::make_shared<TOWStringStateOperation>(path));
  EXPECT_EQ(player.FileName(), path);
  player.SetClockSource(csExternal);
  player.EnablePin().SetValue(true);
  EXPECT_TRUE(player.Enabled());
  ASSERT_TRUE(player.FileOpen());
  player.PausePin().SetValue(true);
  EXPECT_TRUE(player.Paused());
  EXPECT_EQ(sink.Count<TOWSLPauseOperation>(), 1);
  player.PausePin().SetValue(false);  // resuming runs one pump step: the whole short file
  dispatcher.ProcessPending();
  EXPECT_EQ(progress.last, (std::array<int64_t, 3>{0, 99, 99}));
  names.pin.DisconnectAll();
  player.ProgressPin().DisconnectAll();
}

class PumpedPlayer : public WavePlayer {
 protected:
  PumpedPlayer() { sink.SetAnswerPumpRequests(true); }
};

TEST_F(PumpedPlayer, AnsweringSinkPacesThePlayer) {
  player.SetFileName(MakeFile(5000));
  player.SetEnabled(true);
  EXPECT_FALSE(player.SelfMaster());
  EXPECT_FALSE(player.ClockRunning());
  EXPECT_EQ(sink.Count<TOWStartPumpOperation>(), 1);
  EXPECT_TRUE(sink.Buffers().empty());
  EXPECT_TRUE(sink.Pump());
  EXPECT_TRUE(sink.Pump());
  EXPECT_EQ(sink.Buffers().size(), 2u);
  EXPECT_EQ(sink.Samples(), RampSamples(0, 2048));
}

TEST_F(PumpedPlayer, RepeatedPumpRequestIsServedOnce) {
  player.SetFileName(MakeFile(5000));
  player.SetEnabled(true);
  auto pump = std::make_shared<TOWMasterPumpOperation>(&sink);
  sink.InputPin().Notify(pump);
  sink.InputPin().Notify(pump);
  EXPECT_EQ(sink.Buffers().size(), 1u);
  // A request from a component that is not the master is not served either.
  TTestSink stranger;
  sink.InputPin().Notify(std::make_shared<TOWMasterPumpOperation>(&stranger));
  EXPECT_EQ(sink.Buffers().size(), 1u);
}

TEST_F(PumpedPlayer, PauseAndResume) {
  player.SetFileName(MakeFile(10000));
  player.SetEnabled(true);
  sink.Pump();
  player.SetPaused(true);
  EXPECT_TRUE(player.PausePin().Value());
  EXPECT_EQ(sink.Count<TOWSLPauseOperation>(), 1);
  sink.Pump();  // owed, not served
  EXPECT_EQ(sink.Buffers().size(), 1u);
  player.SetPaused(false);
  EXPECT_EQ(sink.Count<TOWSLResumeOperation>(), 2);  // after the second block, and this one
  // One step on resuming, then the two owed ones.
  EXPECT_EQ(sink.Buffers().size(), 4u);
  EXPECT_EQ(sink.Samples(), RampSamples(0, 4096));
}

TEST_F(WavePlayer, InternalClockPacesAPlayerThatNoSinkDrives) {
  player.SetBufferSize(441);  // 10 ms blocks
  player.SetFileName(MakeFile(4410));
  player.SetEnabled(true);
  EXPECT_TRUE(player.SelfMaster());
  EXPECT_TRUE(player.ClockRunning());
  ASSERT_TRUE(dispatcher.RunUntil([&] { return !player.Enabled(); }, 10000ms));
  EXPECT_EQ(sink.Samples(), RampSamples(0, 4410));
  EXPECT_FALSE(player.ClockRunning());
}

}  // namespace
