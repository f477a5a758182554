// The port list, port selection by name, Start/Stop opening and closing, and the channel list.
#include <gtest/gtest.h>

#include "MidiPortControl.h"
#include "MidiTestViews.h"
#include "midi/MidiOut.h"
#include "platform/virtual/LoopDispatcher.h"
#include "platform/virtual/VirtualMidiOutService.h"

namespace {
class MidiPortControlTest : public ::testing::Test {
 protected:
  TVirtualMidiOutService service;
  TLoopDispatcher dispatcher;
  RecordingMidiView view;
  TMyMidi midi;
};
}  // namespace

TEST_F(MidiPortControlTest, WithoutPortsTheListSaysSoAndSelectsNothing) {
  auto out = CreateMidiOutput(service, dispatcher);
  ASSERT_NE(out, nullptr);
  const TMidiPortList list = FillMidiPortList(out.get(), view);
  EXPECT_EQ(list.Items, (std::vector<std::string>{"Port non sp\xC3\xA9" "cifi\xC3\xA9"}));
  EXPECT_EQ(list.Selected, -1);
  EXPECT_TRUE(out->Onmidioutput);

  // The change event with nothing selected passes an empty name.
  midi.DeviceName = "Stored";
  SelectMidiPort(out.get(), midi, "");
  EXPECT_EQ(midi.DeviceName, "Stored");

  const TMidiPortList none = FillMidiPortList(nullptr, view);
  EXPECT_EQ(none.Items.size(), 1u);
  EXPECT_EQ(none.Selected, -1);
}

TEST_F(MidiPortControlTest, PortsAreListedInNumberOrderWithTheFirstSelected) {
  service.AddPort("Alpha");
  service.AddPort("Beta");
  auto out = CreateMidiOutput(service, dispatcher);
  const TMidiPortList list = FillMidiPortList(out.get(), view);
  EXPECT_EQ(list.Items, (std::vector<std::string>{"Alpha", "Beta"}));
  EXPECT_EQ(list.Selected, 0);
  EXPECT_EQ(view.Calls(), (std::vector<std::string>{"busy", "restore"}));
}

TEST_F(MidiPortControlTest, PortsThatCannotBeQueriedAreLeftOut) {
  service.AddPort("Alpha");
  auto out = CreateMidiOutput(service, dispatcher);
  service.FailCall(TMidiOutCall::GetDevCaps, kMidiErrNoDevice);
  const TMidiPortList list = FillMidiPortList(out.get(), view);
  EXPECT_EQ(list.Selected, -1);
  EXPECT_EQ(list.Items.size(), 1u);
  EXPECT_EQ(view.Calls().back(), "restore");
}

TEST_F(MidiPortControlTest, SelectingAPortByName) {
  service.AddPort("Alpha");
  service.AddPort("Beta");
  auto out = CreateMidiOutput(service, dispatcher);
  FillMidiPortList(out.get(), view);
  SelectMidiPort(out.get(), midi, "Alpha");
  EXPECT_EQ(midi.DeviceName, "Alpha");
  EXPECT_EQ(out->DeviceID(), 0);

  // A stored name that is not installed: the output stays on its port, the name is kept.
  midi.DeviceName = "Gone";
  SelectMidiPort(out.get(), midi, "Gone");
  EXPECT_EQ(midi.DeviceName, "Gone");
  EXPECT_EQ(out->DeviceID(), 0);
  EXPECT_EQ(out->ProductName(), "Alpha");

  SelectMidiPort(nullptr, midi, "Beta");
  EXPECT_EQ(midi.DeviceName, "Gone");
}

TEST_F(MidiPortControlTest, StartOpensAndStopCloses) {
  const int32_t port = service.AddPort("Alpha");
  auto out = CreateMidiOutput(service, dispatcher);
  SelectMidiPort(out.get(), midi, "Alpha");

  EXPECT_TRUE(SetMidiActive(out.get(), true, view));
  EXPECT_TRUE(service.IsOpen(port));
  EXPECT_EQ(view.Calls(),
            (std::vector<std::string>{"state off", "busy", "wait 200", "state on", "restore"}));
  view.Clear();
  EXPECT_FALSE(SetMidiActive(out.get(), false, view));
  EXPECT_FALSE(service.IsOpen(port));
  EXPECT_EQ(view.Calls(), (std::vector<std::string>{"state off", "busy", "state off", "restore"}));
}

TEST_F(MidiPortControlTest, OpenFailurePassesToTheCallerWithTheCursorRestored) {
  service.AddPort("Alpha");
  auto out = CreateMidiOutput(service, dispatcher);
  SelectMidiPort(out.get(), midi, "Alpha");
  service.FailCall(TMidiOutCall::Open, kMidiErrAllocated);
  std::string text;
  try {
    SetMidiActive(out.get(), true, view);
  } catch (const EmidioutputError& e) {
    text = e.what();
  }
  std::string expected;
  MidiOutErrorText(kMidiErrAllocated, expected);
  EXPECT_EQ(text, expected);
  EXPECT_EQ(view.Calls(), (std::vector<std::string>{"state off", "busy", "restore"}));
}

TEST_F(MidiPortControlTest, WithoutAnOutputObjectNothingOpens) {
  EXPECT_FALSE(SetMidiActive(nullptr, true, view));
  EXPECT_FALSE(SetMidiActive(nullptr, false, view));
  EXPECT_EQ(view.Calls(), (std::vector<std::string>{"state off", "busy", "restore", "state off",
                                                    "busy", "state off", "restore"}));
}

TEST_F(MidiPortControlTest, ChannelRecordFollowsTheSelection) {
  MidiChannelChanged(midi, 0);
  EXPECT_EQ(midi.Channel, 1);
  MidiChannelChanged(midi, 15);
  EXPECT_EQ(midi.Channel, 16);
  MidiChannelChanged(midi, -1);
  EXPECT_EQ(midi.Channel, 16);
  MidiChannelChanged(midi, 16);
  EXPECT_EQ(midi.Channel, 16);
}
