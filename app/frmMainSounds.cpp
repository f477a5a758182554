// TfmMain: the event kind of each channel ("Note MIDI" or "Fichier son"), the sound files and
// the inhibition controls.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
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
}

void TfmMain::edAudioOutFileNameChange(int channel) {
  sound_trigger_.FileNameChange(channel, d_.edAudioOutFileName[channel]->text().toStdString());
}

void TfmMain::BrowseAudioOutFileName(int channel) {
  QFileDialog dialog(this);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter("Fichiers audio Wave (*.wav)");
  dialog.setDefaultSuffix(kWaveDefaultExt);
  const QString current = d_.edAudioOutFileName[channel]->text();
  if (!current.isEmpty()) dialog.selectFile(current);
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    d_.edAudioOutFileName[channel]->setText(dialog.selectedFiles().first());
}

void TfmMain::edAudioOutputTempDisabledDurationChange() {
  sound_trigger_.DurationChange(d_.edAudioOutputTempDisabledDuration->value());
}

void TfmMain::cbAudioOutputTempDisabledClick() {
  d_.edAudioOutputTempDisabledDuration->setEnabled(
      TSoundTrigger::DurationBoxEnabled(d_.cbAudioOutputTempDisabled->isChecked()));
}
