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
  if (channel != 0 && channel != 1) return;
  // Velocity 0 would be a note-off, anything above 127 not a data byte.
  Note(channel, true, std::clamp(velocity, 1, 127), nullptr);
}

void TMidiNoteTrigger::NoteOff(int channel) {
  if (channel != 0 && channel != 1) return;
  Note(channel, false, kNoteOffVelocity, nullptr);
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

void TMidiNoteTrigger::HitNoteOn(int pad, int velocity, uint64_t frame, uint64_t join_frames) {
  if (pad != 0 && pad != 1) return;
  Note(kHitHolder + pad, true, std::clamp(velocity, 1, 127), &frame, join_frames);
}

void TMidiNoteTrigger::HitNoteOff(int pad, uint64_t frame) {
  if (pad != 0 && pad != 1) return;
  Note(kHitHolder + pad, false, kNoteOffVelocity, &frame);
}

namespace {
constexpr uint32_t kKeyMask = 0x7F0F;  // note << 8 | channel nibble
// Tries of the keys before an audio thread defers its event: a decision and its send take
// microseconds.
constexpr int kKeySpins = 256;

void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}
}  // namespace

bool TMidiNoteTrigger::TryLockKeys() {
  for (int i = 0; i < kKeySpins; ++i) {
    if (!keys_busy_.test_and_set(std::memory_order_acquire)) return true;
    Pause();
  }
  return false;
}

void TMidiNoteTrigger::LockKeys() {
  for (int i = 0; keys_busy_.test_and_set(std::memory_order_acquire); ++i) {
    if (i < kKeySpins)
      Pause();
    else
      std::this_thread::yield();
  }
}

bool TMidiNoteTrigger::HeldByOther(int holder, uint32_t key) const {
  for (int h = 0; h < kHolders; ++h) {
    if (h == holder) continue;
    const uint32_t w = wire_[h].load(std::memory_order_relaxed);
    if (w && (w & kKeyMask) == (key & kKeyMask)) return true;
  }
  return false;
}

bool TMidiNoteTrigger::SameStroke(int holder, uint32_t key, uint64_t frame,
                                  uint64_t join_frames) const {
  for (int pad = 0; pad < 2; ++pad) {
    const int h = kHitHolder + pad;
    if (h == holder) continue;
    const uint32_t w = wire_[h].load(std::memory_order_relaxed);
    if (!w || (w & kKeyMask) != (key & kKeyMask)) continue;
    const uint64_t on = hit_on_[pad];
    if ((on > frame ? on - frame : frame - on) <= join_frames) return true;
  }
  return false;
}

bool TMidiNoteTrigger::AnySounding() const {
  return s_.Midi.NoteOn0.load(std::memory_order_acquire) ||
         s_.Midi.NoteOn1.load(std::memory_order_acquire) ||
         wire_[kHitHolder].load(std::memory_order_relaxed) != 0 ||
         wire_[kHitHolder + 1].load(std::memory_order_relaxed) != 0;
}

void TMidiNoteTrigger::ShowActivity(const uint64_t* frame) {
  if (frame) {
    view_.ShowTapActivity(AnySounding());
    return;
  }
  view_.SetMidiDataLight(AnySounding());
  view_.SetMidiTimerEnabled(true);
}

// A note-on reads the selections at the moment of sending; its note-off repeats the channel and
// note that note-on carried, whatever the lists say by then, or the synthesiser would keep the
// first note sounding. The level road's sounding flag changes whether or not anything is sent.
void TMidiNoteTrigger::Note(int holder, bool on, int data2, const uint64_t* frame,
                            uint64_t join_frames) {
  const int channel = holder % 2;
  const bool hit = holder >= kHitHolder;
  TSending sending(sending_);
  const TKeyEvent e{static_cast<int8_t>(holder),
                    on,
                    static_cast<int16_t>(Status(on ? kNoteOnBase : kNoteOffBase,
                                                controls_.MidiChannelIndex.load(
                                                    std::memory_order_relaxed))),
                    static_cast<int16_t>(MidiNoteForEntry(
                        controls_.NoteIndex[channel].load(std::memory_order_relaxed))),
                    static_cast<uint8_t>(data2),
                    frame ? *frame : 0,
                    join_frames};
  if (!hit) s_.Midi.NoteOn(channel).store(on, std::memory_order_release);
  // Closed: nothing is sent and the keys stay as they are, for ReleaseNotes to end.
  if (s_.Flags.GateClosed()) return;
  bool queued = false;
  if (!hit) {
    LockKeys();  // the level road may wait: for the audio thread's few microseconds at most
  } else if (!TryLockKeys()) {
    // The level road holds the keys on another thread: whoever holds them next decides this
    // one, in order. The audio thread never waits.
    if (!deferred_.Push(e)) {
      missed_.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    queued = true;
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (keys_busy_.test_and_set(std::memory_order_acquire)) return;
  }
  DecideDeferred();
  if (!queued) Decide(e);
  UnlockKeys();
}

void TMidiNoteTrigger::UnlockKeys() {
  for (;;) {
    keys_busy_.clear(std::memory_order_release);
    // An event deferred while the keys were held, after the last look, is decided here: its
    // thread looked at the flag before it was cleared.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (deferred_.Empty() || keys_busy_.test_and_set(std::memory_order_acquire)) return;
    DecideDeferred();
  }
}

void TMidiNoteTrigger::DecideDeferred() {
  TKeyEvent e;
  while (deferred_.Pop(e)) Decide(e);
}

void TMidiNoteTrigger::Decide(const TKeyEvent& e) {
  const int holder = e.Holder;
  const int channel = holder % 2;
  const bool hit = holder >= kHitHolder;
  const uint64_t* frame = hit ? &e.Frame : nullptr;
  const int status = e.Status, note = e.Note;
  const uint32_t sounding = wire_[holder].load(std::memory_order_relaxed);
  const bool valid = status >= 0 && note >= 0;
  const uint32_t key = valid ? kOnWire | static_cast<uint32_t>(note) << 8 |
                                   (static_cast<uint32_t>(status) & 0x0F)
                             : 0;
  if (e.On) {
    // A new hit on a note this holder still sounds: that note ends first.
    if (sounding && Release(holder, sounding, frame) != TSent::Gated)
      wire_[holder].store(0, std::memory_order_relaxed);
    const bool held = valid && HeldByOther(holder, key);
    if (held && (!hit || SameStroke(holder, key, e.Frame, e.Join))) {
      wire_[holder].store(key, std::memory_order_relaxed);  // joins the key: no second note-on
      ShowActivity(frame);
    } else {
      // A hit of its own on a key still sounding: that note ends first (the other holders keep
      // the key, now for this note).
      if (held)
        Deliver(true, static_cast<uint8_t>(kNoteOffBase | (key & 0x0F)), static_cast<uint8_t>(note),
                kNoteOffVelocity, frame);
      if (Deliver(valid, static_cast<uint8_t>(status), static_cast<uint8_t>(note), e.Data2,
                  frame) == TSent::Sent)
        wire_[holder].store(key, std::memory_order_relaxed);
    }
    if (hit) hit_on_[channel] = e.Frame;
  } else if (sounding) {
    if (Release(holder, sounding, frame) != TSent::Gated)
      wire_[holder].store(0, std::memory_order_relaxed);
  } else if (!hit) {
    // Nothing of this channel on the wire: the note-off of the lists' note, as ever, unless
    // another channel holds that very key.
    if (valid && HeldByOther(holder, key))
      ShowActivity(frame);
    else
      Deliver(valid, static_cast<uint8_t>(status), static_cast<uint8_t>(note), e.Data2, frame);
  }
}

TMidiNoteTrigger::TSent TMidiNoteTrigger::Release(int holder, uint32_t sounding,
                                                  const uint64_t* frame) {
  if (HeldByOther(holder, sounding)) {
    ShowActivity(frame);
    return TSent::Sent;  // another channel still holds the key
  }
  return Deliver(true, static_cast<uint8_t>(kNoteOffBase | (sounding & 0x0F)),
                 static_cast<uint8_t>((sounding >> 8) & 0x7F), kNoteOffVelocity, frame);
}

void TMidiNoteTrigger::SendMidiShort(uint8_t status, uint8_t data1, uint8_t data2) {
  TSending sending(sending_);
  Deliver(true, status, data1, data2, nullptr);
}

void TMidiNoteTrigger::ReleaseNotes(bool server_lost) {
  std::atomic_thread_fence(std::memory_order_seq_cst);
  // A send that passed its gate check before the gate closed takes microseconds to finish.
  while (sending_.load(std::memory_order_acquire) != 0) std::this_thread::yield();
  // No send can be under way now: the keys are free, and what was deferred before the gate
  // closed is dropped (its note-offs are the ones sent here).
  LockKeys();
  TKeyEvent dropped;
  while (deferred_.Pop(dropped)) {
  }
  keys_busy_.clear(std::memory_order_release);
  for (int holder = 0; holder < kHolders; ++holder) {
    const uint32_t sounding = wire_[holder].exchange(0, std::memory_order_acq_rel);
    if (holder < kHitHolder) s_.Midi.NoteOn(holder).store(false, std::memory_order_release);
    // A key two channels held gets its note-off once, from the last of them.
    if (!sounding || HeldByOther(holder, sounding)) continue;
    SendNoteOff(sounding);
    if (server_lost) owed_[holder] = sounding;
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
                                                  uint8_t data2, const uint64_t* frame) {
  if (s_.Flags.GateClosed()) return TSent::Gated;
  TSent sent = TSent::Failed;
  TMidiOutput* out = s_.Midi.Output;
  // Inside an audio server's cycle too: a refused send throws nothing, builds no error text and
  // changes nothing else. From the capture tap the message is placed at its capture frame.
  if (valid && out) {
    const TMidiResult r = frame ? out->SendShortMessageAt(status, data1, data2, *frame)
                                : out->TrySendShortMessage(status, data1, data2);
    if (r == kMidiOk) sent = TSent::Sent;
  }
  ShowActivity(frame);
  return sent;
}
