// TfmMain: the settings pushed into the components and controls at creation. Until the settings
// file is merged, the window starts from the file's documented defaults.
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include "AppState.h"
#include "frmMain.h"

namespace {

// Selects the first entry equal to text, ignoring letter case; no selection when none is.
void SelectText(QComboBox* list, const QString& text) {
  list->setCurrentIndex(list->findText(text, Qt::MatchFixedString));
}

template <typename Step>
void Guarded(Step step) {
  try {
    step();
  } catch (...) {
  }
}

}  // namespace

void TfmMain::LoadSettings() {
  MyAudio.InputDeviceName = "Default";
  MyAudio.OutputDeviceName = "Default";
  MyAudio.LeftThres = -45;
  MyAudio.RightThres = -45;
  MyAudio.VolFollowAudioInLevel[0] = MyAudio.VolFollowAudioInLevel[1] = false;
  MyMidi.DeviceName.clear();
  MyMidi.VelFollowAudioInLevel[0] = MyMidi.VelFollowAudioInLevel[1] = true;
  MyMidi.Channel = 1;
  MyMidi.NoteName0 = "Do3";
  MyMidi.NoteName1 = "Do3";
  d_.rbStartMidiNote[0]->setChecked(true);
  d_.rbStartMidiNote[1]->setChecked(true);
  d_.edAudioOutputTempDisabledDuration->setValue(40);
  ApplySettings();
}

void TfmMain::ApplySettings() {
  ICaptureChain* capture = devices_.Capture.get();
  IAudioOutputDevice* output = devices_.Output.get();
  Guarded([&] {
    if (capture) capture->SetDeviceName(MyAudio.InputDeviceName);
  });
  Guarded([&] {
    if (capture) SelectText(d_.lstInputDevices, QString::fromStdString(capture->DeviceName()));
  });
  Guarded([&] {
    if (output) output->SetDeviceName(MyAudio.OutputDeviceName);
  });
  Guarded([&] {
    if (output) SelectText(d_.lstOutputDevices, QString::fromStdString(output->DeviceName()));
  });
  Guarded([&] {
    d_.lstAudioInputChannels->setCurrentIndex(1);
    if (capture) capture->SetChannels(AudioInParams.Channels);
  });
  Guarded([&] {
    SelectText(d_.lstAudioInputBufferSize, QString::number(AudioInParams.BufferSize));
    if (capture) capture->SetBufferSize(AudioInParams.BufferSize);
  });
  Guarded([&] {
    SelectText(d_.lstAudioInputSampleRate, QString::number(AudioInParams.SampleRate));
    if (capture) capture->SetSampleRate(AudioInParams.SampleRate);
  });
  Guarded([&] {
    SelectText(d_.lstAudioInputBits, QString::number(AudioInParams.Bits));
    if (capture) capture->SetBits(AudioInParams.Bits);
  });
  {
    // The boxes take the stored thresholds without running their change handler.
    QSignalBlocker left(d_.edTocsinThres[0]), right(d_.edTocsinThres[1]);
    d_.edTocsinThres[0]->setValue(static_cast<int>(MyAudio.LeftThres));
    d_.edTocsinThres[1]->setValue(static_cast<int>(MyAudio.RightThres));
  }
  rbStartMidiNoteClick(0);
  rbStartMidiNoteClick(1);
  d_.cbMidiOutVelFollowAudioInLevel->setChecked(MyMidi.VelFollowAudioInLevel[0]);
  d_.lstMidiOutChannel->setCurrentIndex(static_cast<int>(MyMidi.Channel) - 1);
  SelectText(d_.lstMidiOutNote[0], QString::fromStdString(MyMidi.NoteName0));
  SelectText(d_.lstMidiOutNote[1], QString::fromStdString(MyMidi.NoteName1));
  lstMidiOutNote0Change();
  const int port = d_.lstMidiOut->findText(QString::fromStdString(MyMidi.DeviceName),
                                           Qt::MatchFixedString);
  if (port >= 0 && !MyMidi.DeviceName.empty()) {
    d_.lstMidiOut->setCurrentIndex(port);
    Guarded([&] {
      if (devices_.Midi) devices_.Midi->SelectPort(MyMidi.DeviceName);
    });
  }
  d_.cbAudioOutVolFollowAudioInLevel->setChecked(MyAudio.VolFollowAudioInLevel[0]);
}
