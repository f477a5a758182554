// TfmMain: the MIDI port, channel and note lists, opening and closing the port, the activity light.
#include <QComboBox>

#include "AppState.h"
#include "BusyCursor.h"
#include "frmMain.h"

namespace {

// The 132 note names, Do-2 to Si8; the entry's index is the MIDI note number.
// (Stand-in until the MIDI note triggering's own list is merged.)
QStringList NoteNameList() {
  static const char* const kNames[12] = {"Do",  "Do#", "Ré",   "Ré#", "Mi",  "Fa",
                                         "Fa#", "Sol", "Sol#", "La",  "La#", "Si"};
  QStringList names;
  for (int octave = -2; octave <= 8; ++octave)
    for (const char* name : kNames) names << QString::fromUtf8(name) + QString::number(octave);
  return names;
}

}  // namespace

void TfmMain::InitMidi() {
  FillMidiPortList();
  FillMidiLists();
  lstMidiOutChange();
}

void TfmMain::FillMidiPortList() {
  QComboBox* list = d_.lstMidiOut;
  list->clear();
  list->addItem("Port non spécifié");
  std::vector<std::string> names;
  {
    TBusyCursor busy;
    try {
      if (devices_.Midi) names = devices_.Midi->PortNames();
    } catch (...) {
      names.clear();
    }
  }
  if (!names.empty()) {
    list->clear();
    for (const std::string& name : names) list->addItem(QString::fromStdString(name));
    list->setCurrentIndex(0);
  } else {
    list->setCurrentIndex(-1);
  }
}

void TfmMain::FillMidiLists() {
  d_.lstMidiOutChannel->clear();
  for (int channel = 1; channel <= 16; ++channel)
    d_.lstMidiOutChannel->addItem(QString::number(channel));
  d_.lstMidiOutChannel->setCurrentIndex(-1);
  const QStringList notes = NoteNameList();
  for (QComboBox* list : d_.lstMidiOutNote) {
    list->clear();
    list->addItems(notes);
    list->setCurrentIndex(-1);
  }
}

void TfmMain::lstMidiOutChange() {
  const int index = d_.lstMidiOut->currentIndex();
  SelectMidiPort(index < 0 ? std::string() : d_.lstMidiOut->currentText().toStdString());
}

void TfmMain::SelectMidiPort(const std::string& name) {
  try {
    if (!devices_.Midi) return;
    devices_.Midi->SelectPort(name);
    MyMidi.DeviceName = name;
  } catch (...) {
    // the port stays as it was and DeviceName keeps the name last accepted
  }
}

void TfmMain::lstMidiOutChannelChange() {
  MyMidi.Channel = static_cast<uint8_t>(d_.lstMidiOutChannel->currentIndex() + 1);
}

void TfmMain::lstMidiOutNote0Change() {
  auto text = [](QComboBox* list) {
    return list->currentIndex() < 0 ? std::string() : list->currentText().toStdString();
  };
  MyMidi.NoteName0 = text(d_.lstMidiOutNote[0]);
  MyMidi.NoteName1 = text(d_.lstMidiOutNote[1]);
}

bool TfmMain::SetMidiActive(bool open) {
  try {
    d_.LedMidiOutState->SetLit(false);
  } catch (...) {
  }
  TBusyCursor busy;
  if (open) {
    if (devices_.Midi) devices_.Midi->Open();
    Wait(200, true);
    d_.LedMidiOutState->SetLit(devices_.Midi != nullptr);
    return true;
  }
  if (devices_.Midi) devices_.Midi->Close();
  d_.LedMidiOutState->SetLit(false);
  return false;
}
