// The device, port, channel and note lists as creation fills them, and their change handlers.
#include <QFile>

#include "PickEntry.h"
#include "WindowFixture.h"

namespace {
QStringList Items(QComboBox* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->itemText(i);
  return out;
}
}  // namespace

TEST_F(WindowTest, InputListHasDefaultFirstAndIsEmptyWithoutDevices) {
  Make();
  EXPECT_EQ(Items(D().lstInputDevices), (QStringList{"Default", "Micro 1", "Ligne 2"}));
  EXPECT_EQ(D().lstInputDevices->currentIndex(), 0);
  window.reset();
  TWindowOptions none;
  none.inputs.clear();
  Make(none);
  EXPECT_EQ(D().lstInputDevices->count(), 0);
  EXPECT_EQ(D().lstInputDevices->currentIndex(), -1);
}

TEST_F(WindowTest, MidiPortListWithoutPortsShowsOnlyPortNonSpecifie) {
  TWindowOptions none;
  none.ports.clear();
  Make(none);
  EXPECT_EQ(Items(D().lstMidiOut), (QStringList{"Port non spécifié"}));
  EXPECT_EQ(D().lstMidiOut->currentIndex(), -1);
  EXPECT_EQ(MyMidi.DeviceName, "");
}

TEST_F(WindowTest, MidiPortListSelectsTheFirstPortWhichIsSavedUnderItsName) {
  Make();
  EXPECT_EQ(Items(D().lstMidiOut), (QStringList{"Synth A", "Synth B"}));
  EXPECT_EQ(D().lstMidiOut->currentIndex(), 0);
  EXPECT_EQ(SelectedPort(), "Synth A");
  // The port used is the one the next start must find, wherever the list puts it then.
  EXPECT_EQ(MyMidi.DeviceName, "Synth A");
  window->close();
  QFile file(QString::fromStdString(IniPath()));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(QString::fromUtf8(file.readAll()).split('\n').contains("MidiOutDeviceName=Synth A"));
}

TEST_F(WindowTest, TheListsFollowTheServersPortsAndKeepTheChoice) {
  Make();
  ASSERT_TRUE(Pick(D().lstMidiOut, "Synth B"));
  ASSERT_TRUE(Pick(D().lstInputDevices, "Ligne 2"));
  D().ActTriggerStart->trigger();
  // A synthesiser and an input come while triggering runs, another input goes; told from a
  // back-end thread, as the JACK client does.
  midi.AddPort("Synth C");
  capture_->SetDeviceNames({"Ligne 2", "Batterie"});
  std::thread([&] { server.Change(TServerChange::kPorts); }).join();
  ASSERT_TRUE(PumpUntil([&] { return D().lstMidiOut->count() == 3; }));
  EXPECT_EQ(Items(D().lstMidiOut), (QStringList{"Synth A", "Synth B", "Synth C"}));
  EXPECT_EQ(D().lstMidiOut->currentText(), "Synth B");
  EXPECT_EQ(Items(D().lstInputDevices), (QStringList{"Default", "Ligne 2", "Batterie"}));
  EXPECT_EQ(D().lstInputDevices->currentText(), "Ligne 2");
  EXPECT_TRUE(RunFlags.Running) << "nothing else changes";
  EXPECT_EQ(SelectedPort(), "Synth B");
  // The chosen input goes: no entry is shown for it, and the choice is kept for its return.
  capture_->SetDeviceNames({"Batterie"});
  server.Change(TServerChange::kPorts);
  ASSERT_TRUE(PumpUntil([&] { return D().lstInputDevices->count() == 2; }));
  EXPECT_EQ(D().lstInputDevices->currentIndex(), -1);
  EXPECT_EQ(MyAudio.InputDeviceName, "Ligne 2");
}

TEST_F(WindowTest, ChannelAndNoteListsHoldTheirEntries) {
  Make();
  ASSERT_EQ(D().lstMidiOutChannel->count(), 16);
  EXPECT_EQ(D().lstMidiOutChannel->itemText(0), "1");
  EXPECT_EQ(D().lstMidiOutChannel->itemText(15), "16");
  for (QComboBox* list : D().lstMidiOutNote) {
    ASSERT_EQ(list->count(), 132);
    EXPECT_EQ(list->itemText(0), "Do-2");
    EXPECT_EQ(list->itemText(2), "Ré-2");
    EXPECT_EQ(list->itemText(60), "Do3");
    EXPECT_EQ(list->itemText(127), "Sol8");
    EXPECT_EQ(list->itemText(131), "Si8");
  }
}

TEST_F(WindowTest, PickingABufferSizeSetsTheCaptureFormatAndTheRecord) {
  Make();
  QComboBox* list = D().lstAudioInputBufferSize;
  EXPECT_EQ(list->currentText(), "1024");
  list->setCurrentIndex(list->findText("8192"));
  emit list->activated(list->currentIndex());
  EXPECT_EQ(log.Take(), (std::vector<std::string>{"buffer 8192"}));
  EXPECT_EQ(AudioInParams.BufferSize, 8192u);
  // A selection set from code runs no handler.
  list->setCurrentIndex(0);
  EXPECT_TRUE(log.Take().empty());
  EXPECT_EQ(AudioInParams.BufferSize, 8192u);
}

TEST_F(WindowTest, PickingAnInputDeviceStoresItsName) {
  Make();
  QComboBox* list = D().lstInputDevices;
  list->setCurrentIndex(2);
  emit list->activated(2);
  EXPECT_EQ(capture_->DeviceName(), "Ligne 2");
  EXPECT_EQ(MyAudio.InputDeviceName, "Ligne 2");
}

TEST_F(WindowTest, APortTheOutputRefusesKeepsTheStoredName) {
  Make();
  QComboBox* list = D().lstMidiOut;
  list->setCurrentIndex(1);
  emit list->activated(1);
  EXPECT_EQ(MyMidi.DeviceName, "Synth B");
  EXPECT_EQ(SelectedPort(), "Synth B");
  list->addItem("Inconnu");
  list->setCurrentIndex(2);
  emit list->activated(2);
  EXPECT_EQ(MyMidi.DeviceName, "Synth B");
  EXPECT_EQ(SelectedPort(), "Synth B");
}

TEST_F(WindowTest, NoteListChangesStoreBothNames) {
  Make();
  D().lstMidiOutNote[1]->setCurrentIndex(62);
  emit D().lstMidiOutNote[1]->activated(62);
  EXPECT_EQ(MyMidi.NoteName0, "Do3");
  EXPECT_EQ(MyMidi.NoteName1, "Ré3");
}
