#include "MainSettingsView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <stdexcept>

#include "AppState.h"
#include "frmMain.h"
#include "midi/MidiOut.h"

QComboBox* TMainSettingsView::List(ESettingsList list) const {
  const TMainWindowDesign& d = w_.d_;
  switch (list) {
    case ESettingsList::InputDevices: return d.lstInputDevices;
    case ESettingsList::OutputDevices: return d.lstOutputDevices;
    case ESettingsList::AudioInputChannels: return d.lstAudioInputChannels;
    case ESettingsList::AudioInputBufferSize: return d.lstAudioInputBufferSize;
    case ESettingsList::AudioInputSampleRate: return d.lstAudioInputSampleRate;
    case ESettingsList::AudioInputBits: return d.lstAudioInputBits;
    case ESettingsList::MidiOutChannel: return d.lstMidiOutChannel;
    case ESettingsList::MidiOutNote0: return d.lstMidiOutNote[0];
    case ESettingsList::MidiOutNote1: return d.lstMidiOutNote[1];
    case ESettingsList::MidiOut: return d.lstMidiOut;
  }
  throw std::invalid_argument("unknown list");
}

std::vector<std::string> TMainSettingsView::ListEntries(ESettingsList list) const {
  QComboBox* box = List(list);
  std::vector<std::string> entries;
  entries.reserve(box->count());
  for (int i = 0; i < box->count(); ++i) entries.push_back(box->itemText(i).toStdString());
  return entries;
}

// Change handlers run on user picks only (activated), so selecting here runs none.
void TMainSettingsView::SelectListEntry(ESettingsList list, int index) {
  List(list)->setCurrentIndex(index);
}

void TMainSettingsView::SetCaptureDeviceName(const std::string& name) {
  if (ICaptureChain* c = w_.devices_.Capture.get()) c->SetDeviceName(name);
}
std::string TMainSettingsView::CaptureDeviceName() const {
  ICaptureChain* c = w_.devices_.Capture.get();
  return c ? c->DeviceName() : std::string();
}
void TMainSettingsView::SetOutputDeviceName(const std::string& name) {
  if (IAudioOutputDevice* o = w_.devices_.Output.get()) o->SetDeviceName(name);
}
std::string TMainSettingsView::OutputDeviceName() const {
  IAudioOutputDevice* o = w_.devices_.Output.get();
  return o ? o->DeviceName() : std::string();
}
void TMainSettingsView::SetCaptureChannels(uint16_t channels) {
  if (ICaptureChain* c = w_.devices_.Capture.get()) c->SetChannels(channels);
}
void TMainSettingsView::SetCaptureBufferSize(uint32_t frames) {
  if (ICaptureChain* c = w_.devices_.Capture.get()) c->SetBufferSize(frames);
}
void TMainSettingsView::SetCaptureSampleRate(uint32_t rate) {
  if (ICaptureChain* c = w_.devices_.Capture.get()) c->SetSampleRate(rate);
}
void TMainSettingsView::SetCaptureBits(uint16_t bits) {
  if (ICaptureChain* c = w_.devices_.Capture.get()) c->SetBits(bits);
}
void TMainSettingsView::SetMidiOutProductName(const std::string& name) {
  if (MyMidi.Output) MyMidi.Output->SetProductName(name);
}

bool TMainSettingsView::StartMidiNoteChecked(int channel) const {
  return w_.d_.rbStartMidiNote[channel]->isChecked();
}
void TMainSettingsView::CheckStartMidiNote(int channel, bool midi_note) {
  (midi_note ? w_.d_.rbStartMidiNote[channel] : w_.d_.rbStartAudioFile[channel])->setChecked(true);
}
std::string TMainSettingsView::AudioOutFileName(int channel) const {
  return w_.d_.edAudioOutFileName[channel]->text().toStdString();
}
void TMainSettingsView::SetAudioOutFileName(int channel, const std::string& file_name) {
  // textChanged runs the box's change handler, as typing would.
  w_.d_.edAudioOutFileName[channel]->setText(QString::fromStdString(file_name));
}
bool TMainSettingsView::MidiOutVelFollowChecked() const {
  return w_.d_.cbMidiOutVelFollowAudioInLevel->isChecked();
}
void TMainSettingsView::CheckMidiOutVelFollow(bool checked) {
  w_.d_.cbMidiOutVelFollowAudioInLevel->setChecked(checked);
}
bool TMainSettingsView::AudioOutVolFollowChecked() const {
  return w_.d_.cbAudioOutVolFollowAudioInLevel->isChecked();
}
void TMainSettingsView::CheckAudioOutVolFollow(bool checked) {
  w_.d_.cbAudioOutVolFollowAudioInLevel->setChecked(checked);
}
int TMainSettingsView::InhibitionDuration() const {
  return w_.d_.edAudioOutputTempDisabledDuration->value();
}
void TMainSettingsView::SetInhibitionDuration(int milliseconds) {
  w_.d_.edAudioOutputTempDisabledDuration->setValue(milliseconds);
}
void TMainSettingsView::SetThresholdBoxesQuietly(int left_db, int right_db) {
  QSignalBlocker left(w_.d_.edTocsinThres[0]), right(w_.d_.edTocsinThres[1]);
  w_.d_.edTocsinThres[0]->setValue(left_db);
  w_.d_.edTocsinThres[1]->setValue(right_db);
  // The block handler reads the boxes through the snapshot, which is not a change handler.
  w_.RefreshSnapshot();
}
void TMainSettingsView::RunEventKindClickHandlers() {
  w_.rbStartMidiNoteClick(0);
  w_.rbStartMidiNoteClick(1);
}
void TMainSettingsView::RunNoteListChangeHandler() { w_.lstMidiOutNote0Change(); }
void TMainSettingsView::RunInhibitionDurationChangeHandler() {
  w_.edAudioOutputTempDisabledDurationChange();
}
void TMainSettingsView::ShowHitSettings(const TMyHit& hit) { w_.ShowHitControls(hit); }
