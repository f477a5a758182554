// End to end on the private JACK server: the program's window on the real capture and MIDI
// back-ends. A test client plays a tone burst into Tocsin and records the MIDI it gets back.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>
#include <thread>

#include "JackTestClient.h"
#include "QtTestApp.h"
#include "frmMain.h"
#include "platform/rt/RtMidiOutService.h"
#include "platform/rt/RtMidiPortNames.h"
#include "platform/rt/RtWaveIn.h"
#include "platform/virtual/VirtualSoundService.h"
#include "platform/SteadyClock.h"

namespace {
constexpr int kTimeoutMs = 20000;  // a loaded machine may take a while to run a cycle

// Picks the entry named text as the user would, running the list's change handler.
bool Pick(QComboBox* list, const QString& text) {
  const int index = list->findText(text);
  if (index < 0) return false;
  list->setCurrentIndex(index);
  emit list->activated(index);
  return true;
}
}  // namespace

TEST(MainWindowJack, SoundAboveTheThresholdBecomesMidiNotesWithTheExactBytes) {
  JackTestClient client("tocsin_window_e2e");
  ASSERT_TRUE(client.Ok());
  RunFlags.Reset();
  MyMidi.NoteOn0 = false;
  MyMidi.NoteOn1 = false;
  QTemporaryDir dir;
  TRtWaveIn wave_in;
  TRtMidiOutService midi_out("tocsin_window_e2e_out");
  TVirtualSoundService sound(SystemTickClock());
  TWindowBackends backends;
  backends.WaveIn = &wave_in;
  backends.MidiOut = &midi_out;
  backends.Sound = &sound;
  TfmMain window(std::move(backends), dir.filePath("tocsin.ini").toStdString());
  const TMainWindowDesign& d = window.Design();

  ASSERT_TRUE(Pick(d.lstInputDevices, QString::fromStdString(client.Name())))
      << "the test client is offered as an input device";
  ASSERT_TRUE(Pick(d.lstMidiOut,
                   QString::fromStdString(CutUtf8(client.MidiInPort(), kMidiProductNameMax))));
  ASSERT_TRUE(Pick(d.lstAudioInputSampleRate, QString::number(client.SampleRate())));
  d.ActTriggerStart->trigger();
  ASSERT_TRUE(d.ActTriggerStop->isEnabled()) << "Start succeeded";
  ASSERT_TRUE(d.ledAudioInState->Lit());
  ASSERT_TRUE(d.LedMidiOutState->Lit());

  // Half a second at -20 dB on the left, silence on the right, and silence after.
  const uint32_t rate = client.SampleRate();
  std::vector<float> left(rate, 0.0f), right(rate, 0.0f);
  for (uint32_t i = 0; i < rate / 2; ++i) left[i] = (i % 2 ? -0.1f : 0.1f);
  ASSERT_TRUE(client.Play(left, right));
  ASSERT_TRUE(PumpUntil([&] { return client.MidiCount() >= 2; },
                        std::chrono::milliseconds(kTimeoutMs)));
  std::vector<std::vector<uint8_t>> got;
  for (const auto& ev : client.Midi()) got.push_back(ev.bytes);
  // Channel "1", note "Do3"; 0.1 of full scale is -20 dB: velocity 70 (46 hex).
  EXPECT_EQ(got, (std::vector<std::vector<uint8_t>>{{0x90, 0x3C, 0x46}, {0x80, 0x3C, 0x40}}));
  EXPECT_TRUE(PumpUntil([&] { return d.lblLeftLevelInDb->text() != "-.--"; }));

  d.ActTriggerStop->trigger();
  EXPECT_TRUE(d.ActTriggerStart->isEnabled());
  EXPECT_FALSE(d.ledAudioInState->Lit());
  EXPECT_EQ(d.lblLeftLevelInDb->text(), "-.--");
}
