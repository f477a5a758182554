// The window building its own capture chain on a virtual wave input: what the device records
// flows through the engine to the block handler, the notes and the level display.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>

#include "QtTestApp.h"
#include "frmMain.h"
#include "platform/SteadyClock.h"
#include "platform/virtual/VirtualMidiOutService.h"
#include "platform/virtual/VirtualSoundService.h"
#include "platform/virtual/VirtualWaveIn.h"

TEST(MainWindowEngine, CapturedBlocksBecomeNotesAndLevels) {
  RunFlags.Reset();
  MyMidi.NoteOn0 = false;
  MyMidi.NoteOn1 = false;
  QTemporaryDir dir;
  TVirtualWaveIn wave_in({"Micro virtuel"}, TVirtualWaveIn::TPacing::kManual);
  // Left at -20 dB (3277 of 32767), right silent.
  wave_in.SetSignal([](uint64_t frame, uint32_t channel) -> int32_t {
    return channel == 0 ? (frame % 2 ? -3277 : 3277) : 0;
  });
  TVirtualMidiOutService midi;
  midi.AddPort("Synth A");
  TVirtualSoundService sound(SystemTickClock());
  TWindowBackends backends;
  backends.WaveIn = &wave_in;
  backends.MidiOut = &midi;
  backends.Sound = &sound;
  TfmMain window(std::move(backends), dir.filePath("tocsin.ini").toStdString());
  const TMainWindowDesign& d = window.Design();
  EXPECT_EQ(d.lstInputDevices->itemText(0), "Default");
  EXPECT_EQ(d.lstInputDevices->itemText(1), "Micro virtuel");

  d.ActTriggerStart->trigger();
  ASSERT_TRUE(wave_in.DeviceOpen());
  EXPECT_EQ(wave_in.LastFormat().sample_rate, 44100u);
  EXPECT_EQ(wave_in.LastFormat().channels, 2u);
  wave_in.Deliver(3);
  ASSERT_TRUE(PumpUntil([&] { return midi.Bytes(0).size() >= 3; }));
  EXPECT_EQ(midi.Bytes(0), (std::vector<uint8_t>{0x90, 0x3C, 0x46}));
  ASSERT_TRUE(PumpUntil([&] { return d.lblLeftLevelInDb->text() != "-.--"; }));
  EXPECT_EQ(d.lblLeftLevelInDb->text().left(3), "-20");
  EXPECT_EQ(d.lblRightLevelInDb->text().left(3), "-90");
  EXPECT_TRUE(d.ledLeftThres->Lit());

  // Stop acknowledges through the next block; without one it waits its second.
  d.ActTriggerStop->trigger();
  EXPECT_FALSE(wave_in.DeviceOpen());
  EXPECT_EQ(d.lblLeftLevelInDb->text(), "-.--");
  EXPECT_TRUE(d.ActTriggerStart->isEnabled());
}
