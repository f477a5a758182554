// How the window learns that the audio server its devices run on went away, and when it answers
// again. Back-ends: RtAudio/RtMidi (rt/), libjack (jack/) and a scripted one for tests (virtual/).
#pragma once

#include <functional>
#include <string>

// Reason texts are short, in French, fit for the status bar.
using TServerLossHandler = std::function<void(const std::string& reason)>;

class IServerMonitor {
 public:
  virtual ~IServerMonitor() = default;
  // The handler runs once per loss on an ordinary thread of the back-end (never a real-time
  // one, never while holding a lock of the engine); it must only post to the main thread.
  // Set it before the first Start; an empty handler stops the reports.
  virtual void SetLossHandler(TServerLossHandler handler) = 0;
  // True when the server answers, so the devices can be opened again. UI thread; never waits
  // for a dead server.
  virtual bool ServerAvailable() = 0;
};
