// End to end through the program's real main window, offscreen, on the private JACK server
// (44100 Hz, period 256): the real capture and MIDI back-ends, the test client chosen as the input
// device and its MIDI port as the output, Start pressed, and scripted bursts played. The checks
// hold whatever the timing: which bytes arrive, in which order, never before their burst, and
// which indicator changes the UI thread shows.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QSpinBox>
#include <QTemporaryDir>

#include "AppState.h"
#include "E2eSupport.h"
#include "IndicatorWatch.h"
#include "PickEntry.h"
#include "QtTestApp.h"
#include "frmMain.h"
#include "platform/SteadyClock.h"
#include "platform/rt/RtMidiOutService.h"
#include "platform/rt/RtWaveIn.h"
#include "platform/virtual/VirtualSoundService.h"

namespace e2e {
namespace {

constexpr uint64_t kSeg = 4096;  // 16 blocks of 256: every edge of a burst falls in its own block
constexpr int kDo3 = 60;

class MainWindowE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    client = std::make_unique<JackTestClient>(UniqueName("e2ew"));
    ASSERT_TRUE(client->Ok()) << "no JACK server named " << getenv("JACK_DEFAULT_SERVER");
    RunFlags.Reset();
    MyMidi.NoteOn0 = false;
    MyMidi.NoteOn1 = false;
    Sounds[0].Inhibited = false;
    Sounds[1].Inhibited = false;
    midi_out = std::make_unique<TRtMidiOutService>(UniqueName("e2ew_out"));
    TWindowBackends backends;
    backends.WaveIn = &wave_in;
    backends.MidiOut = midi_out.get();
    backends.Sound = &sound;
    window = std::make_unique<TfmMain>(std::move(backends), IniPath());
    window->SetErrorReporter([this](const QString& text) { errors.push_back(text); });
    window->show();
    const TMainWindowDesign& d = D();
    watch = std::make_unique<TIndicatorWatch>(d.lblClip, d.ledLeftThres, d.ledRightThres);
  }
  void TearDown() override {
    watch.reset();
    window.reset();
    RunFlags.Reset();
  }

  const TMainWindowDesign& D() const { return window->Design(); }
  std::string IniPath() const { return dir.filePath("tocsin.ini").toStdString(); }

  // Chooses the test client and its MIDI port, thresholds at -45 dB, "1" and "Do3", then Start.
  void Start() {
    const TMainWindowDesign& d = D();
    ASSERT_TRUE(Pick(d.lstInputDevices, QString::fromStdString(client->Name())))
        << "the test client is offered as an input device";
    ASSERT_TRUE(Pick(d.lstMidiOut, QString::fromStdString(
                                       CutUtf8(client->MidiInPort(), kMidiProductNameMax))))
        << "the test client's MIDI input is offered as an output port";
    ASSERT_TRUE(Pick(d.lstAudioInputSampleRate, QString::number(client->SampleRate())));
    ASSERT_TRUE(Pick(d.lstAudioInputBufferSize, "256"));
    d.ActTriggerStart->trigger();
    ASSERT_TRUE(errors.empty()) << errors.front().toStdString();
    ASSERT_TRUE(d.ActTriggerStop->isEnabled()) << "Start succeeded";
    ASSERT_TRUE(d.ledAudioInState->Lit());
    ASSERT_TRUE(d.LedMidiOutState->Lit());
    // Silence flows until the dB readouts show the capture is connected.
    ASSERT_TRUE(PumpUntil([&] { return d.lblLeftLevelInDb->text() != "-.--"; }, kTimeout));
  }

  // Plays the script (which ends in silence), waits for the expected events, then for a quarter
  // of a second of JACK frames more, so that one event too many would have arrived as well. A run
  // during which the server reported a late cycle may have lost audio or MIDI on the way: it
  // proves nothing, and the script is played again (the closing silence ends any note); the
  // indicator changes are those of the last run.
  std::vector<JackTestClient::MidiEvent> Play(const TSignalScript& s, size_t expected) {
    for (int attempt = 1;; ++attempt) {
      const uint64_t xruns = client->Xruns();
      const size_t before = client->MidiCount();
      watch->Clear();
      bool ok = client->Play(s.Left(), s.Right()) &&
                PumpUntil([&] { return !client->Playing(); }, kTimeout) &&
                PumpUntil([&] { return client->MidiCount() >= before + expected; }, kTimeout);
      ok = PumpFrames(11025) && ok;
      auto all = client->Midi();
      std::vector<JackTestClient::MidiEvent> events(all.begin() + static_cast<long>(before),
                                                    all.end());
      if (client->Xruns() != xruns && attempt < 3) continue;
      EXPECT_TRUE(ok) << "only " << events.size() << " of " << expected << " events";
      return events;
    }
  }
  // Pumps window messages until the server has run that many more frames.
  bool PumpFrames(uint64_t frames) {
    const uint64_t from = client->FrameTime();
    return PumpUntil([&] { return client->FrameTime() >= from + frames; }, kTimeout);
  }

  static std::vector<TBytes> Bytes(const std::vector<JackTestClient::MidiEvent>& events) {
    std::vector<TBytes> out;
    for (const auto& e : events) out.push_back(e.bytes);
    return out;
  }

  QTemporaryDir dir;
  std::unique_ptr<JackTestClient> client;
  TRtWaveIn wave_in;
  std::unique_ptr<TRtMidiOutService> midi_out;
  TVirtualSoundService sound{SystemTickClock()};
  std::unique_ptr<TfmMain> window;
  std::unique_ptr<TIndicatorWatch> watch;
  std::vector<QString> errors;
};

using W = TIndicatorWatch;

TEST_F(MainWindowE2e, BurstsBecomeNotesWithTheLevelsVelocityAndLightTheIndicators) {
  D().edTocsinThres[0]->setValue(-45);
  D().edTocsinThres[1]->setValue(-45);
  D().cbMidiOutVelFollowAudioInLevel->setChecked(true);
  Start();
  TSignalScript s;
  s.Silence(kSeg)
      .Burst(0, -20, kSeg).Silence(kSeg)          // 127 - 127 * 20 / 45 = 70.56: velocity 70
      .Burst(0, -50, kSeg).Silence(kSeg)          // below the threshold: nothing
      .Clip(1, kSeg).Silence(kSeg)                // "CLIP", full scale reads 0 dB: velocity 127
      .NegativeBurst(0, 0, kSeg).Silence(kSeg);   // "CLIP" through the negative peak, no note
  const auto events = Play(s, 4);
  EXPECT_EQ(Bytes(events), (std::vector<TBytes>{NoteOn(0, kDo3, 70), NoteOff(0, kDo3),
                                                NoteOn(0, kDo3, 127), NoteOff(0, kDo3)}));
  ASSERT_EQ(events.size(), 4u);
  const uint64_t t0 = client->PlayStartFrame();
  const auto& b = s.Bursts();
  EXPECT_GE(events[0].frame, t0 + b[0].Start);
  EXPECT_GE(events[1].frame, t0 + b[0].End());
  EXPECT_GE(events[2].frame, t0 + b[2].Start);
  EXPECT_GE(events[3].frame, t0 + b[2].End());

  ASSERT_TRUE(PumpUntil([&] { return watch->Changes().size() >= 8; }, kTimeout));
  EXPECT_EQ(watch->Changes(),
            (std::vector<W::TChange>{{W::ThresholdLight0, true}, {W::ThresholdLight0, false},
                                     {W::Clip, true}, {W::ThresholdLight1, true},
                                     {W::Clip, false}, {W::ThresholdLight1, false},
                                     {W::Clip, true}, {W::Clip, false}}));
  EXPECT_FALSE(watch->ClipChangedOffUiThread());
  EXPECT_EQ(D().lblMidiOutLastVel[1]->text(), "127");
}

TEST_F(MainWindowE2e, ChannelsAreIndependentWithFixedVelocity) {
  const TMainWindowDesign& d = D();
  d.edTocsinThres[0]->setValue(-45);
  d.edTocsinThres[1]->setValue(-30);
  d.cbMidiOutVelFollowAudioInLevel->setChecked(false);
  ASSERT_TRUE(Pick(d.lstMidiOutChannel, "10"));
  ASSERT_TRUE(Pick(d.lstMidiOutNote[0], "Do1"));
  ASSERT_TRUE(Pick(d.lstMidiOutNote[1], "Sol3"));
  Start();
  TSignalScript s;
  s.Silence(kSeg).Burst(1, -35, kSeg).Silence(kSeg);  // above -45, yet below the right's -30
  // The left holds its note while the right's starts, and the right's outlasts it.
  const uint64_t left_start = s.Length();
  s.Burst(0, -35, 3 * kSeg);
  s.At(left_start + kSeg).Burst(1, -10, 4 * kSeg).Silence(kSeg);
  EXPECT_EQ(Bytes(Play(s, 4)), (std::vector<TBytes>{NoteOn(9, 36, 100), NoteOn(9, 67, 100),
                                                    NoteOff(9, 36), NoteOff(9, 67)}));
}

TEST_F(MainWindowE2e, StopWhileAudioFlowsEndsTheNoteAndSendsNothingMore) {
  D().edTocsinThres[0]->setValue(-45);
  D().cbMidiOutVelFollowAudioInLevel->setChecked(false);
  Start();
  TSignalScript s;
  // Twenty seconds: however long the machine stalls, Stop comes while the level is up.
  s.Silence(kSeg).Burst(0, -6, 20 * 44100).Silence(kSeg);
  ASSERT_TRUE(client->Play(s.Left(), s.Right()));
  ASSERT_TRUE(PumpUntil([&] { return client->MidiCount() >= 1; }, kTimeout));
  D().ActTriggerStop->trigger();
  EXPECT_TRUE(D().ActTriggerStart->isEnabled());
  EXPECT_FALSE(D().ledAudioInState->Lit());
  EXPECT_FALSE(D().LedMidiOutState->Lit());
  EXPECT_EQ(D().lblLeftLevelInDb->text(), "-.--");
  ASSERT_TRUE(PumpFrames(8192));
  // The note sounding at Stop ends there, and nothing follows.
  EXPECT_EQ(Bytes(client->Midi()), (std::vector<TBytes>{NoteOn(0, kDo3, 100), NoteOff(0, kDo3)}));
}

TEST_F(MainWindowE2e, CloseWhileAudioFlowsClosesEverythingAndSavesTheSettings) {
  D().edTocsinThres[0]->setValue(-40);
  Start();
  TSignalScript s;
  // Twenty seconds: however long the machine stalls, the close comes while the level is up.
  s.Silence(kSeg).Burst(0, -6, 20 * 44100).Silence(kSeg);
  ASSERT_TRUE(client->Play(s.Left(), s.Right()));
  ASSERT_TRUE(PumpUntil([&] { return client->MidiCount() >= 1; }, kTimeout));
  const size_t at_close = client->MidiCount() + 1;
  EXPECT_TRUE(window->close());
  // The close silences the block handler at once; only the sounding note's note-off follows.
  ASSERT_TRUE(PumpFrames(8192));
  EXPECT_EQ(client->MidiCount(), at_close);
  EXPECT_EQ(Bytes(client->Midi()).back()[0], 0x80);
  EXPECT_TRUE(RunFlags.Closing);
  // What the user chose is what the next start finds.
  QFile file(QString::fromStdString(IniPath()));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const std::string saved = file.readAll().toStdString();
  const std::vector<std::string> lines = {
      "[Main]\n",
      "AudioInputDeviceName=" + client->Name() + "\n",
      "AudioInputBufferSize=256\n",
      "AudioInputSampleRate=" + std::to_string(client->SampleRate()) + "\n",
      "TocsinLeftThres=-40\n",
      "TocsinRightThres=-45\n",
      "MidiOutDeviceName=" + CutUtf8(client->MidiInPort(), kMidiProductNameMax) + "\n",
      "MidiOutChannel=1\n",
      "MidiOutNote0=Do3\n"};
  for (const std::string& line : lines) {
    EXPECT_NE(saved.find(line), std::string::npos) << "missing " << line << "in:\n" << saved;
  }
  watch.reset();
  window.reset();
  ASSERT_TRUE(PumpFrames(8192));
  EXPECT_EQ(client->MidiCount(), at_close);
}

}  // namespace
}  // namespace e2e
