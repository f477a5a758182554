// Watches the JACK server that the RtAudio and RtMidi back-ends run on: a small client of its
// own hears the server's shutdown, reports the loss once, and probes until the server answers
// again. Without a JACK server at start there is nothing to lose: no reports, always available.
// Threads: JACK's notification thread only flags the loss; the monitor's own thread reports and
// probes; ServerAvailable (UI thread) only reads a flag.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/ServerMonitor.h"

typedef struct _jack_client jack_client_t;

// How many JACK server losses this process has seen. A JACK client made before the latest loss
// belongs to a dead server: closing it after a new client opened frees it twice inside JACK,
// so its owner abandons it instead.
uint64_t JackServerLosses();

class TRtServerMonitor final : public IServerMonitor {
 public:
  // client_name: the watching client's name (never the server's own name).
  explicit TRtServerMonitor(std::string client_name = "Tocsin-veille");
  ~TRtServerMonitor() override;
  TRtServerMonitor(const TRtServerMonitor&) = delete;
  TRtServerMonitor& operator=(const TRtServerMonitor&) = delete;

  void SetLossHandler(TServerLossHandler handler) override;
  bool ServerAvailable() override;

  // Whether a JACK server answered at start, so that there is something to watch.
  bool Watching() const { return watching_; }

 private:
  static void OnShutdown(void* self);
  void Flag();  // JACK's thread: an atomic and a write(), nothing more
  bool Connect();
  void Run();

  std::string name_;
  bool watching_ = false;
  std::mutex mutex_;  // handler_
  TServerLossHandler handler_;
  jack_client_t* client_ = nullptr;  // monitor thread after construction
  std::atomic<bool> flagged_{false};
  std::atomic<bool> lost_{false};
  std::atomic<bool> quit_{false};
  int wake_fd_ = -1;
  std::thread thread_;
};
