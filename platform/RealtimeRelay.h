// Brings wake-ups from an audio server's real-time thread to the main thread: Wake neither
// allocates nor waits (one semaphore release per batch), and a relay thread of its own posts one
// call of the handler to the main thread for each batch, which posting from the real-time thread
// could not do. Wake: any thread; the handler and destruction: the main thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <semaphore>
#include <thread>

#include "MainThreadDispatcher.h"

class TRealtimeRelay {
 public:
  TRealtimeRelay(IMainThreadDispatcher& ui, std::function<void()> on_main);
  ~TRealtimeRelay();
  TRealtimeRelay(const TRealtimeRelay&) = delete;
  TRealtimeRelay& operator=(const TRealtimeRelay&) = delete;

  void Wake();
  // Whether a handler call is asked for and has not started.
  bool Woken() const { return state_->woken.load(std::memory_order_acquire); }

 private:
  // Shared with posted calls, which may run after the relay is gone: they then do nothing.
  struct TState {
    std::function<void()> on_main;
    std::atomic<bool> woken{false};
  };
  void Run();

  IMainThreadDispatcher& ui_;
  std::shared_ptr<TState> state_;
  std::counting_semaphore<2> wake_{0};
  std::atomic<bool> quitting_{false};
  std::thread thread_;
};
