// TfmMain: the event kind of each channel ("Note MIDI" or "Fichier son").
#include <QComboBox>
#include <QLineEdit>
#include <QCheckBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include "frmMain.h"

void TfmMain::rbStartMidiNoteClick(int channel) {
  try {
    if (devices_.Sounds) devices_.Sounds->StopChannelSound(channel);
  } catch (...) {
  }
  d_.lstMidiOutNote[channel]->setEnabled(d_.rbStartMidiNote[channel]->isChecked());
  d_.edAudioOutFileName[channel]->setEnabled(d_.rbStartAudioFile[channel]->isChecked());
  d_.btnAudioOutFileName[channel]->setEnabled(d_.rbStartAudioFile[channel]->isChecked());
}

void TfmMain::edAudioOutputTempDisabledDurationChange() {
  // The inhibition timers take the duration when the sound-file part is wired in.
}

void TfmMain::cbAudioOutputTempDisabledClick() {
  d_.edAudioOutputTempDisabledDuration->setEnabled(d_.cbAudioOutputTempDisabled->isChecked());
}
