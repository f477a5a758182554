// TMidiOutput used as the program does across threads: short messages from a capture thread,
// long messages from the main thread with their completions arriving on a platform thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "midi/MidiOut.h"
#include "platform/virtual/LoopDispatcher.h"
#include "platform/virtual/VirtualMidiOutService.h"

TEST(MidiOutThreading, ShortAndLongMessagesFromTheirOwnThreads) {
  TVirtualMidiOutService service;
  const int32_t port = service.AddPort("Synth");
  TLoopDispatcher dispatcher;
  TMidiOutput out(service, dispatcher);
  std::atomic<int> completed{0};
  out.Onmidioutput = [&](TMidiOutput*) { completed.fetch_add(1); };
  out.SetDeviceID(port);
  out.Open();
  service.SetHoldLongMessages(true);

  constexpr int kShort = 2000;
  constexpr int kLong = 50;
  std::thread capture([&] {
    for (int i = 0; i < kShort; ++i) out.SendShortMessage(0x90, i % 128, 100);
  });
  std::atomic<bool> sending{true};
  std::thread platform([&] {
    while (sending.load()) {
      service.CompleteLongMessages();
      std::this_thread::yield();
    }
    service.CompleteLongMessages();
  });
  for (int i = 0; i < kLong; ++i) {
    const uint8_t sysex[] = {0xF0, 0x7D, static_cast<uint8_t>(i), 0xF7};
    out.SendLongMessage(sysex, sizeof sysex);
    dispatcher.ProcessPending();
  }
  capture.join();
  sending = false;
  platform.join();
  EXPECT_TRUE(dispatcher.RunUntil([&] { return completed.load() == kLong; },
                                  std::chrono::seconds(30)));

  int shorts = 0;
  int longs = 0;
  for (const auto& s : service.Sent(port)) {
    if (s.Long) {
      EXPECT_EQ(s.Bytes[2], longs);  // long messages in sending order
      ++longs;
    } else {
      EXPECT_EQ(s.Bytes[1], shorts % 128);
      ++shorts;
    }
  }
  EXPECT_EQ(shorts, kShort);
  EXPECT_EQ(longs, kLong);
  EXPECT_EQ(out.LastError(), 0);
  EXPECT_TRUE(out.Close());
}
