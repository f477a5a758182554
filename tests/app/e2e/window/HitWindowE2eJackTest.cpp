// Hit detection end to end through the program's real main window, offscreen, on the private
// JACK server: the left channel set to "Frappe", a test client playing scripted hits into it and
// another receiving the notes (one client doing both would close a loop, which the server breaks
// by delaying one edge a whole period). On the back-ends the program uses with a JACK server (its
// own client: capture tap, MIDI written at the hit's frame in the cycle), and on RtAudio/RtMidi
// (the tap in the stream callback, notes sent as they come). Last, recorded drums (the kick and
// snare of the sampled kit in Debian's hydrogen-data) with the window's own defaults.
#include <sndfile.h>

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QTemporaryDir>
#include <cstdio>
#include <random>

#include "AppState.h"
#include "E2eSupport.h"
#include "PickEntry.h"
#include "QtTestApp.h"
#include "frmMain.h"
#include "platform/SteadyClock.h"
#include "platform/jack/JackClient.h"
#include "platform/jack/JackMidiOutService.h"
#include "platform/jack/JackWaveIn.h"
#include "platform/rt/RtMidiOutService.h"
#include "platform/rt/RtWaveIn.h"
#include "platform/virtual/VirtualSoundService.h"

namespace e2e {
namespace {

constexpr uint64_t kGap = 8192;    // silence after each hit: its note ends well before the next
constexpr uint64_t kBurst = 1024;  // each hit a burst at -20 dB
constexpr double kScanMs = 2;

class HitWindowE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    client = std::make_unique<JackTestClient>(UniqueName("e2eh"));
    ASSERT_TRUE(client->Ok()) << "no JACK server named " << getenv("JACK_DEFAULT_SERVER");
    sink = std::make_unique<JackTestClient>(UniqueName("e2eh_sink"));
    ASSERT_TRUE(sink->Ok());
    RunFlags.Reset();
    MyMidi.NoteOn0 = false;
    MyMidi.NoteOn1 = false;
    MyHit = TMyHit();
  }
  void TearDown() override {
    window.reset();
    RunFlags.Reset();
    MyHit = TMyHit();
  }
  const TMainWindowDesign& D() const { return window->Design(); }

  // The window on the given back-ends, the test clients chosen as input and MIDI port, the left
  // channel in "Frappe" without a detection filter (the bursts' first samples are the first
  // above the threshold), then Start.
  void Open(IWaveIn& wave_in, IMidiOutService& midi_out, double note_length_ms) {
    TWindowBackends backends;
    backends.WaveIn = &wave_in;
    backends.MidiOut = &midi_out;
    backends.Sound = &sound;
    window =
        std::make_unique<TfmMain>(std::move(backends), dir.filePath("tocsin.ini").toStdString());
    window->SetErrorReporter([this](const QString& text) { errors.push_back(text); });
    const TMainWindowDesign& d = D();
    ASSERT_TRUE(Pick(d.lstInputDevices, QString::fromStdString(client->Name())));
    ASSERT_TRUE(Pick(d.lstMidiOut,
                     QString::fromStdString(CutUtf8(sink->MidiInPort(), kMidiProductNameMax))));
    ASSERT_TRUE(Pick(d.lstAudioInputSampleRate, QString::number(client->SampleRate())));
    ASSERT_TRUE(Pick(d.lstAudioInputBufferSize, "256"));
    ASSERT_TRUE(Pick(d.lstTocsinDetection[0], "Frappe"));
    d.edHit[TMainWindowDesign::kHitScanMs][0]->setValue(kScanMs);
    d.edHit[TMainWindowDesign::kHitNoteLengthMs][0]->setValue(note_length_ms);
    d.edHit[TMainWindowDesign::kHitHighPassHz][0]->setValue(0);
    d.edHit[TMainWindowDesign::kHitLowPassHz][0]->setValue(0);
    d.ActTriggerStart->trigger();
    ASSERT_TRUE(errors.empty()) << errors.front().toStdString();
    ASSERT_TRUE(d.ActTriggerStop->isEnabled()) << "Start succeeded";
    ASSERT_TRUE(PumpUntil([&] { return d.lblLeftLevelInDb->text() != "-.--"; }, kTimeout));
  }

  // n hits on the left, each a burst after a silence; the right stays silent.
  static TSignalScript Hits(int n) {
    TSignalScript s;
    s.Silence(kGap);
    for (int i = 0; i < n; ++i) s.Burst(0, -20, kBurst).Silence(kGap + 37 * i);
    return s;
  }

  // Plays the script and waits for `expected` events, then for a quarter of a second of JACK
  // frames more. A run with a late cycle is played again (it may have lost audio or MIDI).
  std::vector<JackTestClient::MidiEvent> Play(const TSignalScript& s, size_t expected,
                                              uint64_t& start) {
    for (int attempt = 1;; ++attempt) {
      const uint64_t xruns = client->Xruns() + sink->Xruns();
      const size_t before = sink->MidiCount();
      bool ok = client->Play(s.Left(), s.Right()) &&
                PumpUntil([&] { return !client->Playing(); }, kTimeout) &&
                PumpUntil([&] { return sink->MidiCount() >= before + expected; }, kTimeout);
      const uint64_t from = client->FrameTime();
      ok = PumpUntil([&] { return client->FrameTime() >= from + 11025; }, kTimeout) && ok;
      auto all = sink->Midi();
      std::vector<JackTestClient::MidiEvent> events(all.begin() + static_cast<long>(before),
                                                    all.end());
      start = client->PlayStartFrame();
      if (client->Xruns() + sink->Xruns() != xruns && attempt < 3) continue;
      EXPECT_TRUE(ok) << "only " << events.size() << " of " << expected << " events";
      return events;
    }
  }

  // One note-on per burst, then its note-off, and nothing else; each note-on at or after its
  // burst's first sample, and at most `late` frames after it.
  void ExpectOneNotePerHit(const TSignalScript& s,
                           const std::vector<JackTestClient::MidiEvent>& events, uint64_t start,
                           uint64_t late) {
    const auto& bursts = s.Bursts();
    ASSERT_EQ(events.size(), 2 * bursts.size());
    for (size_t i = 0; i < bursts.size(); ++i) {
      SCOPED_TRACE(i);
      const auto& on = events[2 * i];
      const auto& off = events[2 * i + 1];
      ASSERT_EQ(on.bytes.size(), 3u);
      EXPECT_EQ(on.bytes[0], 0x90);
      EXPECT_EQ(on.bytes[1], 60);
      EXPECT_EQ(off.bytes, NoteOff(0, 60));
      EXPECT_GE(on.frame, start + bursts[i].Start) << "never before the hit";
      EXPECT_LE(on.frame, start + bursts[i].Start + late);
      EXPECT_GT(off.frame, on.frame);
    }
  }

  QTemporaryDir dir;
  std::unique_ptr<JackTestClient> client;
  std::unique_ptr<JackTestClient> sink;
  TVirtualSoundService sound{SystemTickClock()};
  std::unique_ptr<TfmMain> window;
  std::vector<QString> errors;
};

TEST_F(HitWindowE2e, OnTheProgramsJackClientEachHitIsOneNoteWithinTheScanOfIt) {
  TJackClient jack(UniqueName("e2eh_tocsin"));
  ASSERT_TRUE(jack.Ok());
  TJackWaveIn wave_in(jack);
  TJackMidiOutService midi_out(jack);
  Open(wave_in, midi_out, 30);
  const TSignalScript s = Hits(12);
  uint64_t start = 0;
  const auto events = Play(s, 24, start);
  // Written in the cycle where the scan ends, at the hit's own frame when that is the hit's
  // cycle: the scan time and 4 frames at most.
  const auto scan = static_cast<uint64_t>(kScanMs * client->SampleRate() / 1000);
  ExpectOneNotePerHit(s, events, start, scan + 4);
  window.reset();
}

TEST_F(HitWindowE2e, OnRtAudioEachHitIsOneNoteAndStopEndsTheSoundingOne) {
  TRtWaveIn wave_in;
  TRtMidiOutService midi_out(UniqueName("e2eh_out"));
  Open(wave_in, midi_out, 30);
  const TSignalScript s = Hits(8);
  uint64_t start = 0;
  const auto events = Play(s, 16, start);
  // Sent as they come: a cycle or two of the stream later, never before.
  ExpectOneNotePerHit(s, events, start, 4 * 1024);

  // Notes of two seconds: Stop comes while one sounds, and ends it.
  D().edHit[TMainWindowDesign::kHitNoteLengthMs][0]->setValue(2000);
  const size_t before = sink->MidiCount();
  ASSERT_TRUE(client->Play(Hits(3).Left(), Hits(3).Right()));
  ASSERT_TRUE(PumpUntil([&] { return sink->MidiCount() >= before + 1; }, kTimeout));
  D().ActTriggerStop->trigger();
  const uint64_t from = client->FrameTime();
  ASSERT_TRUE(PumpUntil([&] { return client->FrameTime() >= from + 11025; }, kTimeout));
  const auto all = sink->Midi();
  const std::vector<JackTestClient::MidiEvent> after(all.begin() + static_cast<long>(before),
                                                     all.end());
  ASSERT_EQ(after.size(), 2u) << "the sounding note's note-off, and nothing more";
  EXPECT_EQ(after[0].bytes[0], 0x90);
  EXPECT_EQ(after[1].bytes, NoteOff(0, 60));
  EXPECT_FALSE(D().ledLeftThres->Lit()) << "a channel in \"Frappe\" goes dark with its notes";
  window.reset();  // before the back-ends it uses, which live in this test's body
}

// A sample of the kit, mono (its first channel), as floats; empty when it cannot be read.
std::vector<float> KitSample(const std::string& name, int& rate) {
  SF_INFO info{};
  const std::string path = "/usr/share/hydrogen/data/drumkits/GMRockKit/" + name + ".wav";
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return {};
  std::vector<float> all(static_cast<size_t>(info.frames) * info.channels);
  sf_readf_float(f, all.data(), info.frames);
  sf_close(f);
  rate = info.samplerate;
  std::vector<float> mono(static_cast<size_t>(info.frames));
  for (size_t i = 0; i < mono.size(); ++i) mono[i] = all[i * info.channels];
  return mono;
}

TEST_F(HitWindowE2e, RecordedKickAndSnareHitsAreOneNoteEachWithTheDefaults) {
  static const char* const kLayers[5] = {"Softest", "Soft", "Med", "Hard", "Hardest"};
  std::vector<float> kick[5], snare[5];
  for (int l = 0; l < 5; ++l) {
    int rate = 0;
    kick[l] = KitSample(std::string("Kick-") + kLayers[l], rate);
    ASSERT_FALSE(kick[l].empty()) << "hydrogen-data's GMRockKit is missing";
    ASSERT_EQ(static_cast<uint32_t>(rate), client->SampleRate());
    snare[l] = KitSample(std::string("Snare-") + kLayers[l], rate);
    ASSERT_FALSE(snare[l].empty());
  }
  TJackClient jack(UniqueName("e2eh_tocsin"));
  ASSERT_TRUE(jack.Ok());
  TJackWaveIn wave_in(jack);
  TJackMidiOutService midi_out(jack);
  TWindowBackends backends;
  backends.WaveIn = &wave_in;
  backends.MidiOut = &midi_out;
  backends.Sound = &sound;
  window = std::make_unique<TfmMain>(std::move(backends), dir.filePath("tocsin.ini").toStdString());
  const TMainWindowDesign& d = D();
  ASSERT_TRUE(Pick(d.lstInputDevices, QString::fromStdString(client->Name())));
  ASSERT_TRUE(
      Pick(d.lstMidiOut, QString::fromStdString(CutUtf8(sink->MidiInPort(), kMidiProductNameMax))));
  ASSERT_TRUE(Pick(d.lstAudioInputSampleRate, QString::number(client->SampleRate())));
  // Both channels in "Frappe" with the page's own settings; the snare on Ré3.
  for (int ch = 0; ch < 2; ++ch) {
    ASSERT_TRUE(Pick(d.lstTocsinDetection[ch], "Frappe"));
    d.edTocsinThres[ch]->setValue(-30);
  }
  ASSERT_TRUE(Pick(d.lstMidiOutNote[1], "Ré3"));
  d.ActTriggerStart->trigger();
  ASSERT_TRUE(d.ActTriggerStop->isEnabled());

  // Eighths at 120 bpm, a kick or a snare each, at random layers, the other mic hearing it 18 dB
  // down.
  const uint64_t eighth = client->SampleRate() / 4;
  std::mt19937 rng(7);
  const int hits = 32;
  std::vector<float> left(eighth * (hits + 8), 0.0f), right(left.size(), 0.0f);
  int kicks = 0, snares = 0;
  for (int i = 0; i < hits; ++i) {
    const uint64_t at = eighth * (i + 2);
    const bool is_kick = i % 2 == 0;
    const bool is_snare = !is_kick;
    auto mix = [&](const std::vector<float>& x, std::vector<float>& own,
                   std::vector<float>& other) {
      for (size_t j = 0; j < x.size() && at + j < own.size(); ++j) {
        own[at + j] += x[j];
        other[at + j] += x[j] * 0.125f;
      }
    };
    if (is_kick) mix(kick[rng() % 5], left, right), ++kicks;
    if (is_snare) mix(snare[rng() % 5], right, left), ++snares;
  }
  uint64_t start = 0;
  for (int attempt = 1;; ++attempt) {
    const uint64_t xruns = client->Xruns() + sink->Xruns();
    const size_t before = sink->MidiCount();
    ASSERT_TRUE(client->Play(left, right));
    ASSERT_TRUE(PumpUntil([&] { return !client->Playing(); }, kTimeout));
    const uint64_t from = client->FrameTime();
    ASSERT_TRUE(PumpUntil([&] { return client->FrameTime() >= from + 22050; }, kTimeout));
    start = client->PlayStartFrame();
    const auto all = sink->Midi();
    if (client->Xruns() + sink->Xruns() != xruns && attempt < 3) continue;
    int ons[2] = {0, 0}, offs[2] = {0, 0};
    for (size_t i = before; i < all.size(); ++i) {
      const auto& b = all[i].bytes;
      const int side = b[1] == 62 ? 1 : 0;
      ((b[0] & 0xF0) == 0x90 ? ons : offs)[side]++;
    }
    std::printf("recorded drums through the window: %d kicks -> %d notes, %d snares -> %d notes\n",
                kicks, ons[0], snares, ons[1]);
    EXPECT_EQ(ons[0], kicks);
    EXPECT_EQ(ons[1], snares);
    EXPECT_EQ(offs[0], ons[0]);
    EXPECT_EQ(offs[1], ons[1]);
    break;
  }
  (void)start;
  window.reset();
}

}  // namespace
}  // namespace e2e
