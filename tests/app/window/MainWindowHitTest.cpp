// Hit detection through the real window on the in-process input: a channel set to "Frappe" on
// its "Traitement" page is fired from the capture tap (one note per hit, at the hit's frame),
// the "Frappe" page reaches the tap, and switching kinds while running leaves no note doubled
// or hanging.
#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QTemporaryDir>
#include <atomic>
#include <map>

#include "AppState.h"
#include "PickEntry.h"
#include "QtTestApp.h"
#include "frmMain.h"
#include "platform/SteadyClock.h"
#include "platform/virtual/VirtualMidiOutService.h"
#include "platform/virtual/VirtualSoundService.h"
#include "platform/virtual/VirtualWaveIn.h"

namespace {

constexpr uint64_t kHitEvery = 4410;  // a tenth of a second at the capture's 44100 Hz
constexpr uint64_t kHitAt = 100;      // into each tenth

class MainWindowHit : public ::testing::Test {
 protected:
  void SetUp() override {
    RunFlags.Reset();
    MyMidi.NoteOn0 = false;
    MyMidi.NoteOn1 = false;
    MyHit = TMyHit();
    port = midi.AddPort("Synth");
    TWindowBackends backends;
    backends.WaveIn = &wave_in;
    backends.MidiOut = &midi;
    backends.Sound = &sound;
    window =
        std::make_unique<TfmMain>(std::move(backends), dir.filePath("tocsin.ini").toStdString());
    ASSERT_TRUE(Pick(D().lstMidiOut, "Synth"));
  }
  void TearDown() override {
    window.reset();
    RunFlags.Reset();
    MyHit = TMyHit();
  }
  const TMainWindowDesign& D() const { return window->Design(); }

  struct TNote {
    bool on;
    uint8_t note;
    uint64_t frame;  // the frame sent with it; UINT64_MAX for the level road's
  };
  std::vector<TNote> Notes() const {
    std::vector<TNote> notes;
    for (const auto& m : midi.Sent(port))
      notes.push_back({(m.Bytes[0] & 0xF0) == 0x90, m.Bytes[1], m.Timed ? m.Frame : UINT64_MAX});
    return notes;
  }
  // Note-ons and note-offs of each key take turns, starting with a note-on; true when the last
  // of them is a note-off.
  static bool Alternate(const std::vector<TNote>& notes, bool ended) {
    std::map<uint8_t, bool> sounding;
    for (const TNote& n : notes) {
      if (n.on == sounding[n.note]) return false;
      sounding[n.note] = n.on;
    }
    for (const auto& [note, on] : sounding)
      if (ended && on) return false;
    return true;
  }

  QTemporaryDir dir;
  // Blocks are filled only as the test lets them, once Start has opened the MIDI port too: the
  // capture is switched on first, and a hit before the port opens would go nowhere.
  TVirtualWaveIn wave_in{{"Micro"}, TVirtualWaveIn::TPacing::kManual};
  TVirtualMidiOutService midi;
  TVirtualSoundService sound{SystemTickClock()};
  int32_t port = 0;
  std::unique_ptr<TfmMain> window;
};

TEST_F(MainWindowHit, EachHitOfAChannelInFrappeIsOneNoteAtItsFrameAndStopEndsTheLast) {
  // A loud single sample every tenth of a second on the left; the right stays silent.
  wave_in.SetSignal([](uint64_t frame, uint32_t channel) {
    return channel == 0 && frame % kHitEvery == kHitAt ? 16384 : 0;
  });
  ASSERT_TRUE(Pick(D().lstTocsinDetection[0], "Frappe"));
  D().edHit[TMainWindowDesign::kHitNoteLengthMs][0]->setValue(30);
  // The raw signal (no detection filter): the hits' first samples above are the frames named.
  D().edHit[TMainWindowDesign::kHitHighPassHz][0]->setValue(0);
  D().edHit[TMainWindowDesign::kHitLowPassHz][0]->setValue(0);
  EXPECT_TRUE(MyHit.HitDetection[0]);
  EXPECT_EQ(MyHit.Pad[0].NoteLengthMs, 30);
  EXPECT_EQ(MyHit.Pad[0].LowPassHz, 0);
  D().ActTriggerStart->trigger();
  ASSERT_TRUE(D().ActTriggerStop->isEnabled());
  wave_in.Deliver(1000);
  ASSERT_TRUE(PumpUntil([&] { return Notes().size() >= 40; }));
  D().ActTriggerStop->trigger();
  const auto notes = Notes();
  EXPECT_TRUE(Alternate(notes, true)) << "Stop leaves nothing sounding";
  uint64_t hit = kHitAt;
  for (const TNote& n : notes) {
    EXPECT_EQ(n.note, 60);
    if (!n.on) continue;
    EXPECT_EQ(n.frame, hit) << "one note-on per hit, at the hit's frame";
    hit += kHitEvery;
  }
  EXPECT_TRUE(PumpUntil([&] { return !D().ledLeftThres->Lit(); }));
}

TEST_F(MainWindowHit, SwitchingKindsWhileRunningNeitherDoublesNorLeavesANote) {
  // A steady tone on both sides, a burst every tenth of a second on the left.
  wave_in.SetSignal([](uint64_t frame, uint32_t channel) {
    if (channel == 1) return frame % 2 ? 8000 : -8000;
    return frame % kHitEvery < 50 ? (frame % 2 ? 20000 : -20000) : 0;
  });
  D().lstMidiOutNote[1]->setCurrentIndex(62);
  D().ActTriggerStart->trigger();
  wave_in.Deliver(100000);
  for (int round = 0; round < 6; ++round) {
    const size_t before = Notes().size();
    ASSERT_TRUE(PumpUntil([&] { return Notes().size() >= before + 4; }));
    for (int ch = 0; ch < 2; ++ch)
      ASSERT_TRUE(Pick(D().lstTocsinDetection[ch], round % 2 ? "Niveau" : "Frappe"));
  }
  D().ActTriggerStop->trigger();
  const auto notes = Notes();
  EXPECT_TRUE(Alternate(notes, true)) << "each key on, off, on, off, and off at the end";
  int hits = 0;
  for (const TNote& n : notes) hits += n.frame != UINT64_MAX;
  EXPECT_GT(hits, 0) << "hit detection fired in its rounds";
  EXPECT_LT(hits, static_cast<int>(notes.size())) << "the level road fired in its rounds";
}

}  // namespace
