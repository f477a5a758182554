// The audio output's notify thread: runs its handler once per Signal on a thread of its own, so
// that closing the device at the end of a stream never runs on the thread delivering the stream
// (which may be the output's own wave thread). Signals while the handler runs coalesce into one
// more run, as with an auto-reset event.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class TSLNotifyThread {
 public:
  explicit TSLNotifyThread(std::function<void()> handler);
  ~TSLNotifyThread();  // stops
  TSLNotifyThread(const TSLNotifyThread&) = delete;
  TSLNotifyThread& operator=(const TSLNotifyThread&) = delete;

  // Any thread, never waits for the handler.
  void Signal();
  // Ends the thread after the run in progress; a pending signal is dropped.
  void Stop();
  std::thread::id Id() const { return thread_.get_id(); }

 private:
  void Run();

  std::function<void()> handler_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
  bool stopping_ = false;
  std::thread thread_;
};
