// How the window learns that the audio server its devices run on went away, when it answers
// again, and when the server's ports change. Back-ends: RtAudio/RtMidi (rt/), libjack (jack/) and
// a scripted one for tests (virtual/).
#pragma once

#include <functional>
#include <string>

// Reason texts are short, in French, fit for the status bar.
using TServerLossHandler = std::function<void(const std::string& reason)>;

// What changed on a server that answers: it came back after a loss (the devices may be opened
// on it again), or ports of other programs came, went or were renamed (the device lists are out
// of date).
enum class TServerChange { kBack, kPorts };
using TServerChangeHandler = std::function<void(TServerChange change)>;

class IServerMonitor {
 public:
  virtual ~IServerMonitor() = default;
  // The handler runs once per loss on an ordinary thread of the back-end (never a real-time
  // one, never while holding a lock of the engine); it must only post to the main thread.
  // Set it before the first Start; an empty handler stops the reports (on the JACK back-end,
  // once a report under way has ended).
  virtual void SetLossHandler(TServerLossHandler handler) = 0;
  // The same for changes, on the same thread, several close changes told once. Back-ends that
  // cannot tell never call it.
  virtual void SetChangeHandler(TServerChangeHandler) {}
  // True when the server answers, so the devices can be opened again. UI thread; never waits
  // for a dead server.
  virtual bool ServerAvailable() = 0;
};
