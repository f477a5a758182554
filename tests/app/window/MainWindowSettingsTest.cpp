// The settings file as the window reads it at creation and writes it at close.
#include <QFile>
#include <QRadioButton>

#include "WindowFixture.h"

namespace {
void WriteFile(const std::string& path, const char* text) {
  QFile f(QString::fromStdString(path));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(text);
}
QString ReadFile(const std::string& path) {
  QFile f(QString::fromStdString(path));
  return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}
}  // namespace

TEST_F(WindowTest, StoredSettingsLandInTheControlsAndTheComponents) {
  WriteFile(IniPath(),
            "[Main]\r\nAudioInputDeviceName=Ligne 2\r\nAudioInputBufferSize=256\r\n"
            "TocsinLeftThres=-30\r\nTocsinStartMidiNote1=0\r\nMidiOutDeviceName=Synth B\r\n"
            "MidiOutChannel=16\r\nMidiOutNote0=R\xE9" "3\r\n");
  Make();
  EXPECT_EQ(D().lstInputDevices->currentText(), "Ligne 2");
  EXPECT_EQ(capture_->DeviceName(), "Ligne 2");
  EXPECT_EQ(D().lstAudioInputBufferSize->currentText(), "256");
  EXPECT_EQ(AudioInParams.BufferSize, 256u);
  EXPECT_EQ(D().edTocsinThres[0]->value(), -30);
  EXPECT_EQ(window->Snapshot().Thres[0].load(), -30);
  EXPECT_EQ(D().scTocsinLeftThres->Position(), -30.0f);
  EXPECT_TRUE(D().rbStartAudioFile[1]->isChecked());
  EXPECT_FALSE(D().lstMidiOutNote[1]->isEnabled());
  EXPECT_TRUE(window->Snapshot().StartAudioFile[1].load());
  EXPECT_EQ(D().lstMidiOut->currentText(), "Synth B");
  EXPECT_EQ(SelectedPort(), "Synth B");
  EXPECT_EQ(D().lstMidiOutChannel->currentText(), "16");
  EXPECT_EQ(window->Snapshot().MidiChannelIndex.load(), 15);
  EXPECT_EQ(D().lstMidiOutNote[0]->currentText(), "Ré3");
  EXPECT_EQ(window->Snapshot().NoteIndex[0].load(), 62);
}

TEST_F(WindowTest, ClosingSavesTheSettings) {
  Make();
  D().edTocsinThres[1]->setValue(-12);
  window->close();
  const QString saved = ReadFile(IniPath());
  EXPECT_TRUE(saved.contains("TocsinRightThres=-12")) << saved.toStdString();
  EXPECT_TRUE(saved.contains("MidiOutNote0=Do3")) << saved.toStdString();
  EXPECT_TRUE(saved.contains("AudioInputDeviceName=Default")) << saved.toStdString();
}

TEST_F(WindowTest, ASettingsFileThatCannotBeWrittenIsReportedAndTheWindowStillCloses) {
  Make();
  // A folder where the file should be: nothing can replace it.
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(IniPath())));
  EXPECT_TRUE(window->close());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].startsWith("Impossible d'écrire dans ")) << errors[0].toStdString();
  EXPECT_TRUE(errors[0].contains(QString::fromStdString(IniPath())));
}

TEST_F(WindowTest, TheFirstCloseMakesTheFolderOfAPerUserSettingsFile) {
  ini_name = "config/tocsin/tocsin.ini";
  Make();
  EXPECT_TRUE(window->close());
  EXPECT_TRUE(errors.empty()) << errors.front().toStdString();
  EXPECT_TRUE(ReadFile(IniPath()).startsWith("[Main]\nAudioInputDeviceName=Default\n"))
      << ReadFile(IniPath()).toStdString();
}
