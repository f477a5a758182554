// TfmMain: the wiring of controls to their handlers, and the control snapshot the capture thread
// reads. Change handlers run on user picks only (a selection set from code runs none); the
// snapshot follows every change, whoever made it.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QToolButton>
#include <QRadioButton>
#include <QSpinBox>

#include "AppState.h"
#include "frmMain.h"

void TfmMain::ConnectHandlers() {
  connect(d_.ActAppClose, &QAction::triggered, this, &QWidget::close);
  connect(d_.ActTriggerStart, &QAction::triggered, this, [this] { ActTriggerStartExecute(); });
  connect(d_.ActTriggerStop, &QAction::triggered, this, [this] { ActTriggerStopExecute(); });
  connect(d_.ActAppAbout, &QAction::triggered, this, [this] { ActAppAboutExecute(); });
  connect(&TimerMidiOut, &QTimer::timeout, this, [this] { TimerMidiOutTimer(*midi_views_); });

  connect(d_.lstInputDevices, &QComboBox::activated, this, [this] { lstInputDevicesChange(); });
  connect(d_.lstOutputDevices, &QComboBox::activated, this, [this] { lstOutputDevicesChange(); });
  connect(d_.lstAudioInputChannels, &QComboBox::activated, this,
          [this] { lstAudioInputChannelsChange(); });
  connect(d_.lstAudioInputBufferSize, &QComboBox::activated, this, [this] {
    lstAudioInputFormatChange(d_.lstAudioInputBufferSize, &ICaptureChain::SetBufferSize,
                              [](uint32_t v) { AudioInParams.BufferSize = v; });
  });
  connect(d_.lstAudioInputSampleRate, &QComboBox::activated, this, [this] {
    lstAudioInputFormatChange(d_.lstAudioInputSampleRate, &ICaptureChain::SetSampleRate,
                              [](uint32_t v) { AudioInParams.SampleRate = v; });
  });
  // The status bar says whether the chosen rate is converted from the server's.
  connect(d_.lstAudioInputSampleRate, &QComboBox::activated, this, [this] { ShowAudioSystem(); });
  connect(d_.lstAudioInputBits, &QComboBox::activated, this, [this] {
    lstAudioInputFormatChange(d_.lstAudioInputBits, &ICaptureChain::SetBits,
                              [](uint32_t v) { AudioInParams.Bits = static_cast<uint16_t>(v); });
  });

  connect(d_.lstMidiOut, &QComboBox::activated, this, [this] { lstMidiOutChange(); });
  connect(d_.lstMidiOutChannel, &QComboBox::activated, this, [this] { lstMidiOutChannelChange(); });
  for (int ch = 0; ch < 2; ++ch) {
    connect(d_.edTocsinThres[ch], &QSpinBox::valueChanged, this,
            [this] { edTocsinLeftThresChange(); });
    connect(d_.lstMidiOutNote[ch], &QComboBox::activated, this, [this] { lstMidiOutNote0Change(); });
    connect(d_.rbStartMidiNote[ch], &QRadioButton::clicked, this,
            [this, ch] { rbStartMidiNoteClick(ch); });
    connect(d_.rbStartAudioFile[ch], &QRadioButton::clicked, this,
            [this, ch] { rbStartMidiNoteClick(ch); });
    connect(d_.edAudioOutFileName[ch], &QLineEdit::textChanged, this,
            [this, ch] { edAudioOutFileNameChange(ch); });
    connect(d_.btnAudioOutFileName[ch], &QToolButton::clicked, this,
            [this, ch] { BrowseAudioOutFileName(ch); });
  }

  connect(d_.cbAudioOutputTempDisabled, &QCheckBox::clicked, this,
          [this] { cbAudioOutputTempDisabledClick(); });
  connect(d_.edAudioOutputTempDisabledDuration, &QSpinBox::valueChanged, this,
          [this] { edAudioOutputTempDisabledDurationChange(); });

  // The snapshot follows every change of a control the block handler reads.
  auto refresh = [this] { RefreshSnapshot(); };
  for (int ch = 0; ch < 2; ++ch) {
    connect(d_.edTocsinThres[ch], &QSpinBox::valueChanged, this, refresh);
    connect(d_.rbStartMidiNote[ch], &QRadioButton::toggled, this, refresh);
    connect(d_.rbStartAudioFile[ch], &QRadioButton::toggled, this, refresh);
    connect(d_.lstMidiOutNote[ch], &QComboBox::currentIndexChanged, this, refresh);
  }
  connect(d_.cbMidiOutVelFollowAudioInLevel, &QCheckBox::toggled, this, refresh);
  connect(d_.cbAudioOutVolFollowAudioInLevel, &QCheckBox::toggled, this, refresh);
  connect(d_.lstMidiOutChannel, &QComboBox::currentIndexChanged, this, refresh);
  ConnectHitHandlers();
}

void TfmMain::RefreshSnapshot() {
  for (int ch = 0; ch < 2; ++ch) {
    snapshot_.Thres[ch].store(d_.edTocsinThres[ch]->value(), std::memory_order_relaxed);
    snapshot_.StartMidiNote[ch].store(d_.rbStartMidiNote[ch]->isChecked(),
                                      std::memory_order_relaxed);
    snapshot_.StartAudioFile[ch].store(d_.rbStartAudioFile[ch]->isChecked(),
                                       std::memory_order_relaxed);
    snapshot_.NoteIndex[ch].store(d_.lstMidiOutNote[ch]->currentIndex(), std::memory_order_relaxed);
  }
  snapshot_.MidiVelFollowLevel.store(d_.cbMidiOutVelFollowAudioInLevel->isChecked(),
                                     std::memory_order_relaxed);
  snapshot_.AudioVolFollowLevel.store(d_.cbAudioOutVolFollowAudioInLevel->isChecked(),
                                      std::memory_order_relaxed);
  snapshot_.MidiChannelIndex.store(d_.lstMidiOutChannel->currentIndex(), std::memory_order_relaxed);
  for (int ch = 0; ch < 2; ++ch)
    snapshot_.HitDetection[ch].store(MyHit.HitDetection[ch], std::memory_order_relaxed);
  // Hit detection reads the shared controls too: it gets them whole, with its own.
  PublishHitSettings();
}
