// The "Sortie MIDI" port handling of the main window without the toolkit: creating the output
// object, the port list's entries, selecting a port by name, opening and closing it for Start
// and Stop, and the activity timer's tick. All of it runs on the UI thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "AppState.h"
#include "MidiNoteTrigger.h"
#include "platform/MainThreadDispatcher.h"
#include "platform/MidiOutService.h"

class TMidiOutput;

// UTF-8, as shown.
inline constexpr char kNoMidiPort[] = "Port non sp\xC3\xA9" "cifi\xC3\xA9";

// The window's services around the port, on the UI thread.
class IMidiPortView {
 public:
  virtual ~IMidiPortView() = default;
  virtual void SetMidiStateLight(bool lit) = 0;  // LedMidiOutState ("Midi Out")
  virtual void ShowBusyCursor() = 0;             // the hourglass
  virtual void RestoreCursor() = 0;              // the cursor shown before ShowBusyCursor
  virtual void Wait(int ms) = 0;                 // waits, processing window messages
};

struct TMidiPortList {
  std::vector<std::string> Items;
  int Selected = -1;  // -1: nothing selected
};

// The window's output object; null when it cannot be created (the error is swallowed).
std::unique_ptr<TMidiOutput> CreateMidiOutput(IMidiOutService& service,
                                              IMainThreadDispatcher& dispatcher);

// lstMidiOut's entries: the product names of ports 0..DeviceCount-1 with the first selected, or
// only kNoMidiPort with nothing selected. Steps output's DeviceID over the ports (a port whose
// query fails is left out) and gives Onmidioutput a handler that does nothing.
TMidiPortList FillMidiPortList(TMidiOutput* output, IMidiPortView& view);

// The ports as they are now, for a list that follows them while the window runs: read from the
// service, so the output keeps its port (and may be open). Selected: the entry named chosen,
// else the entry named current, else the first one when chosen is empty (nothing chosen yet:
// the first port is taken, as at creation), else none. Only kNoMidiPort when there is no port.
TMidiPortList ListMidiPorts(IMidiOutService* service, const std::string& chosen,
                            const std::string& current);

// lstMidiOutChange with the selected entry's text: the output takes the port, then
// MyMidi.DeviceName the name. A refusal is swallowed and DeviceName keeps its value. Returns
// whether the output took the port.
bool SelectMidiPort(TMidiOutput* output, TMyMidi& midi, const std::string& name);

// Start (open) and Stop (close). Returns whether it opened the port. An error from Open or Close
// passes to the caller after the cursor has been restored. Without an output object nothing is
// opened and the light stays dark.
bool SetMidiActive(TMidiOutput* output, bool open, IMidiPortView& view);

// TimerMidiOut's tick: the timer stops and the activity light goes dark.
void TimerMidiOutTimer(IMidiActivityView& view);

// lstMidiOutChannelChange: MyMidi.Channel follows the selection (index + 1). Without a valid
// selection it keeps its value: the record always holds a channel 1..16.
void MidiChannelChanged(TMyMidi& midi, int channel_index);
