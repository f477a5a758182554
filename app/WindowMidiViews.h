// The window's MIDI indicators and services as the note triggering and the port handling see
// them: the "Données Midi" activity light with its 100 ms timer, the "Midi Out" state light, the
// hourglass cursor and the pumped wait. The activity side is called on the capture thread too:
// from there it only posts to the UI thread, and from inside an audio server's cycle it only
// leaves the newest state for a relay to bring over.
#pragma once

#include <QTimer>
#include <atomic>

#include "MidiNoteTrigger.h"
#include "MidiPortControl.h"
#include "platform/MainThreadDispatcher.h"
#include "platform/RealtimeRelay.h"

class TApdStatusLight;

class TWindowMidiViews final : public IMidiActivityView, public IMidiPortView {
 public:
  // data_light: LedMidiOutData; state_light: LedMidiOutState; timer: TimerMidiOut.
  TWindowMidiViews(IMainThreadDispatcher& ui, TApdStatusLight& data_light,
                   TApdStatusLight& state_light, QTimer& timer);

  // Any thread.
  void SetMidiDataLight(bool lit) override;
  void SetMidiTimerEnabled(bool enabled) override;
  void ShowTapActivity(bool lit) override;

  // UI thread.
  void SetMidiStateLight(bool lit) override;
  void ShowBusyCursor() override;
  void RestoreCursor() override;
  void Wait(int ms) override;

 private:
  IMainThreadDispatcher& ui_;
  TApdStatusLight& data_light_;
  TApdStatusLight& state_light_;
  QTimer& timer_;
  // Newest states left by the cycle: -1 none, else 0 or 1.
  std::atomic<int> cycle_light_{-1};
  std::atomic<int> cycle_timer_{-1};
  TRealtimeRelay relay_;
};
