#include "MidiNoteTrigger.h"

#include <algorithm>

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
  // Detection keeps the velocity within 0..127; anything else must still not reach the wire.
  Note(channel, kNoteOnBase, std::clamp(velocity, 0, 127));
}

void TMidiNoteTrigger::NoteOff(int channel) { Note(channel, kNoteOffBase, kNoteOffVelocity); }

// The selections are read at the moment of sending, so a note-off carries the channel and note
// selected now. The sounding flag changes whether or not anything is sent.
void TMidiNoteTrigger::Note(int channel, int base, int data2) {
  if (channel != 0 && channel != 1) return;
  const int status = Status(base, controls_.MidiChannelIndex.load(std::memory_order_relaxed));
  const int note = MidiNoteForEntry(controls_.NoteIndex[channel].load(std::memory_order_relaxed));
  s_.Midi.NoteOn(channel).store(base == kNoteOnBase, std::memory_order_release);
  Deliver(status >= 0 && note >= 0, static_cast<uint8_t>(status), static_cast<uint8_t>(note),
          static_cast<uint8_t>(data2));
}

void TMidiNoteTrigger::SendMidiShort(uint8_t status, uint8_t data1, uint8_t data2) {
  Deliver(true, status, data1, data2);
}

// A message without a selected channel or note is not sent: it counts as a refused send.
void TMidiNoteTrigger::Deliver(bool valid, uint8_t status, uint8_t data1, uint8_t data2) {
  if (s_.Flags.GateClosed()) return;
  TMidiOutput* out = s_.Midi.Output;
  if (valid && out) {
    try {
      out->SendShortMessage(status, data1, data2);
    } catch (...) {
      // a refused send changes nothing else
    }
  }
  view_.SetMidiDataLight(s_.Midi.NoteOn0.load(std::memory_order_acquire) ||
                         s_.Midi.NoteOn1.load(std::memory_order_acquire));
  view_.SetMidiTimerEnabled(true);
}
