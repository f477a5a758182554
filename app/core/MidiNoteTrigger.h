// The MIDI side of a "Note MIDI" channel: note-on when detection sees the level rise above the
// threshold, note-off when it falls back, each one short message on MyMidi.Output, and the MIDI
// activity light with its 100 ms timer.
// NoteOn, NoteOff and SendMidiShort run on the capture thread: they read the list selections
// from the control snapshot and reach the window only through IMidiActivityView.
#pragma once

#include <atomic>
#include <cstdint>

#include "AppState.h"
#include "ControlSnapshot.h"

// The window's MIDI activity indicators. Called on the capture thread by the sends and on the UI
// thread by TimerMidiOutTimer; the window posts to the UI thread, never waits.
class IMidiActivityView {
 public:
  virtual ~IMidiActivityView() = default;
  virtual void SetMidiDataLight(bool lit) = 0;  // LedMidiOutData ("Données Midi")
  // TimerMidiOut (100 ms): enabling a timer that already runs leaves it running.
  virtual void SetMidiTimerEnabled(bool enabled) = 0;
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
  // UI thread: another port is chosen; the owed note-offs can no longer reach their notes.
  void DropOwedNoteOffs() { owed_[0] = owed_[1] = 0; }

  // The status byte for a channel-list selection, or -1 when no channel entry is selected.
  static int Status(int base, int channel_index);

 private:
  enum class TSent { Gated, Sent, Failed };
  void Note(int channel, bool on, int data2);
  TSent Deliver(bool valid, uint8_t status, uint8_t data1, uint8_t data2);

  TState s_;
  const TControlSnapshot& controls_;
  IMidiActivityView& view_;
  // The note each channel has sounding on the wire: kOnWire | note << 8 | status, 0 for none.
  // Written by the capture thread, taken by ReleaseNotes once no send is under way.
  std::atomic<uint32_t> wire_[2] = {0, 0};
  std::atomic<int> sending_{0};
  uint32_t owed_[2] = {0, 0};  // UI thread: note-offs owed since a server loss, as in wire_
  bool SendNoteOff(
      uint32_t sounding);  // past the gate; false when the port refused it  // capture-thread sends
                           // between their gate check and their end
};
