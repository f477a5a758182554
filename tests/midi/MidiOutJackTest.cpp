// End to end on the private JACK server: TMidiOutput on the RtMidi back-end sends to a test
// client's MIDI input, which must receive exactly the bytes sent.
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <cstring>
#include <thread>

#include "JackTestClient.h"
#include "midi/MidiOut.h"
#include "platform/rt/RtMidiOutService.h"
#include "platform/rt/RtMidiPortNames.h"
#include "platform/virtual/LoopDispatcher.h"

namespace {
constexpr int kTimeoutMs = 20000;  // a loaded machine may take a while to run a cycle

std::vector<std::vector<uint8_t>> Received(const JackTestClient& client) {
  std::vector<std::vector<uint8_t>> out;
  for (const auto& ev : client.Midi()) out.push_back(ev.bytes);
  return out;
}
}  // namespace

TEST(MidiOutJack, ShortMessagesArriveByteForByte) {
  JackTestClient client("tocsin_midi_e2e");
  ASSERT_TRUE(client.Ok());
  TRtMidiOutService service;
  TLoopDispatcher dispatcher;
  TMidiOutput out(service, dispatcher);

  // The test client's input is listed among the ports, under its JACK name.
  const std::string name = CutUtf8(client.MidiInPort(), kMidiProductNameMax);
  bool listed = false;
  for (int32_t id = 0; id < out.DeviceCount(); ++id) {
    out.SetDeviceID(id);
    listed = listed || out.ProductName() == name;
  }
  EXPECT_TRUE(listed);
  out.SetProductName(name);
  ASSERT_TRUE(out.Open());
  ASSERT_TRUE(client.WaitCycles(3, kTimeoutMs));  // the connection is in the graph

  out.SendShortMessage(0x90, 0x3C, 0x64);
  out.SendShortMessage(0x80, 0x3C, 0x40);
  out.SendShortMessage(0x9F, 0x7F, 0x01);
  ASSERT_TRUE(client.WaitMidiCount(3, kTimeoutMs));
  EXPECT_EQ(Received(client), (std::vector<std::vector<uint8_t>>{
                                  {0x90, 0x3C, 0x64}, {0x80, 0x3C, 0x40}, {0x9F, 0x7F, 0x01}}));
  EXPECT_TRUE(out.Close());

  // Once closed, a send is refused and nothing more arrives.
  EXPECT_THROW(out.SendShortMessage(0x90, 1, 1), EmidioutputError);
}

TEST(MidiOutJack, LongMessageArrivesAndCompletesOnTheMainThread) {
  JackTestClient client("tocsin_midi_sysex");
  ASSERT_TRUE(client.Ok());
  TRtMidiOutService service;
  TLoopDispatcher dispatcher;
  TMidiOutput out(service, dispatcher);
  out.SetProductName(CutUtf8(client.MidiInPort(), kMidiProductNameMax));
  int notified = 0;
  out.Onmidioutput = [&](TMidiOutput*) { ++notified; };
  ASSERT_TRUE(out.Open());
  ASSERT_TRUE(client.WaitCycles(3, kTimeoutMs));

  const uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
  out.SendLongMessage(sysex, sizeof sysex);
  ASSERT_TRUE(dispatcher.RunUntil([&] { return notified == 1; }, std::chrono::milliseconds(kTimeoutMs)));
  ASSERT_TRUE(client.WaitMidiCount(1, kTimeoutMs));
  EXPECT_EQ(Received(client)[0], std::vector<uint8_t>(sysex, sysex + sizeof sysex));
}

TEST(MidiOutJack, MapperOpensAVirtualPortOthersConnectTo) {
  JackTestClient client("tocsin_midi_virtual");
  ASSERT_TRUE(client.Ok());
  TRtMidiOutService service("TocsinVirtualTest");
  TLoopDispatcher dispatcher;
  TMidiOutput out(service, dispatcher);
  out.SetDeviceID(kMidiMapper);
  EXPECT_EQ(out.ProductName(), "TocsinVirtualTest");
  ASSERT_TRUE(out.Open());

  // Our client may have been renamed by the server if the name was taken: find the port.
  const char** ports = jack_get_ports(client.Handle(), "^TocsinVirtualTest.*:TocsinVirtualTest$",
                                      JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
  ASSERT_NE(ports, nullptr);
  const std::string port = ports[0];
  jack_free(ports);
  ASSERT_TRUE(client.Connect(port, client.MidiInPort()));
  ASSERT_TRUE(client.WaitCycles(3, kTimeoutMs));

  out.SendShortMessage(0xB0, 0x07, 0x64);
  ASSERT_TRUE(client.WaitMidiCount(1, kTimeoutMs));
  EXPECT_EQ(Received(client)[0], (std::vector<uint8_t>{0xB0, 0x07, 0x64}));
}

// The close query closes the port without the stop handshake: a send on the capture thread may
// be under way. The service lets it finish, then refuses the stale handle.
TEST(MidiOutJack, CloseWhileTheCaptureThreadSends) {
  JackTestClient client("tocsin_midi_close");
  ASSERT_TRUE(client.Ok());
  TRtMidiOutService service;
  TMidiOutHandle handle = 0;
  ASSERT_EQ(service.Open(handle, kMidiMapper, nullptr, nullptr), kMidiOk);

  std::atomic<int> sent{0};
  std::atomic<bool> refused{false}, give_up{false};
  std::thread capture([&] {
    while (!refused.load() && !give_up.load()) {
      const TMidiResult r = service.ShortMsg(handle, 0x403C90);
      if (r == kMidiOk) sent.fetch_add(1);
      if (r == kMidiErrInvalidHandle) refused = true;
    }
  });
  // Both waits end by themselves; the sender stops on either outcome.
  auto wait_for = [](const std::atomic<bool>& done_flag, const std::function<bool()>& pred) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    while (!pred() && !done_flag.load() && std::chrono::steady_clock::now() < end)
      std::this_thread::yield();
    return pred();
  };
  const bool sending = wait_for(refused, [&] { return sent.load() >= 100; });
  EXPECT_TRUE(sending) << "only " << sent.load() << " messages went out";
  EXPECT_EQ(service.Close(handle), kMidiOk);
  const std::atomic<bool> never{false};
  EXPECT_TRUE(wait_for(never, [&] { return refused.load(); }))
      << "the sender was never told the port closed";
  give_up = true;
  capture.join();
  EXPECT_EQ(service.ShortMsg(handle, 0x403C90), kMidiErrInvalidHandle);
  EXPECT_EQ(service.Close(handle), kMidiErrInvalidHandle);
}
