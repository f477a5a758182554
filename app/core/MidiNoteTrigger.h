// The MIDI side of a "Note MIDI" channel: note-on when detection sees the level rise above the
// threshold, note-off when it falls back, each one short message on MyMidi.Output, and the MIDI
// activity light with its 100 ms timer.
// NoteOn, NoteOff and SendMidiShort run on the capture thread: they read the list selections
// from the control snapshot and reach the window only through IMidiActivityView.
#pragma once

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

  // The status byte for a channel-list selection, or -1 when no channel entry is selected.
  static int Status(int base, int channel_index);

 private:
  void Note(int channel, int base, int data2);
  void Deliver(bool valid, uint8_t status, uint8_t data1, uint8_t data2);

  TState s_;
  const TControlSnapshot& controls_;
  IMidiActivityView& view_;
};
