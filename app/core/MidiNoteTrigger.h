// The MIDI side of a "Note MIDI" channel: note-on when detection sees the level rise above the
// threshold, note-off when it falls back, each one short message on MyMidi.Output, and the MIDI
// activity light with its 100 ms timer. Hit detection ("Frappe") sends its notes here too, with
// the frame of each hit.
// One key, one note: a key (MIDI channel and note) that a channel holds sounding is not sent a
// second note-on by another channel set to the same note (a mono input drives both): that one
// joins it, and the key's note-off goes out when the last channel holding it lets go. A hit is
// the exception: a hit that is not the same stroke as the note sounding on its key (which began
// within the hit's join frames of it, on the other pad) ends that note and starts its own.
// NoteOn, NoteOff, HitNoteOn, HitNoteOff and SendMidiShort run on the capture side (the capture
// thread, the audio server's cycle, the stream callback): they read the list selections from the
// control snapshot and reach the window only through IMidiActivityView. The level road and the
// hit road may run on two of those threads at once: one short flag, held around a decision and
// its send, keeps their keys apart. The level road waits for it (the hit road holds it for
// microseconds); the hit road, on an audio thread, never waits: when the flag stays taken it
// leaves its event in a fixed queue, which whoever holds the flag decides before letting go.
#pragma once

#include <atomic>
#include <cstdint>

#include "AppState.h"
#include "ControlSnapshot.h"
#include "platform/LockFreeQueue.h"

// The window's MIDI activity indicators. Called on the capture thread by the sends and on the UI
// thread by TimerMidiOutTimer; the window posts to the UI thread, never waits.
class IMidiActivityView {
 public:
  virtual ~IMidiActivityView() = default;
  virtual void SetMidiDataLight(bool lit) = 0;  // LedMidiOutData ("Données Midi")
  // TimerMidiOut (100 ms): enabling a timer that already runs leaves it running.
  virtual void SetMidiTimerEnabled(bool enabled) = 0;
  // Both, after a send of the capture tap's, on an audio thread: nothing may allocate or wait
  // there, whatever the thread (a window leaves the state for the UI thread to fetch).
  virtual void ShowTapActivity(bool lit) {
    SetMidiDataLight(lit);
    SetMidiTimerEnabled(true);
  }
};

class TMidiNoteTrigger {
 public:
  struct TState {
    TRunFlags& Flags;
    TMyMidi& Midi;
  };

  // On the main window's global records.
  TMidiNoteTrigger(const TControlSnapshot& controls, IMidiActivityView& view);
  TMidiNoteTrigger(const TState& state, const TControlSnapshot& controls, IMidiActivityView& view);

  // channel: 0 (left) or 1 (right); other values are ignored.
  void NoteOn(int channel, int velocity);
  void NoteOff(int channel);
  // Hit detection's note of a pad (0 left, 1 right), caused at `frame` of the capture: sent with
  // that frame (TMidiOutput::SendShortMessageAt). A new hit on a note the pad still sounds sends
  // that note's note-off first; so does a hit on a key another channel holds, unless the other
  // pad's note began within join_frames of this one (the same stroke, heard twice: it joins). A
  // note-off for a pad that holds nothing sends nothing. The level road's sounding flags
  // (MyMidi.NoteOn0/1) are left alone.
  void HitNoteOn(int pad, int velocity, uint64_t frame, uint64_t join_frames = 0);
  void HitNoteOff(int pad, uint64_t frame);
  // The gated send: nothing while stopping or closing; a refused send is swallowed.
  void SendMidiShort(uint8_t status, uint8_t data1, uint8_t data2);
  // UI thread, once the gate is closed (Stop, close, a failed Start, a lost server) and before
  // the port closes: the note-off of every note on the wire, with the channel and note of its
  // note-on, sent past the gate; both sounding flags cleared, so the next hit is a fresh
  // note-on. Waits only for a send the capture thread has under way.
  // server_lost: the port may have died with the server and the note-offs gone nowhere; they
  // are owed, and sent again by SendOwedNoteOffs once a port is open.
  void ReleaseNotes(bool server_lost = false);
  // UI thread, right after the port opened: the note-offs owed since a server loss.
  void SendOwedNoteOffs();
  bool OwesNoteOffs() const {
    for (uint32_t owed : owed_)
      if (owed) return true;
    return false;
  }
  // UI thread: another port is chosen; the owed note-offs can no longer reach their notes.
  void DropOwedNoteOffs() {
    for (uint32_t& owed : owed_) owed = 0;
  }

  // Hit events dropped because the queue of those waiting for the keys was full.
  uint64_t Missed() const { return missed_.load(std::memory_order_relaxed); }

  // The status byte for a channel-list selection, or -1 when no channel entry is selected.
  static int Status(int base, int channel_index);

 private:
  enum class TSent { Gated, Sent, Failed };
  // Who holds a key: the level road's channel 0 and 1, then hit detection's pads 0 and 1.
  static constexpr int kHolders = 4;
  static constexpr int kHitHolder = 2;
  // One note event as its send found the selections, decided once the keys are held.
  struct TKeyEvent {
    int8_t Holder;
    bool On;
    int16_t Status;  // -1: no channel selected
    int16_t Note;    // -1: no note
    uint8_t Data2;
    uint64_t Frame;  // hits only
    uint64_t Join;   // hits only
  };
  void Note(int holder, bool on, int data2, const uint64_t* frame, uint64_t join_frames = 0);
  void Decide(const TKeyEvent& e);  // keys held
  void DecideDeferred();            // keys held
  // Another hit pad holds `key` with a note that began within join_frames of `frame`.
  bool SameStroke(int holder, uint32_t key, uint64_t frame, uint64_t join_frames) const;
  TSent Deliver(bool valid, uint8_t status, uint8_t data1, uint8_t data2, const uint64_t* frame);
  // Sends the note-off of `sounding` unless another holder than `holder` has that key too.
  TSent Release(int holder, uint32_t sounding, const uint64_t* frame);
  bool HeldByOther(int holder, uint32_t key) const;
  bool AnySounding() const;
  void ShowActivity(const uint64_t* frame);  // frame: a send of the capture tap's
  bool TryLockKeys();  // a few tries
  void LockKeys();     // waits
  void UnlockKeys();   // decides what was deferred meanwhile

  TState s_;
  const TControlSnapshot& controls_;
  IMidiActivityView& view_;
  // The note each holder has sounding on the wire: kOnWire | note << 8 | status, 0 for none.
  // Written on the capture side under keys_busy_, taken by ReleaseNotes once no send is under way.
  std::atomic<uint32_t> wire_[kHolders] = {0, 0, 0, 0};
  uint64_t hit_on_[2] = {0, 0};  // under keys_busy_: the frame each hit pad's note began at
  std::atomic_flag keys_busy_;
  TSpscQueue<TKeyEvent, 256> deferred_;  // from the hit road's thread to whoever holds the keys
  std::atomic<int> sending_{0};  // capture-side sends between their gate check and their end
  std::atomic<uint64_t> missed_{0};
  uint32_t owed_[kHolders] = {0, 0, 0, 0};  // UI thread: note-offs owed since a server loss
  bool SendNoteOff(uint32_t sounding);  // past the gate; false when the port refused it
};
