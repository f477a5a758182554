#include "MidiNoteTrigger.h"

#include <algorithm>
#include <thread>

#include "NoteNames.h"
#include "midi/MidiOut.h"

namespace {
constexpr int kNoteOnBase = 0x90;
constexpr int kNoteOffBase = 0x80;
constexpr int kNoteOffVelocity = 64;
}  // namespace

TMidiNoteTrigger::TMidiNoteTrigger(const TControlSnapshot& controls, IMidiActivityView& view)
    : TMidiNoteTrigger(TState{RunFlags, MyMidi}, controls, view) {}

TMidiNoteTrigger::TMidiNoteTrigger(const TState& state, const TControlSnapshot& controls,
                                   IMidiActivityView& view)
    : s_(state), controls_(controls), view_(view) {}

int TMidiNoteTrigger::Status(int base, int channel_index) {
  if (channel_index < 0 || channel_index >= kMidiChannelCount) return -1;
  return base + channel_index;
}

void TMidiNoteTrigger::NoteOn(int channel, int velocity) {
  // Velocity 0 would be a note-off, anything above 127 not a data byte.
  Note(channel, true, std::clamp(velocity, 1, 127));
}

void TMidiNoteTrigger::NoteOff(int channel) {
  Note(channel, false, kNoteOffVelocity);
}

namespace {
constexpr uint32_t kOnWire = 1u << 16;

// Counts a capture-thread send from before its gate check to its end, so that ReleaseNotes,
// run once the gate is closed, knows when no send can still touch the wire state.
class TSending {
 public:
  explicit TSending(std::atomic<int>& count) : count_(count) {
    count_.fetch_add(1, std::memory_order_seq_cst);
    std::atomic_thread_fence(std::memory_order_seq_cst);
  }
  ~TSending() { count_.fetch_sub(1, std::memory_order_release); }
  TSending(const TSending&) = delete;
  TSending& operator=(const TSending&) = delete;

 private:
  std::atomic<int>& count_;
};
}  // namespace

// A note-on reads the selections at the moment of sending; its note-off repeats the channel and
// note that note-on carried, whatever the lists say by then, or the synthesiser would keep the
// first note sounding. The sounding flag changes whether or not anything is sent.
void TMidiNoteTrigger::Note(int channel, bool on, int data2) {
  if (channel != 0 && channel != 1) return;
  TSending sending(sending_);
  int status = Status(on ? kNoteOnBase : kNoteOffBase,
                      controls_.MidiChannelIndex.load(std::memory_order_relaxed));
  int note = MidiNoteForEntry(controls_.NoteIndex[channel].load(std::memory_order_relaxed));
  const uint32_t sounding = wire_[channel].load(std::memory_order_relaxed);
  if (!on && sounding) {
    status = kNoteOffBase | (sounding & 0x0F);
    note = static_cast<int>((sounding >> 8) & 0x7F);
  }
  s_.Midi.NoteOn(channel).store(on, std::memory_order_release);
  const TSent sent = Deliver(status >= 0 && note >= 0, static_cast<uint8_t>(status),
                             static_cast<uint8_t>(note), static_cast<uint8_t>(data2));
  if (on && sent == TSent::Sent) {
    wire_[channel].store(
        kOnWire | static_cast<uint32_t>(note) << 8 | (static_cast<uint32_t>(status) & 0x0F),
        std::memory_order_relaxed);
  } else if (!on && sent != TSent::Gated) {
    wire_[channel].store(0, std::memory_order_relaxed);
  }
}

void TMidiNoteTrigger::SendMidiShort(uint8_t status, uint8_t data1, uint8_t data2) {
  TSending sending(sending_);
  Deliver(true, status, data1, data2);
}

void TMidiNoteTrigger::ReleaseNotes(bool server_lost) {
  std::atomic_thread_fence(std::memory_order_seq_cst);
  // A send that passed its gate check before the gate closed takes microseconds to finish.
  while (sending_.load(std::memory_order_acquire) != 0) std::this_thread::yield();
  for (int channel = 0; channel < 2; ++channel) {
    const uint32_t sounding = wire_[channel].exchange(0, std::memory_order_acq_rel);
    s_.Midi.NoteOn(channel).store(false, std::memory_order_release);
    if (!sounding) continue;
    SendNoteOff(sounding);
    if (server_lost) owed_[channel] = sounding;
  }
  view_.SetMidiDataLight(false);
}

void TMidiNoteTrigger::SendOwedNoteOffs() {
  for (uint32_t& owed : owed_) {
    if (!owed) continue;
    // The capture thread may be sending at this very moment: the port then refuses this one.
    for (int attempt = 0; attempt < 3 && owed; ++attempt) {
      if (SendNoteOff(owed))
        owed = 0;
      else
        std::this_thread::yield();
    }
  }
}

bool TMidiNoteTrigger::SendNoteOff(uint32_t sounding) {
  TMidiOutput* out = s_.Midi.Output;
  // A port that can no longer send has nothing left sounding through it.
  return out && out->TrySendShortMessage(static_cast<uint8_t>(kNoteOffBase | (sounding & 0x0F)),
                                         static_cast<uint8_t>((sounding >> 8) & 0x7F),
                                         kNoteOffVelocity) == kMidiOk;
}

// A message without a selected channel or note is not sent: it counts as a refused send.
TMidiNoteTrigger::TSent TMidiNoteTrigger::Deliver(bool valid, uint8_t status, uint8_t data1,
                                                  uint8_t data2) {
  if (s_.Flags.GateClosed()) return TSent::Gated;
  TSent sent = TSent::Failed;
  TMidiOutput* out = s_.Midi.Output;
  // Inside an audio server's cycle too: a refused send throws nothing and changes nothing else.
  if (valid && out && out->TrySendShortMessage(status, data1, data2) == kMidiOk) sent = TSent::Sent;
  view_.SetMidiDataLight(s_.Midi.NoteOn0.load(std::memory_order_acquire) ||
                         s_.Midi.NoteOn1.load(std::memory_order_acquire));
  view_.SetMidiTimerEnabled(true);
  return sent;
}
