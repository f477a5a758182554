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

void TfmMain::KeepAutoChosenMidiPort() {
  // No port stored yet: the window took the first one itself, and uses it. It is kept under its
  // name, so the next start finds that same port however the ports are ordered then.
  if (!MyMidi.Output || !MyMidi.DeviceName.empty() || d_.lstMidiOut->currentIndex() < 0) return;
  ::SelectMidiPort(MyMidi.Output, MyMidi, d_.lstMidiOut->currentText().toStdString());
}

void TfmMain::RefreshMidiPortList() {
  const TMidiPortList ports =
      ListMidiPorts(devices_.MidiOut, MyMidi.DeviceName,
                    d_.lstMidiOut->currentIndex() < 0 ? std::string()
                                                      : d_.lstMidiOut->currentText().toStdString());
  Fill(d_.lstMidiOut, ports.Items);
  d_.lstMidiOut->setCurrentIndex(ports.Selected);
  // A first port that came while nothing was chosen is taken as at creation; never while the
  // port is open.
  if (!RunFlags.Running) KeepAutoChosenMidiPort();
}

void TfmMain::StartMidi() {
  midi_awaited_.clear();
  // Channels that only play sounds need no MIDI port; notes a server's loss left sounding still
  // end on it.
  if (!MidiNeeded()) {
    EndOwedNotes();
    return;
  }
  // The server may number its ports anew: the chosen port is found again by its name.
  if (MyMidi.Output && !MyMidi.DeviceName.empty() &&
      !::SelectMidiPort(MyMidi.Output, MyMidi, MyMidi.DeviceName)) {
    // Gone for now: triggering starts without it, and the port opens once it is back.
    midi_awaited_ = MyMidi.DeviceName;
    midi_views_->SetMidiStateLight(false);
    ShowServerStatus(QString::fromUtf8("Port MIDI absent : ") +
                     QString::fromStdString(midi_awaited_));
    return;
  }
  if (SetMidiActive(true) && note_trigger_) note_trigger_->SendOwedNoteOffs();
}

bool TfmMain::OpenMidiPortNamed(const std::string& name) {
  if (!::SelectMidiPort(MyMidi.Output, MyMidi, name)) return false;
  try {
    MyMidi.Output->Open();
  } catch (...) {
    return false;
  }
  return true;
}

void TfmMain::OpenAwaitedMidiPort() {
  if (midi_awaited_.empty() || !RunFlags.Running || RunFlags.Closing || !MyMidi.Output) return;
  if (!OpenMidiPortNamed(midi_awaited_)) return;  // tried again at the next change of the ports
  const std::string name = midi_awaited_;
  midi_awaited_.clear();
  midi_views_->SetMidiStateLight(true);
  if (note_trigger_) note_trigger_->SendOwedNoteOffs();
  ShowServerStatus(QString::fromUtf8("Port MIDI connect\xC3\xA9 : ") +
                   QString::fromStdString(name));
}

void TfmMain::DeliverOwedNoteOffs() {
  // The notes the server's loss cut still sound at the synthesiser: when triggering is not to
  // start again (a restart's StartMidi ends them), they end now. A port not there yet is tried
  // again at the next change of the ports.
  if (RunFlags.Running || restart_pending_) return;
  EndOwedNotes();
}

void TfmMain::EndOwedNotes() {
  // The chosen port opens just long enough to end them: its close waits until they have gone
  // out.
  if (RunFlags.Closing || !note_trigger_ || !note_trigger_->OwesNoteOffs() || !MyMidi.Output ||
      MyMidi.DeviceName.empty())
    return;
  if (MyMidi.Output->State() == TMidiOutput::kStateOpen) return;
  if (!OpenMidiPortNamed(MyMidi.DeviceName)) return;
  note_trigger_->SendOwedNoteOffs();
  try {
    MyMidi.Output->Close();
  } catch (...) {
    // closed all the same
  }
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
