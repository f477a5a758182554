// How engine, MIDI and timing code reach the UI thread without knowing the window toolkit.
// The app implements it on the Qt event loop; tests implement it with a plain loop.
#pragma once

#include <functional>

class IMainThreadDispatcher {
 public:
  virtual ~IMainThreadDispatcher() = default;
  // Queues fn to run on the main thread and returns at once. Posted calls run in posting order.
  virtual void Post(std::function<void()> fn) = 0;
  // Runs fn on the main thread and returns when it has run. Called on the main thread, it runs fn
  // directly. Never call it from a thread the main thread may be waiting for.
  virtual void Call(std::function<void()> fn) = 0;
  virtual bool IsMainThread() const = 0;
};
