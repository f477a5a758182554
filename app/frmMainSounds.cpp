// TfmMain: the event kind of each channel ("Note MIDI" or "Fichier son"), the sound files and
// the inhibition controls.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include "frmMain.h"

void TfmMain::rbStartMidiNoteClick(int channel) {
  const TStartModeControls enabled = sound_trigger_.StartModeClick(
      channel, d_.rbStartMidiNote[channel]->isChecked(), d_.rbStartAudioFile[channel]->isChecked());
  d_.lstMidiOutNote[channel]->setEnabled(enabled.NoteListEnabled);
  d_.edAudioOutFileName[channel]->setEnabled(enabled.FileBoxEnabled);
  d_.btnAudioOutFileName[channel]->setEnabled(enabled.FileBoxEnabled);
  OpenMidiWhileRunning();
}

void TfmMain::edAudioOutFileNameChange(int channel) {
  sound_trigger_.FileNameChange(channel, d_.edAudioOutFileName[channel]->text().toStdString());
}

void TfmMain::BrowseAudioOutFileName(int channel) {
  QFileDialog dialog(this, "Choisir le son de la " + QString(channel == 0 ? "voie gauche"
                                                                         : "voie droite"));
  // Qt's own dialog, which speaks French with the window whatever the desktop's language.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter("Fichiers audio Wave (*.wav)");
  dialog.setDefaultSuffix(kWaveDefaultExt);
  dialog.setDirectory(SoundFileFolder(channel));
  const QString current = d_.edAudioOutFileName[channel]->text();
  if (!current.isEmpty() && QFileInfo(current).isFile()) dialog.selectFile(current);
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    d_.edAudioOutFileName[channel]->setText(dialog.selectedFiles().first());
}

QString TfmMain::SoundFileFolder(int channel) const {
  // Where the channel's sound is, else the other channel's, else the user's home: never the
  // folder the program happened to be started from.
  for (int ch : {channel, 1 - channel}) {
    const QString name = d_.edAudioOutFileName[ch]->text();
    if (name.isEmpty()) continue;
    const QDir folder = QFileInfo(name).absoluteDir();
    if (folder.exists()) return folder.absolutePath();
  }
  return QDir::homePath();
}

void TfmMain::edAudioOutputTempDisabledDurationChange() {
  sound_trigger_.DurationChange(d_.edAudioOutputTempDisabledDuration->value());
}

void TfmMain::cbAudioOutputTempDisabledClick() {
  d_.edAudioOutputTempDisabledDuration->setEnabled(
      TSoundTrigger::DurationBoxEnabled(d_.cbAudioOutputTempDisabled->isChecked()));
}
