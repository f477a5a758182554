// TMidiOutput over the virtual MIDI service: port selection, open and close, short and long
// messages, and the exact failure texts.
#include <gtest/gtest.h>

#include <thread>

#include "midi/MidiOut.h"
#include "platform/virtual/LoopDispatcher.h"
#include "platform/virtual/VirtualMidiOutService.h"

namespace {
std::string ServiceText(TMidiResult code) {
  std::string t;
  MidiOutErrorText(code, t);
  return t;
}

// Runs fn, which must raise EmidioutputError, and returns its text.
template <typename Fn>
std::string ErrorOf(Fn fn) {
  try {
    fn();
  } catch (const EmidioutputError& e) {
    return e.what();
  }
  return "(nothing raised)";
}

class MidiOutTest : public ::testing::Test {
 protected:
  TVirtualMidiOutService service;
  TLoopDispatcher dispatcher;
};
}  // namespace

TEST_F(MidiOutTest, CountsPortsOnceButReachesLaterPortsByNumber) {
  service.AddPort("A");
  service.AddPort("B");
  TMidiOutput out(service, dispatcher);
  EXPECT_EQ(out.DeviceCount(), 2);
  EXPECT_EQ(out.DeviceID(), 0);
  EXPECT_EQ(out.ProductName(), "");  // nothing queried until a port is chosen
  EXPECT_EQ(out.State(), TMidiOutput::kStateClosed);

  service.AddPort("C");
  EXPECT_EQ(out.DeviceCount(), 2);
  out.SetDeviceID(2);
  EXPECT_EQ(out.ProductName(), "C");
}

TEST_F(MidiOutTest, DeviceIdCopiesTheCapabilities) {
  TMidiOutCaps caps;
  caps.ProductName = "Synth";
  caps.DriverVersion = 0x0203;
  caps.Technology = 0x0107;  // only the low byte is kept
  caps.Voices = 32;
  caps.Notes = 64;
  caps.ChannelMask = 0x00FF;
  caps.Support = 9;
  service.AddPort("First");
  service.AddPort(caps);
  TMidiOutput out(service, dispatcher);
  out.SetDeviceID(1);
  EXPECT_EQ(out.DeviceID(), 1);
  EXPECT_EQ(out.ProductName(), "Synth");
  EXPECT_EQ(out.DriverVersion(), 0x0203u);
  EXPECT_EQ(out.Technology(), 0x07);
  EXPECT_EQ(out.Voices(), 32);
  EXPECT_EQ(out.Notes(), 64);
  EXPECT_EQ(out.ChannelMask(), 0x00FF);
  EXPECT_EQ(out.Support(), 9u);
  EXPECT_EQ(out.LastError(), 0);
}

TEST_F(MidiOutTest, DeviceIdRangeChecks) {
  service.AddPort("A");
  TMidiOutput out(service, dispatcher);
  out.SetDeviceID(0);

  EXPECT_EQ(ErrorOf([&] { out.SetDeviceID(out.DeviceCount()); }), "Invalid device ID");
  EXPECT_EQ(out.DeviceID(), 0);
  EXPECT_EQ(out.ProductName(), "A");

  out.SetDeviceID(-1);  // the mapper
  EXPECT_EQ(out.DeviceID(), -1);
  EXPECT_EQ(out.ProductName(), "Tocsin");

  // Other negative numbers pass the range check and are refused by the service; DeviceID keeps
  // the value, the capabilities stay those of the last good query.
  EXPECT_EQ(ErrorOf([&] { out.SetDeviceID(-5); }), ServiceText(kMidiErrBadDeviceId));
  EXPECT_EQ(out.DeviceID(), -5);
  EXPECT_EQ(out.LastError(), kMidiErrBadDeviceId);
  EXPECT_EQ(out.ProductName(), "Tocsin");
}

TEST_F(MidiOutTest, ProductNameSearchesTheMapperFirstAndMatchesExactly) {
  service.AddPort("Midi Through");
  service.AddPort("Tocsin");  // same name as the mapper, which is searched first
  TMidiOutput out(service, dispatcher);

  out.SetProductName("Midi Through");
  EXPECT_EQ(out.DeviceID(), 0);
  out.SetProductName("Tocsin");
  EXPECT_EQ(out.DeviceID(), -1);

  out.SetProductName("Midi Through");
  EXPECT_EQ(ErrorOf([&] { out.SetProductName("midi through"); }),
            "MIDI output Device midi through not installed");
  EXPECT_EQ(out.DeviceID(), 0);
  EXPECT_EQ(out.ProductName(), "Midi Through");
  EXPECT_EQ(ErrorOf([&] { out.SetProductName(""); }), "MIDI output Device  not installed");
}

TEST_F(MidiOutTest, ProductNameWithoutPortsStillAsksTheMapper) {
  service.SetMapper(false);
  TMidiOutput out(service, dispatcher);
  EXPECT_EQ(out.DeviceCount(), 0);
  // Port -1 is queried first; without a mapper that query is refused with the service's text.
  EXPECT_EQ(ErrorOf([&] { out.SetProductName("Synth"); }), ServiceText(kMidiErrBadDeviceId));
  EXPECT_EQ(service.CallCount(TMidiOutCall::GetDevCaps), 1);

  service.SetMapper(true);
  EXPECT_EQ(ErrorOf([&] { out.SetProductName("Synth"); }), "MIDI output Device Synth not installed");
  EXPECT_EQ(service.CallCount(TMidiOutCall::GetDevCaps), 2);
  EXPECT_EQ(out.DeviceID(), 0);
}

TEST_F(MidiOutTest, ProductNameSearchFailures) {
  service.AddPort("A");
  service.AddPort("B");
  TMidiOutput out(service, dispatcher);
  out.SetProductName("A");

  // A refused query during the search stops it at once with the service's text.
  service.FailCall(TMidiOutCall::GetDevCaps, kMidiErrNoDevice);
  EXPECT_EQ(ErrorOf([&] { out.SetProductName("B"); }), ServiceText(kMidiErrNoDevice));
  EXPECT_EQ(service.CallCount(TMidiOutCall::GetDevCaps), 4);  // A: -1, 0, then DeviceID; B: -1
  service.FailCall(TMidiOutCall::GetDevCaps, kMidiOk);
  EXPECT_EQ(out.DeviceID(), 0);

  // The current name no port reports any more is not installed either.
  service.RenamePort(0, "Z");
  EXPECT_EQ(ErrorOf([&] { out.SetProductName("A"); }), "MIDI output Device A not installed");
  EXPECT_EQ(out.DeviceID(), 0);
}

TEST_F(MidiOutTest, NoChangeOfPortWhileOpen) {
  service.AddPort("A");
  service.AddPort("B");
  TMidiOutput out(service, dispatcher);
  out.SetDeviceID(0);
  ASSERT_TRUE(out.Open());
  EXPECT_EQ(ErrorOf([&] { out.SetDeviceID(1); }), "Change to DeviceID while device was open");
  EXPECT_EQ(ErrorOf([&] { out.SetProductName("B"); }),
            "Change to ProductName while device was open");
  EXPECT_EQ(out.DeviceID(), 0);
  EXPECT_EQ(out.ProductName(), "A");
  EXPECT_TRUE(out.Close());
  out.SetProductName("B");
  EXPECT_EQ(out.DeviceID(), 1);
}

TEST_F(MidiOutTest, OpenAndCloseKeepTheCallbackContext) {
  const int32_t port = service.AddPort("A");
  TMidiOutput out(service, dispatcher);
  EXPECT_FALSE(out.Close());  // closing a closed port: false, nothing raised
  EXPECT_EQ(service.CallCount(TMidiOutCall::Close), 0);
  EXPECT_EQ(out.CallbackContext(), nullptr);

  ASSERT_TRUE(out.Open());
  EXPECT_EQ(out.State(), TMidiOutput::kStateOpen);
  EXPECT_TRUE(service.IsOpen(port));
  const TMidiCallbackContext* ctx = out.CallbackContext();
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(service.LastOpenContext(), ctx);
  EXPECT_EQ(ctx->InputQueue, nullptr);
  EXPECT_NE(ctx->Window, nullptr);
  const uint64_t first = ctx->MemoryHandle;

  EXPECT_TRUE(out.Close());
  EXPECT_EQ(out.State(), TMidiOutput::kStateClosed);
  EXPECT_FALSE(service.IsOpen(port));
  EXPECT_FALSE(out.Close());
  ASSERT_TRUE(out.Open());
  EXPECT_EQ(out.CallbackContext()->MemoryHandle, first);
}

TEST_F(MidiOutTest, FailedOpenRaisesTheServiceTextAndDropsTheContext) {
  service.AddPort("A");
  TMidiOutput out(service, dispatcher);
  ASSERT_TRUE(out.Open());
  const uint64_t first = out.CallbackContext()->MemoryHandle;
  out.Close();

  service.FailCall(TMidiOutCall::Open, kMidiErrNoDriver);
  EXPECT_EQ(ErrorOf([&] { out.Open(); }), ServiceText(kMidiErrNoDriver));
  EXPECT_EQ(out.LastError(), kMidiErrNoDriver);
  EXPECT_EQ(out.State(), TMidiOutput::kStateClosed);
  EXPECT_EQ(out.CallbackContext(), nullptr);

  service.FailCall(TMidiOutCall::Open, kMidiOk);
  ASSERT_TRUE(out.Open());
  EXPECT_NE(out.CallbackContext()->MemoryHandle, first);  // a new context
  EXPECT_EQ(out.LastError(), 0);
}

TEST_F(MidiOutTest, OpenRefusedBecauseThePortIsTaken) {
  service.AddPort("A");
  TMidiOutput first(service, dispatcher);
  TMidiOutput second(service, dispatcher);
  ASSERT_TRUE(first.Open());
  EXPECT_EQ(ErrorOf([&] { second.Open(); }), ServiceText(kMidiErrAllocated));
  EXPECT_EQ(second.State(), TMidiOutput::kStateClosed);
}

TEST_F(MidiOutTest, UnknownCodesHaveTheFallbackText) {
  service.AddPort("A");
  TMidiOutput out(service, dispatcher);
  service.FailCall(TMidiOutCall::Open, 999);
  EXPECT_EQ(ErrorOf([&] { out.Open(); }), "Specified error number is out of range");
  EXPECT_EQ(out.LastError(), 999);
}

TEST_F(MidiOutTest, FailedCloseLeavesThePortOpen) {
  const int32_t port = service.AddPort("A");
  TMidiOutput out(service, dispatcher);
  out.Open();
  service.FailCall(TMidiOutCall::Close, kMidiErrStillPlaying);
  EXPECT_EQ(ErrorOf([&] { out.Close(); }), ServiceText(kMidiErrStillPlaying));
  EXPECT_EQ(out.State(), TMidiOutput::kStateOpen);
  service.FailCall(TMidiOutCall::Close, kMidiOk);
  out.SendShortMessage(0x90, 1, 2);  // the handle is still the open one
  EXPECT_EQ(service.Bytes(port), (std::vector<uint8_t>{0x90, 1, 2}));
  EXPECT_TRUE(out.Close());
}

TEST_F(MidiOutTest, DestructionClosesAnOpenPort) {
  const int32_t port = service.AddPort("A");
  {
    TMidiOutput out(service, dispatcher);
    out.Open();
    ASSERT_TRUE(service.IsOpen(port));
  }
  EXPECT_FALSE(service.IsOpen(port));
}

TEST_F(MidiOutTest, ShortMessageIsThePackedWord) {
  const int32_t port = service.AddPort("A");
  TMidiOutput out(service, dispatcher);
  out.SetDeviceID(port);
  out.Open();
  out.SendShortMessage(144, 60, 100);
  out.SendShortMessage(0x80, 60, 64);
  const auto sent = service.Sent(port);
  ASSERT_EQ(sent.size(), 2u);
  ASSERT_EQ(sent[0].Bytes.size(), 3u);
  const uint32_t word = sent[0].Bytes[0] | sent[0].Bytes[1] << 8 | sent[0].Bytes[2] << 16;
  EXPECT_EQ(word, 6569104u);  // 643C90 hex
  EXPECT_EQ(sent[1].Bytes, (std::vector<uint8_t>{0x80, 0x3C, 0x40}));
  EXPECT_EQ(out.LastError(), 0);
}

TEST_F(MidiOutTest, SendOnAClosedPortRaisesTheServiceText) {
  const int32_t port = service.AddPort("A");
  TMidiOutput out(service, dispatcher);
  EXPECT_EQ(ErrorOf([&] { out.SendShortMessage(0x90, 60, 100); }),
            ServiceText(kMidiErrInvalidHandle));
  EXPECT_EQ(out.LastError(), kMidiErrInvalidHandle);
  EXPECT_EQ(out.State(), TMidiOutput::kStateClosed);
  EXPECT_TRUE(service.Bytes(port).empty());

  out.Open();
  service.FailCall(TMidiOutCall::ShortMsg, kMidiErrNotReady);
  EXPECT_EQ(ErrorOf([&] { out.SendShortMessage(0x90, 60, 100); }), ServiceText(kMidiErrNotReady));
  EXPECT_EQ(out.State(), TMidiOutput::kStateOpen);
}

TEST_F(MidiOutTest, SendEventChecksTheStateAndPicksTheMessageKind) {
  const int32_t port = service.AddPort("A");
  TMidiOutput out(service, dispatcher);
  TMidiOutEvent ev;
  ev.MidiMessage = 0x9F;
  ev.Data1 = 0;
  ev.Data2 = 127;
  EXPECT_EQ(ErrorOf([&] { out.SendEvent(ev); }), "MIDI Output device not open");
  out.Open();
  out.SendEvent(ev);
  const uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
  ev.Sysex = sysex;
  ev.SysexLength = sizeof sysex;
  out.SendEvent(ev);
  const auto sent = service.Sent(port);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].Bytes, (std::vector<uint8_t>{0x9F, 0, 127}));
  EXPECT_FALSE(sent[0].Long);
  EXPECT_EQ(sent[1].Bytes, std::vector<uint8_t>(sysex, sysex + sizeof sysex));
  EXPECT_TRUE(sent[1].Long);
}

TEST_F(MidiOutTest, LongMessageBufferLivesUntilTheMainThreadHandlesItsCompletion) {
  const int32_t port = service.AddPort("A");
  TMidiOutput out(service, dispatcher);
  int notified = 0;
  out.Onmidioutput = [&](TMidiOutput* sender) {
    EXPECT_EQ(sender, &out);
    EXPECT_TRUE(dispatcher.IsMainThread());
    ++notified;
  };
  out.Open();
  service.SetHoldLongMessages(true);

  std::vector<uint8_t> data = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0xF7};
  out.SendLongMessage(data.data(), static_cast<uint16_t>(data.size()));
  const std::vector<uint8_t> original = data;
  std::fill(data.begin(), data.end(), 0);  // the caller's buffer is free at once

  // The completion arrives on a platform thread; only the main thread's pump finishes it.
  std::thread platform([&] { service.CompleteLongMessages(); });
  platform.join();
  EXPECT_EQ(notified, 0);
  ASSERT_EQ(service.CompletedLong().size(), 1u);
  EXPECT_EQ(service.CompletedLong()[0], original);
  EXPECT_EQ(service.Bytes(port), original);

  EXPECT_EQ(dispatcher.ProcessPending(), 1);
  EXPECT_EQ(notified, 1);
  EXPECT_EQ(service.CallCount(TMidiOutCall::UnprepareHeader), 1);
}

TEST_F(MidiOutTest, LongMessageFailuresRaiseTheServiceText) {
  service.AddPort("A");
  TMidiOutput out(service, dispatcher);
  const uint8_t data[] = {0xF0, 0xF7};
  EXPECT_EQ(ErrorOf([&] { out.SendLongMessage(data, 2); }), ServiceText(kMidiErrInvalidHandle));
  out.Open();
  EXPECT_EQ(ErrorOf([&] { out.SendLongMessage(data, 0); }), ServiceText(kMidiErrInvalidParam));
  EXPECT_EQ(ErrorOf([&] { out.SendLongMessage(nullptr, 2); }), ServiceText(kMidiErrInvalidParam));
  service.FailCall(TMidiOutCall::PrepareHeader, kMidiErrNoMem);
  EXPECT_EQ(ErrorOf([&] { out.SendLongMessage(data, 2); }), ServiceText(kMidiErrNoMem));
  EXPECT_EQ(out.LastError(), kMidiErrNoMem);
  service.FailCall(TMidiOutCall::PrepareHeader, kMidiOk);
  service.FailCall(TMidiOutCall::LongMsg, kMidiErrNotReady);
  EXPECT_EQ(ErrorOf([&] { out.SendLongMessage(data, 2); }), ServiceText(kMidiErrNotReady));
  EXPECT_EQ(dispatcher.ProcessPending(), 0);  // nothing completes for a refused message
}

TEST_F(MidiOutTest, CompletionAfterTheComponentIsGoneOnlyFreesTheBuffer) {
  service.AddPort("A");
  int notified = 0;
  {
    TMidiOutput out(service, dispatcher);
    out.Onmidioutput = [&](TMidiOutput*) { ++notified; };
    out.Open();
    const uint8_t data[] = {0xF0, 0x01, 0xF7};
    out.SendLongMessage(data, 3);  // completion posted, not yet handled
  }
  EXPECT_EQ(dispatcher.ProcessPending(), 1);
  EXPECT_EQ(notified, 0);
}

TEST_F(MidiOutTest, OpenAndCloseNoticesAreIgnored) {
  service.AddPort("A");
  TMidiOutput out(service, dispatcher);
  out.Open();
  out.Close();
  EXPECT_EQ(service.Notices(), (std::vector<uint32_t>{kMidiNoticeOpen, kMidiNoticeClose}));
  EXPECT_EQ(dispatcher.PendingCount(), 0u);
}
