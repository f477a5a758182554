// TfmMain: the MIDI port, channel and note lists, and opening and closing the port.
#include <QComboBox>

#include "AppState.h"
#include "NoteNames.h"
#include "frmMain.h"
#include "platform/MidiOutService.h"

namespace {
void Fill(QComboBox* list, const std::vector<std::string>& items) {
  list->clear();
  for (const std::string& item : items) list->addItem(QString::fromStdString(item));
  list->setCurrentIndex(-1);
}
}  // namespace

void TfmMain::InitMidi() {
  if (devices_.MidiOut) midi_output_ = CreateMidiOutput(*devices_.MidiOut, dispatcher_);
  MyMidi.Output = midi_output_.get();
  FillMidiPortList();
  FillMidiLists();
  lstMidiOutChange();
}

void TfmMain::FillMidiPortList() {
  const TMidiPortList ports = ::FillMidiPortList(MyMidi.Output, *midi_views_);
  Fill(d_.lstMidiOut, ports.Items);
  d_.lstMidiOut->setCurrentIndex(ports.Selected);
}

void TfmMain::FillMidiLists() {
  Fill(d_.lstMidiOutChannel, MidiChannelEntries());
  const std::vector<std::string> notes = NoteEntryNamesUtf8();
  Fill(d_.lstMidiOutNote[0], notes);
  Fill(d_.lstMidiOutNote[1], notes);
}

void TfmMain::lstMidiOutChange() {
  // Nothing may keep sounding on a port the window no longer sends to.
  if (note_trigger_) {
    note_trigger_->ReleaseNotes();
    note_trigger_->DropOwedNoteOffs();
  }
  const int index = d_.lstMidiOut->currentIndex();
  ::SelectMidiPort(MyMidi.Output, MyMidi,
                   index < 0 ? std::string() : d_.lstMidiOut->currentText().toStdString());
}

void TfmMain::lstMidiOutChannelChange() {
  MidiChannelChanged(MyMidi, d_.lstMidiOutChannel->currentIndex());
}

void TfmMain::lstMidiOutNote0Change() {
  auto text = [](QComboBox* list) {
    return list->currentIndex() < 0 ? std::string() : list->currentText().toStdString();
  };
  MyMidi.NoteName0 = text(d_.lstMidiOutNote[0]);
  MyMidi.NoteName1 = text(d_.lstMidiOutNote[1]);
}

bool TfmMain::SetMidiActive(bool open) {
  return ::SetMidiActive(MyMidi.Output, open, *midi_views_);
}
