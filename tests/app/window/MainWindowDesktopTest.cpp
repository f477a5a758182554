// The window on a desktop: the sound system and its rate in the status bar's second panel (a
// first start takes the server's rate), a Start that needs no MIDI port while both channels play
// sounds, Enter on a focused button, and the sound file dialog opening where the sound is.
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "PickEntry.h"
#include "WindowFixture.h"

namespace {
TAudioSystemInfo Jack(uint32_t rate, uint32_t period) {
  return TAudioSystemInfo{"JACK", rate, period};
}
void WriteFile(const QString& path, const char* text) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(text);
}
}  // namespace

TEST_F(WindowTest, TheStatusBarSaysWhichSoundSystemAndWhetherTheRateIsConverted) {
  TWindowOptions o;
  o.system = Jack(48000, 256);
  Make(o);
  // No stored rate: the server's own, so nothing is converted.
  EXPECT_EQ(AudioInParams.SampleRate, 48000u);
  EXPECT_EQ(D().lstAudioInputSampleRate->currentText(), "48000");
  EXPECT_EQ(D().StatusPanel[1]->text(), "JACK 48000 Hz / 256");
  EXPECT_LE(D().StatusPanel[0]->width() + D().StatusPanel[1]->width(), kMainClientWidth);
  window.reset();

  WriteFile(QString::fromStdString(IniPath()), "[Main]\nAudioInputSampleRate=44100\n");
  o.system = Jack(88200, 1024);
  Make(o);
  EXPECT_EQ(AudioInParams.SampleRate, 44100u) << "a stored rate still wins";
  EXPECT_EQ(D().StatusPanel[1]->text(), "JACK 88200 Hz / 1024 → 44100 Hz");
  EXPECT_TRUE(D().StatusPanel[1]->toolTip().contains("convertie en 44100 Hz"));
  EXPECT_LE(D().StatusPanel[0]->width() + D().StatusPanel[1]->width(), kMainClientWidth - 10)
      << "both panels fit the fixed window";
  EXPECT_GE(D().lstAudioInputSampleRate->findText("88200"), 0) << "the server's rate is offered";
  // Picking the server's rate ends the conversion.
  D().lstAudioInputSampleRate->setCurrentIndex(D().lstAudioInputSampleRate->findText("88200"));
  emit D().lstAudioInputSampleRate->activated(D().lstAudioInputSampleRate->currentIndex());
  EXPECT_EQ(D().StatusPanel[1]->text(), "JACK 88200 Hz / 1024");
  window.reset();

  o.system = TAudioSystemInfo{"ALSA", 0, 0};
  Make(o);
  EXPECT_EQ(D().StatusPanel[1]->text(), "ALSA");
  EXPECT_EQ(AudioInParams.SampleRate, 44100u);
  window.reset();

  o.system = TAudioSystemInfo{};
  Make(o);
  EXPECT_EQ(D().StatusPanel[1]->text(), "Aucun");
  EXPECT_EQ(D().StatusPanel[0]->text(), "Aucun système audio : ni serveur JACK ni carte son");
}

TEST_F(WindowTest, SoundsAloneStartWithoutAMidiPortAndANoteChannelOpensItWhenChosen) {
  TWindowOptions o;
  o.ports = {};  // no MIDI port at all
  Make(o);
  for (int ch = 0; ch < 2; ++ch) D().rbStartAudioFile[ch]->click();
  D().ActTriggerStart->trigger();
  EXPECT_TRUE(errors.empty()) << errors.front().toStdString();
  EXPECT_TRUE(RunFlags.Running);
  EXPECT_TRUE(capture_->Running());
  EXPECT_FALSE(D().LedMidiOutState->Lit());

  // A channel switched to notes while running needs the port now: its refusal is said.
  D().rbStartMidiNote[0]->click();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(RunFlags.Running) << "the sounds go on";
  D().ActTriggerStop->trigger();
  errors.clear();

  // With both channels on notes, Start needs the port as before.
  D().ActTriggerStart->trigger();
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_FALSE(RunFlags.Running);
  errors.clear();

  // The same in "Frappe": sounds on each hit need no port, notes on each hit do.
  for (int ch = 0; ch < 2; ++ch) {
    ASSERT_TRUE(Pick(D().lstTocsinDetection[ch], "Frappe"));
    D().rbStartAudioFile[ch]->click();
  }
  D().ActTriggerStart->trigger();
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(RunFlags.Running);
  D().ActTriggerStop->trigger();
  D().rbStartMidiNote[1]->click();
  D().ActTriggerStart->trigger();
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_FALSE(RunFlags.Running);
  MyHit = TMyHit();
}

TEST_F(WindowTest, ANoteChannelChosenWhileSoundsRunOpensTheMidiPort) {
  Make();
  for (int ch = 0; ch < 2; ++ch) D().rbStartAudioFile[ch]->click();
  D().ActTriggerStart->trigger();
  ASSERT_TRUE(RunFlags.Running);
  auto opened = [&] {
    const auto entries = log.Take();  // a channel leaving its sound also stops it
    return std::count(entries.begin(), entries.end(), "midi open Synth A");
  };
  opened();
  D().rbStartMidiNote[1]->click();
  EXPECT_EQ(opened(), 1);
  EXPECT_TRUE(D().LedMidiOutState->Lit());
  D().rbStartMidiNote[0]->click();  // already open: nothing more
  EXPECT_EQ(opened(), 0);
}

TEST_F(WindowTest, EnterClicksTheFocusedButton) {
  Make();
  window->show();
  ASSERT_TRUE(PumpUntil([&] { return window->isVisible(); }));
  D().Button1->setFocus();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(D().Button1, &enter);
  EXPECT_TRUE(PumpUntil([] { return RunFlags.Running.load(); }));
  QKeyEvent space_like(QEvent::KeyPress, Qt::Key_Enter, Qt::KeypadModifier);
  QApplication::sendEvent(D().Button2, &space_like);
  EXPECT_TRUE(PumpUntil([] { return !RunFlags.Running.load(); }));
}

TEST_F(WindowTest, TheSoundDialogOpensWhereTheChannelsSoundIs) {
  Make();
  const QString folder = ini_dir.filePath("sons");
  ASSERT_TRUE(QDir().mkpath(folder));
  WriteFile(folder + "/kick.wav", "RIFF");
  D().rbStartAudioFile[1]->click();
  auto browse = [&](int channel) {
    QString opened_in, selected;
    QTimer::singleShot(50, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible()) {
          opened_in = dialog->directory().absolutePath();
          selected = dialog->selectedFiles().value(0);
          dialog->reject();
        }
      }
    });
    D().btnAudioOutFileName[channel]->setEnabled(true);
    D().btnAudioOutFileName[channel]->click();
    return std::make_pair(opened_in, selected);
  };
  EXPECT_EQ(browse(1).first, QDir::homePath()) << "no sound yet: the home folder";
  D().edAudioOutFileName[1]->setText(folder + "/kick.wav");
  const auto [opened_in, selected] = browse(1);
  EXPECT_EQ(opened_in, folder);
  EXPECT_EQ(selected, folder + "/kick.wav");
  EXPECT_EQ(browse(0).first, folder) << "the other channel's folder when this one has none";
}

TEST_F(WindowTest, OnJackdTheSystemCaptureIsTheDefaultInputListedOnce) {
  WriteFile(QString::fromStdString(IniPath()), "[Main]\nAudioInputDeviceName=system\n");
  TWindowOptions o;
  o.inputs = {};  // the server's only outputs are the physical capture's
  o.default_input_alias = "system";
  Make(o);
  ASSERT_EQ(D().lstInputDevices->count(), 1);
  EXPECT_EQ(D().lstInputDevices->currentText(), "Default");
  EXPECT_EQ(MyAudio.InputDeviceName, "Default") << "a stored \"system\" is that default";
  EXPECT_EQ(capture_->DeviceName(), "Default");
}
