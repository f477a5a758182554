// Cost of one note on the capture thread (TMidiNoteTrigger::NoteOn and NoteOff through
// TMidiOutput) beside the bare service calls with the same words. Prints the CPU-time ratio.
#include <benchmark/benchmark.h>

#include "bench/RatioMain.h"

#include <cstdio>

#include "MidiNoteTrigger.h"
#include "midi/MidiOut.h"
#include "platform/MainThreadDispatcher.h"

namespace {
struct SinkService : IMidiOutService {
  uint32_t last = 0;
  uint32_t GetNumDevs() override { return 1; }
  TMidiResult GetDevCaps(int32_t, TMidiOutCaps& c) override {
    c.ProductName = "Sink";
    return kMidiOk;
  }
  TMidiResult Open(TMidiOutHandle& h, int32_t, TMidiOutCallback, void*) override {
    h = 1;
    return kMidiOk;
  }
  TMidiResult Close(TMidiOutHandle) override { return kMidiOk; }
  TMidiResult ShortMsg(TMidiOutHandle, uint32_t m) override {
    last = m;
    benchmark::ClobberMemory();
    return kMidiOk;
  }
  TMidiResult PrepareHeader(TMidiOutHandle, TMidiOutHeader&) override { return kMidiOk; }
  TMidiResult LongMsg(TMidiOutHandle, TMidiOutHeader&) override { return kMidiOk; }
  TMidiResult UnprepareHeader(TMidiOutHandle, TMidiOutHeader&) override { return kMidiOk; }
  TMidiResult GetErrorText(TMidiResult, std::string&) override { return kMidiErrInvalidParam; }
};

struct InlineDispatcher : IMainThreadDispatcher {
  void Post(std::function<void()> fn) override { fn(); }
  void Call(std::function<void()> fn) override { fn(); }
  bool IsMainThread() const override { return true; }
};

struct NullView : IMidiActivityView {
  void SetMidiDataLight(bool) override {}
  void SetMidiTimerEnabled(bool) override {}
};


void BM_NoteOnOff(benchmark::State& state) {
  SinkService service;
  InlineDispatcher dispatcher;
  TMidiOutput out(service, dispatcher);
  out.SetDeviceID(0);
  out.Open();
  TRunFlags flags;
  TMyMidi midi;
  midi.Output = &out;
  TControlSnapshot controls;
  NullView view;
  TMidiNoteTrigger trigger(TMidiNoteTrigger::TState{flags, midi}, controls, view);
  for (auto _ : state) {
    trigger.NoteOn(0, 100);
    trigger.NoteOff(0);
  }
}

void BM_BareServiceCalls(benchmark::State& state) {
  SinkService service;
  IMidiOutService* s = &service;
  for (auto _ : state) {
    benchmark::DoNotOptimize(s);  // a real virtual call, as TMidiOutput makes
    s->ShortMsg(1, 0x643C90);
    s->ShortMsg(1, 0x403C80);
  }
}

BENCHMARK(BM_NoteOnOff);
BENCHMARK(BM_BareServiceCalls);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatio(argc, argv, "NoteOnOff", "BareService", "note/bare ratio", "", /*cpu_time=*/true);
}
