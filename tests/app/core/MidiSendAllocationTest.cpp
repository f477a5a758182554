// The note path on the capture thread allocates nothing: NoteOn/NoteOff through TMidiOutput down
// to the service call, a refused one included. Counts this thread's allocations with a replaced
// global operator new.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "MidiNoteTrigger.h"
#include "midi/MidiOut.h"
#include "platform/virtual/LoopDispatcher.h"

namespace {
thread_local long t_allocations = 0;

// Accepts every message on port 0 and keeps only the last word.
struct SinkService : IMidiOutService {
  uint32_t last = 0;
  uint32_t GetNumDevs() override { return 1; }
  TMidiResult GetDevCaps(int32_t d, TMidiOutCaps& c) override {
    if (d != 0) return kMidiErrBadDeviceId;
    c.ProductName = "Sink";
    return kMidiOk;
  }
  TMidiResult Open(TMidiOutHandle& h, int32_t, TMidiOutCallback, void*) override {
    h = 1;
    return kMidiOk;
  }
  TMidiResult Close(TMidiOutHandle) override { return kMidiOk; }
  TMidiResult ShortMsg(TMidiOutHandle h, uint32_t m) override {
    if (h != 1) return kMidiErrInvalidHandle;
    last = m;
    return kMidiOk;
  }
  TMidiResult PrepareHeader(TMidiOutHandle, TMidiOutHeader&) override { return kMidiOk; }
  TMidiResult LongMsg(TMidiOutHandle, TMidiOutHeader&) override { return kMidiOk; }
  TMidiResult UnprepareHeader(TMidiOutHandle, TMidiOutHeader&) override { return kMidiOk; }
  TMidiResult GetErrorText(TMidiResult c, std::string& t) override { return MidiOutErrorText(c, t); }
};

struct CountingView : IMidiActivityView {
  int lights = 0;
  void SetMidiDataLight(bool) override { ++lights; }
  void SetMidiTimerEnabled(bool) override {}
};
}  // namespace

void* operator new(std::size_t n) {
  ++t_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(MidiSendAllocation, NoteOnAndOffAllocateNothing) {
  SinkService service;
  TLoopDispatcher dispatcher;
  TMidiOutput out(service, dispatcher);
  out.SetDeviceID(0);
  out.Open();
  TRunFlags flags;
  TMyMidi midi;
  midi.Output = &out;
  TControlSnapshot controls;
  CountingView view;
  TMidiNoteTrigger trigger(TMidiNoteTrigger::TState{flags, midi}, controls, view);

  const long before = t_allocations;
  for (int i = 0; i < 100; ++i) {
    trigger.NoteOn(i % 2, 100);
    trigger.NoteOff(i % 2);
  }
  const long during = t_allocations - before;
  EXPECT_EQ(during, 0);
  EXPECT_EQ(service.last, 0x403C80u);
  EXPECT_EQ(view.lights, 200);

  // A send the closed port refuses builds no error text either.
  out.Close();
  const long failing = t_allocations;
  trigger.NoteOn(0, 100);
  trigger.NoteOff(0);
  const long refused = t_allocations - failing;
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(out.LastError(), kMidiErrInvalidHandle);
  // The counter does see allocations: the raising send allocates its message.
  const long raising = t_allocations;
  EXPECT_THROW(out.SendShortMessage(0x90, 60, 100), EmidioutputError);
  EXPECT_GT(t_allocations, raising);
}
