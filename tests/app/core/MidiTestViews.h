// Window stand-ins for the MIDI tests: record what the note triggering and the port handling
// ask of the window, from any thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "MidiNoteTrigger.h"
#include "MidiPortControl.h"

struct RecordingMidiView : IMidiActivityView, IMidiPortView {
  mutable std::mutex mutex;
  std::vector<std::string> calls;

  void Add(std::string s) {
    std::lock_guard lock(mutex);
    calls.push_back(std::move(s));
  }
  std::vector<std::string> Calls() const {
    std::lock_guard lock(mutex);
    return calls;
  }
  void Clear() {
    std::lock_guard lock(mutex);
    calls.clear();
  }

  void SetMidiDataLight(bool lit) override { Add(lit ? "data on" : "data off"); }
  void SetMidiTimerEnabled(bool e) override { Add(e ? "timer on" : "timer off"); }
  void SetMidiStateLight(bool lit) override { Add(lit ? "state on" : "state off"); }
  void ShowBusyCursor() override { Add("busy"); }
  void RestoreCursor() override { Add("restore"); }
  void Wait(int ms) override { Add("wait " + std::to_string(ms)); }
};
