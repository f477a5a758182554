// Notes sent on a capture thread while the UI thread changes the channel and note selections
// and stops triggering: every message on the wire stays well formed, and Stop's handshake holds.
// The level road and hit detection sending on two threads at once to one key keep it one note.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "MidiNoteTrigger.h"
#include "MidiTestViews.h"
#include "NoteNames.h"
#include "midi/MidiOut.h"
#include "platform/virtual/LoopDispatcher.h"
#include "platform/virtual/VirtualMidiOutService.h"

namespace {

// The note trigger sending on an open port of a recording service, as the window wires it.
class MidiNoteTriggerThreading : public ::testing::Test {
 protected:
  MidiNoteTriggerThreading() : port(service.AddPort("Synth")), out(service, dispatcher) {
    out.SetDeviceID(port);
    out.Open();
    midi.Output = &out;
  }

  TVirtualMidiOutService service;
  const int32_t port;
  TLoopDispatcher dispatcher;
  TMidiOutput out;
  TRunFlags flags;
  TMyMidi midi;
  TControlSnapshot controls;
  RecordingMidiView view;
  TMidiNoteTrigger trigger{TMidiNoteTrigger::TState{flags, midi}, controls, view};
};

TEST_F(MidiNoteTriggerThreading, MessagesStayWellFormedWhileSelectionsChange) {
  std::atomic<bool> stop_capture{false};
  std::atomic<int> rounds{0};
  std::thread capture([&] {
    while (!stop_capture.load()) {
      for (int c = 0; c < 2; ++c) {
        if (!midi.NoteOn(c)) {
          trigger.NoteOn(c, 100);
        } else {
          trigger.NoteOff(c);
        }
      }
      rounds.fetch_add(1);
    }
  });
  for (int i = 0; i < 2000 || rounds.load() < 100; ++i) {
    controls.MidiChannelIndex = i % 18 - 1;   // -1 .. 16
    controls.NoteIndex[i % 2] = i % 134 - 1;  // -1 .. 132
  }

  // Settle on a valid selection for a few rounds, so that notes certainly went out.
  controls.MidiChannelIndex = 0;
  controls.NoteIndex[0] = 60;
  controls.NoteIndex[1] = 61;
  const int settled = rounds.load();
  while (rounds.load() < settled + 10) std::this_thread::yield();

  // Stop's handshake: once StopAck is seen, nothing more is sent.
  flags.StopRequest = true;
  while (!flags.StopAck.load()) std::this_thread::yield();
  const size_t at_stop = service.Sent(port).size();
  const int rounds_at_stop = rounds.load();
  while (rounds.load() < rounds_at_stop + 10) std::this_thread::yield();
  stop_capture = true;
  capture.join();

  const auto sent = service.Sent(port);
  EXPECT_EQ(sent.size(), at_stop);
  EXPECT_GT(sent.size(), 0u);
  for (const auto& s : sent) {
    ASSERT_EQ(s.Bytes.size(), 3u);
    EXPECT_TRUE((s.Bytes[0] & 0xE0) == 0x80) << int(s.Bytes[0]);  // 80..9F
    EXPECT_LT(s.Bytes[1], 128);
    EXPECT_LT(s.Bytes[2], 128);
  }
}

// The close path: the capture thread goes on while the window closes the gate and releases the
// sounding notes. Whatever the selections did meanwhile, no key is left sounding on the wire.
TEST_F(MidiNoteTriggerThreading, ReleaseWhileTheCaptureThreadRunsLeavesNoNoteSounding) {
  std::atomic<bool> stop_capture{false};
  std::atomic<int> rounds{0};
  std::thread capture([&] {
    for (int i = 0; !stop_capture.load(); ++i) {
      const int c = i % 2;
      if (!midi.NoteOn(c)) {
        trigger.NoteOn(c, 100);
      } else if (i % 3) {
        trigger.NoteOff(c);
      }
      rounds.fetch_add(1);
    }
  });
  for (int i = 0; i < 300; ++i) {
    controls.MidiChannelIndex = i % 16;
    controls.NoteIndex[i % 2] = 40 + i % 40;
    const int r = rounds.load();
    while (rounds.load() < r + 3) std::this_thread::yield();
  }
  flags.Closing = true;
  trigger.ReleaseNotes();
  const int at_release = rounds.load();
  while (rounds.load() < at_release + 100) std::this_thread::yield();
  stop_capture = true;
  capture.join();

  // A synthesiser's view: a key sounds from its note-on until a note-off of the same key.
  std::map<std::pair<int, int>, bool> sounding;
  for (const auto& s : service.Sent(port)) {
    ASSERT_EQ(s.Bytes.size(), 3u);
    sounding[{s.Bytes[0] & 0x0F, s.Bytes[1]}] = (s.Bytes[0] & 0xF0) == 0x90;
  }
  EXPECT_GT(sounding.size(), 2u);
  for (const auto& [key, on] : sounding)
    EXPECT_FALSE(on) << "channel " << key.first + 1 << ", note " << key.second << " hangs";
}

TEST_F(MidiNoteTriggerThreading, TheLevelRoadAndHitsOnTwoThreadsKeepOneNotePerKey) {
  // Both channels on Do3: the left's level road on one thread, the right's hits on another.
  std::atomic<bool> go{false};
  std::thread level([&] {
    while (!go.load()) std::this_thread::yield();
    for (int i = 0; i < 20000; ++i) (i % 2 ? trigger.NoteOff(0) : trigger.NoteOn(0, 100));
  });
  std::thread hits([&] {
    while (!go.load()) std::this_thread::yield();
    // Far more often than drums are hit, yet with a breath between them.
    for (uint64_t f = 0; f < 2000; ++f) {
      (f % 3 ? trigger.HitNoteOff(1, f) : trigger.HitNoteOn(1, 90, f));
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  go = true;
  level.join();
  hits.join();
  flags.StopRequest = true;
  trigger.ReleaseNotes();
  int sounding = 0;
  size_t ons = 0;
  for (const auto& m : service.Sent(port)) {
    ASSERT_EQ(m.Bytes[1], 60);
    if ((m.Bytes[0] & 0xF0) == 0x90) {
      ASSERT_EQ(sounding, 0) << "a second note-on before the key's note-off";
      sounding = 1;
      ++ons;
    } else {
      ASSERT_EQ(sounding, 1) << "a note-off of a key not sounding";
      sounding = 0;
    }
  }
  EXPECT_EQ(sounding, 0) << "Stop leaves the key silent";
  EXPECT_GT(ons, 100u);
  EXPECT_EQ(trigger.Missed(), 0u) << "a hit waiting for the keys was dropped";
}

}  // namespace
