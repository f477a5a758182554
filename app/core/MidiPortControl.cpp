#include "MidiPortControl.h"

#include "NoteNames.h"
#include "midi/MidiOut.h"

namespace {
// Puts the cursor back however the step ends.
class TBusyCursor {
 public:
  explicit TBusyCursor(IMidiPortView& view) : view_(view) { view_.ShowBusyCursor(); }
  ~TBusyCursor() {
    try {
      view_.RestoreCursor();
    } catch (...) {
    }
  }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;

 private:
  IMidiPortView& view_;
};
}  // namespace

std::unique_ptr<TMidiOutput> CreateMidiOutput(IMidiOutService& service,
                                              IMainThreadDispatcher& dispatcher) {
  try {
    return std::make_unique<TMidiOutput>(service, dispatcher);
  } catch (...) {
    return nullptr;
  }
}

TMidiPortList FillMidiPortList(TMidiOutput* output, IMidiPortView& view) {
  std::vector<std::string> names;
  if (output) {
    TBusyCursor cursor(view);
    for (int32_t id = 0; id < output->DeviceCount(); ++id) {
      try {
        output->SetDeviceID(id);
        names.push_back(output->ProductName());
      } catch (...) {
        // a port that cannot be queried is not offered
      }
    }
  }
  TMidiPortList list;
  if (names.empty()) {
    list.Items = {kNoMidiPort};
  } else {
    list.Items = std::move(names);
    list.Selected = 0;
  }
  if (output) output->Onmidioutput = [](TMidiOutput*) {};
  return list;
}

TMidiPortList ListMidiPorts(IMidiOutService* service, const std::string& chosen,
                            const std::string& current) {
  TMidiPortList list;
  const uint32_t count = service ? service->GetNumDevs() : 0;
  for (uint32_t id = 0; id < count; ++id) {
    TMidiOutCaps caps;
    if (service->GetDevCaps(static_cast<int32_t>(id), caps) == kMidiOk)
      list.Items.push_back(caps.ProductName);
  }
  if (list.Items.empty()) {
    list.Items = {kNoMidiPort};
    return list;
  }
  auto find = [&](const std::string& name) {
    for (size_t i = 0; i < list.Items.size(); ++i)
      if (!name.empty() && list.Items[i] == name) return static_cast<int>(i);
    return -1;
  };
  list.Selected = find(chosen);
  if (list.Selected < 0) list.Selected = find(current);
  if (list.Selected < 0 && chosen.empty()) list.Selected = 0;
  return list;
}

bool SelectMidiPort(TMidiOutput* output, TMyMidi& midi, const std::string& name) {
  if (!output) return false;
  try {
    output->SetProductName(name);
    midi.DeviceName = name;
    return true;
  } catch (...) {
    return false;
  }
}

bool SetMidiActive(TMidiOutput* output, bool open, IMidiPortView& view) {
  try {
    view.SetMidiStateLight(false);
  } catch (...) {
  }
  TBusyCursor cursor(view);
  if (open) {
    if (!output) return false;
    output->Open();
    view.Wait(200);
    view.SetMidiStateLight(true);
    return true;
  }
  if (output) output->Close();
  view.SetMidiStateLight(false);
  return false;
}

void TimerMidiOutTimer(IMidiActivityView& view) {
  view.SetMidiTimerEnabled(false);
  view.SetMidiDataLight(false);
}

void MidiChannelChanged(TMyMidi& midi, int channel_index) {
  if (channel_index < 0 || channel_index >= kMidiChannelCount) return;
  midi.Channel = static_cast<uint8_t>(channel_index + 1);
}
