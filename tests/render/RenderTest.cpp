// The renderer on generated takes: notes at the frames of the hits with the live velocities,
// known blocks to known bytes, and MIDI files whose timing reads back exactly.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "MidiFile.h"
#include "RenderChain.h"
#include "RenderError.h"
#include "RenderSettings.h"
#include "RenderSource.h"
#include "RenderTake.h"

namespace {

namespace fs = std::filesystem;
using Frames = std::vector<std::array<int16_t, 2>>;

struct TempDir {
  fs::path path;
  TempDir() {
    char name[] = "/tmp/tocsin-render-test-XXXXXX";
    path = mkdtemp(name);
  }
  ~TempDir() { fs::remove_all(path); }
};

std::string WriteWav(const fs::path& path, const Frames& frames, int rate, int channels,
                     int subformat = SF_FORMAT_PCM_16) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | subformat;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
  std::vector<short> samples;
  for (const auto& fr : frames) {
    for (int c = 0; c < channels; ++c) samples.push_back(fr[c]);
  }
  sf_writef_short(f, samples.data(), static_cast<sf_count_t>(frames.size()));
  sf_close(f);
  return path.string();
}

// The note-on velocity of a peak when following the level, worked out here from the dB line.
int ExpectedVelocity(int peak, double threshold) {
  const double db = 20 * std::log10(peak / 32767.0);
  return static_cast<int>(127 - 127 / std::fabs(threshold) * std::fabs(db));
}

struct Rendered {
  std::vector<TRenderMessage> messages;
  std::vector<TRenderNote> notes;
  uint64_t frames;
  std::vector<std::array<float, 2>> thresholds;  // kept for the picture only
};

Rendered Render(const std::string& wav, const TRenderOverrides& overrides, const fs::path& ini,
                bool keep_levels = false) {
  TRenderSettings settings;
  LoadRenderSettings(ini.string(), overrides, settings);
  TRenderSource source(wav, settings.Bits);
  const auto chain = RenderWithSettings(source, settings, keep_levels);
  return {chain->Messages(), chain->Notes(), chain->Frames(), chain->Thresholds()};
}

// An independent reading of a format 0 file: each channel message's absolute tick and bytes.
struct Event {
  uint64_t tick;
  std::vector<uint8_t> bytes;
};
std::vector<Event> ReadTrack(const std::vector<uint8_t>& file, uint16_t* division = nullptr) {
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "MThd");
  if (division) *division = static_cast<uint16_t>(file[12] << 8 | file[13]);
  size_t p = 22;  // after "MTrk" and its length
  std::vector<Event> events;
  uint64_t tick = 0;
  while (p < file.size()) {
    uint32_t delta = 0;
    uint8_t b;
    do {
      b = file[p++];
      delta = delta << 7 | (b & 0x7F);
    } while (b & 0x80);
    tick += delta;
    if (file[p] == 0xFF) {
      const uint8_t type = file[p + 1];
      const uint8_t len = file[p + 2];
      p += 3 + len;
      if (type == 0x2F) events.push_back({tick, {0xFF, 0x2F}});
    } else {
      events.push_back({tick, {file[p], file[p + 1], file[p + 2]}});
      p += 3;
    }
  }
  return events;
}

class RenderTest : public ::testing::Test {
 protected:
  TempDir dir;
  fs::path ini = dir.path / "settings.ini";
  void SetUp() override { std::ofstream(ini) << "[Main]\n"; }
};

TEST_F(RenderTest, NoteOnsAtTheHitFramesWithTheLiveVelocities) {
  // Hits that start inside their blocks (1024 frames), each a single loud frame after a quieter
  // lead-in that is already above the threshold at the frame named.
  Frames frames(48000 * 2);
  struct Hit {
    size_t frame;
    int side;
    int16_t peak;
  };
  const std::vector<Hit> hits = {
      {5000, 0, 20000}, {20500, 1, 3000}, {40961, 0, 32767}, {70000, 1, 500}};
  for (const Hit& h : hits) {
    frames[h.frame][h.side] = 200;  // -44.3 dB: above -45 already
    frames[h.frame + 30][h.side] = h.peak;
  }
  frames[90000][0] = 180;  // -45.2 dB: stays below
  const Rendered r = Render(WriteWav(dir.path / "hits.wav", frames, 48000, 2), {}, ini);
  ASSERT_EQ(r.notes.size(), hits.size());
  for (size_t i = 0; i < hits.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r.notes[i].Side, hits[i].side);
    EXPECT_EQ(r.notes[i].OnFrame, hits[i].frame);
    EXPECT_EQ(r.notes[i].Velocity, ExpectedVelocity(hits[i].peak, -45));
    EXPECT_EQ(r.notes[i].OffFrame, (hits[i].frame / 1024 + 2) * 1024);  // the first quiet block
  }

  // A 24-bit take of the same audio reaches the detection as the same 16-bit blocks.
  const Rendered r24 =
      Render(WriteWav(dir.path / "hits24.wav", frames, 48000, 2, SF_FORMAT_PCM_24), {}, ini);
  ASSERT_EQ(r24.messages.size(), r.messages.size());
  for (size_t i = 0; i < r.messages.size(); ++i) {
    EXPECT_EQ(r24.messages[i].Frame, r.messages[i].Frame);
    EXPECT_EQ(r24.messages[i].Bytes, r.messages[i].Bytes);
  }
}

TEST_F(RenderTest, MonoTakeFiresBothSidesAndOverridesApply) {
  Frames frames(4096);
  frames[1500][0] = 10000;
  TRenderOverrides o;
  o.BufferSize = 256;
  o.ChannelIndex = 9;
  o.NoteIndex[0] = NoteEntryForName("ré#4");
  o.NoteIndex[1] = NoteEntryForName("SOL8");
  o.FixedVelocity = true;
  o.Threshold[1] = -5;  // the right side's threshold keeps it quiet
  const Rendered r = Render(WriteWav(dir.path / "mono.wav", frames, 44100, 1), o, ini);
  ASSERT_EQ(r.messages.size(), 2u);
  EXPECT_EQ(r.messages[0].Frame, 1500u);
  EXPECT_EQ(r.messages[0].Bytes, (std::array<uint8_t, 3>{0x99, 75, 100}));
  EXPECT_EQ(r.messages[1].Frame, 1792u);  // the end of the first quiet block
  EXPECT_EQ(r.messages[1].Bytes, (std::array<uint8_t, 3>{0x89, 75, 64}));

  o.Threshold[1] = -45;
  const Rendered both = Render(dir.path / "mono.wav", o, ini);
  ASSERT_EQ(both.notes.size(), 2u);
  EXPECT_EQ(both.notes[1].Side, 1);
  EXPECT_EQ(both.notes[1].Note, 127);
  EXPECT_EQ(both.notes[1].OnFrame, 1500u);
}

TEST_F(RenderTest, KnownBlocksGiveTheBytesWorkedOutByHand) {
  const uint32_t block = 512;
  Frames frames(block * 12);
  auto fill = [&](int blk, int side, std::vector<int16_t> values) {
    for (size_t i = 0; i < values.size(); ++i) frames[blk * block + 100 + i][side] = values[i];
  };
  fill(1, 0, {32767, -32768, 32767});    // a clip: loudest note
  fill(2, 0, {30000});                   // held: no second note-on
  fill(4, 0, {-30000, -32000, -20000});  // a negative-only burst reads as silence
  fill(6, 1, {32767});                   // exactly at the right's 0 dB threshold: no note
  fill(8, 1, {-1, 1, 32767, 5});         // again, beside the left side's next hit
  fill(8, 0, {23198});                   // -2.9997 dB: above -3 by a hair
  fill(10, 0, {23197});                  // -3.0001 dB: below
  std::ofstream(ini) << "[Main]\nTocsinLeftThres=-3\nTocsinRightThres=0\nMidiOutChannel=16\n"
                        "MidiOutNote0=Sol8\nMidiOutNote1=Do-2\nAudioInputBufferSize=512\n";
  const Rendered r = Render(WriteWav(dir.path / "known.wav", frames, 48000, 2), {}, ini);
  std::vector<uint8_t> rendered;
  for (const auto& m : r.messages) rendered.insert(rendered.end(), m.Bytes.begin(), m.Bytes.end());
  // The clip's note (Sol8 = 127 on channel 16, full velocity), its note-off at the end of block
  // 3, then the hair above -3 dB (the lowest velocity a note-on carries, 1).
  EXPECT_EQ(rendered,
            (std::vector<uint8_t>{0x9F, 127, 127, 0x8F, 127, 64, 0x9F, 127, 1, 0x8F, 127, 64}));
  ASSERT_EQ(r.messages.size(), 4u);
  EXPECT_EQ(r.messages[0].Frame, block * 1 + 100);
  EXPECT_EQ(r.messages[1].Frame, block * 4);
  EXPECT_EQ(r.messages[2].Frame, block * 8 + 100);
  EXPECT_EQ(r.messages[3].Frame, block * 10);

  // And the file holds them, a tick per frame at 48 kHz.
  uint16_t division = 0;
  const auto events = ReadTrack(BuildMidiFile(r.messages, r.frames, 48000, "known"), &division);
  EXPECT_EQ(division, 24000);
  ASSERT_EQ(events.size(), 5u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(events[i].tick, r.messages[i].Frame);
    EXPECT_EQ(events[i].bytes,
              std::vector<uint8_t>(r.messages[i].Bytes.begin(), r.messages[i].Bytes.end()));
  }
  EXPECT_EQ(events[4].tick, frames.size());  // end of track at the take's end
}

TEST_F(RenderTest, BothSidesOnOneNoteKeepTheLiveOrderAndATakeEndingLoudClosesItsNote) {
  // Left sounds until block 2 falls quiet; right hits early in block 2 on the same note. Live,
  // the left's note-off goes out before the right's note-on, so the note keeps sounding.
  Frames frames(1024 * 4);
  frames[1024 + 10][0] = 20000;
  frames[2048 + 7][1] = 20000;
  frames[3 * 1024 + 1000][1] = 20000;  // the right is still loud in the last block
  const Rendered r = Render(WriteWav(dir.path / "same.wav", frames, 48000, 2), {}, ini);
  ASSERT_EQ(r.messages.size(), 4u);
  EXPECT_EQ(r.messages[1].Bytes[0], 0x80);
  EXPECT_EQ(r.messages[1].Frame, 3072u);
  EXPECT_EQ(r.messages[2].Bytes[0], 0x90);
  EXPECT_EQ(r.messages[2].Frame, 3072u);
  EXPECT_EQ(r.messages[3].Bytes[0], 0x80);
  EXPECT_EQ(r.messages[3].Frame, frames.size());
  EXPECT_EQ(r.notes.back().OffFrame, frames.size());
}

TEST_F(RenderTest, ASideInFrappeGivesOneNotePerHitAtItsFrameBesideTheLevelSide) {
  Frames frames(48000);
  const std::vector<size_t> hits = {3000, 10001, 30500};
  for (size_t h : hits) frames[h][0] = 20000;
  for (size_t f = 20000; f < 22000; ++f) frames[f][1] = f % 2 ? -9000 : 9000;
  // The raw signal (no detection filter): the hits' first samples above are the frames named.
  std::ofstream(ini) << "[Main]\nTocsinDetection0=1\nTocsinHitNoteLengthMs0=40\n"
                        "TocsinHitScanMs0=2\nTocsinHitHighPassHz0=0\nTocsinHitLowPassHz0=0\n"
                        "MidiOutNote1=Mi3\n";
  TRenderOverrides o;
  o.BufferSize = 1024;  // the hits' frames do not depend on the blocks
  const Rendered r = Render(WriteWav(dir.path / "hits.wav", frames, 48000, 2), o, ini);
  ASSERT_EQ(r.notes.size(), 4u);
  std::vector<uint64_t> left;
  for (const TRenderNote& n : r.notes) {
    if (n.Side == 1) {
      EXPECT_FALSE(n.Hit);
      EXPECT_EQ(n.OnFrame, 20000u) << "the level side as before";
      EXPECT_EQ(n.OffFrame, 23552u);  // the end of the first quiet block
      continue;
    }
    EXPECT_TRUE(n.Hit);
    EXPECT_EQ(n.Note, 60);
    left.push_back(n.OnFrame);
    EXPECT_NEAR(static_cast<double>(n.OffFrame - n.OnFrame), 40 * 48.0, 2 * 48.0 + 1)
        << "the note length, give or take the scan";
  }
  EXPECT_EQ(left, (std::vector<uint64_t>(hits.begin(), hits.end())));

  // The picture's falling threshold is sampled on the take's own steps, whatever the blocks.
  const Rendered pictured = Render(dir.path / "hits.wav", o, ini, true);
  ASSERT_EQ(pictured.thresholds.size(), r.frames / TRenderChain::kThresholdStep);
  for (uint32_t block : {32u, 100u}) {
    o.BufferSize = block;
    const Rendered b = Render(dir.path / "hits.wav", o, ini, true);
    ASSERT_EQ(b.thresholds.size(), pictured.thresholds.size()) << "blocks of " << block;
    for (size_t i = 0; i < b.thresholds.size(); ++i)
      ASSERT_EQ(b.thresholds[i][0], pictured.thresholds[i][0])
          << "step " << i << ", blocks of " << block;
  }
}

TEST_F(RenderTest, AMonoTakeOnOneKeyGivesOneNotePerHitInEitherKind) {
  Frames frames(48000);
  for (size_t f = 5000; f < 5100; ++f) frames[f][0] = f % 2 ? -12000 : 12000;
  frames[30000][0] = 20000;
  for (bool hit : {false, true}) {
    SCOPED_TRACE(hit);
    TRenderOverrides o;
    o.HitDetection[0] = o.HitDetection[1] = hit;
    for (THitOption filter : {THitOption::kHighPassHz, THitOption::kLowPassHz})
      o.Hit[static_cast<int>(filter)][0] = o.Hit[static_cast<int>(filter)][1] = 0;
    const Rendered r = Render(WriteWav(dir.path / "mono.wav", frames, 48000, 1), o, ini);
    ASSERT_EQ(r.notes.size(), 2u) << "both sides hear each hit: one key, one note";
    EXPECT_EQ(r.notes[0].OnFrame, 5000u);
    EXPECT_EQ(r.notes[1].OnFrame, 30000u);
    int on = 0;
    for (const TRenderMessage& m : r.messages) {
      on += (m.Bytes[0] & 0xF0) == 0x90 ? 1 : -1;
      EXPECT_TRUE(on == 0 || on == 1) << "a note-on, then its note-off";
    }
    EXPECT_EQ(on, 0);
  }
}

TEST(RenderMidiFile, TicksKeepFramesApartAndLongWaitsSurvive) {
  EXPECT_EQ(FrameToTick(48000, 48000), 48000u);
  EXPECT_EQ(FrameToTick(44100, 44100), 48000u);
  for (uint64_t f = 0; f < 44100; ++f) ASSERT_LT(FrameToTick(f, 44100), FrameToTick(f + 1, 44100));
  // A wait longer than one delta can hold (over 1.5 hours at 48 kHz).
  const uint64_t far = 0x0FFFFFFFull * 2 + 12345;
  const std::vector<TRenderMessage> messages = {{5, {0x90, 60, 100}}, {far, {0x80, 60, 64}}};
  const auto events = ReadTrack(BuildMidiFile(messages, far + 1, 48000, "long"));
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].tick, 5u);
  EXPECT_EQ(events[1].tick, far);
  EXPECT_EQ(events[1].bytes, (std::vector<uint8_t>{0x80, 60, 64}));
  EXPECT_EQ(events[2].tick, far + 1);
}

TEST_F(RenderTest, UnreadableTakesAreRefusedWithTheirReason) {
  Frames frames(2000);
  const std::string good = WriteWav(dir.path / "good.wav", frames, 48000, 2);
  const fs::path cut = dir.path / "cut.wav";
  fs::copy_file(good, cut);
  fs::resize_file(cut, 44 + 4 * 1000 + 2);
  const fs::path empty = dir.path / "empty.wav";
  std::ofstream{empty};
  const fs::path junk = dir.path / "junk.wav";
  std::ofstream(junk) << "RIFF\x10\0\0\0WAVEfmt garbage and more garbage";
  for (const fs::path& p : {cut, empty, junk, dir.path, dir.path / "missing.wav"}) {
    try {
      TRenderSource source(p.string(), 16);
      ADD_FAILURE() << p << " was accepted";
    } catch (const ERenderError& e) {
      EXPECT_EQ(e.ExitCode(), kExitBadFile);
      EXPECT_EQ(std::string(e.what()).rfind(p.string() + ": ", 0), 0u) << e.what();
    }
  }
  TRenderSource partial(cut.string(), 16, true);
  EXPECT_EQ(partial.CutShortBy(), 1000u);
  EXPECT_EQ(partial.Frames(), 1000u);
}

}  // namespace
