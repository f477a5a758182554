// The program's one JACK client: ports in_1, in_2, midi_out, out_1, out_2, one process callback
// that clears the outputs and runs the attached capture, output, sound and MIDI parts each cycle,
// port listing on this same client, and the watch on the server going away (IServerMonitor).
// Threads: the process callback runs on JACK's real-time thread; every other method runs on
// ordinary threads and is serialised here, since libjack's request channel has no lock.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ServerMonitor.h"

// What one part of the client sees of a cycle. Buffers may be null (the server gave none).
struct TJackCycle {
  jack_nframes_t Frames = 0;
  jack_nframes_t FirstFrame = 0;  // frame time of the cycle's first frame
  jack_time_t StartUsecs = 0;     // the cycle's start on jack_get_time's clock, 0 when unknown
  uint32_t SampleRate = 0;
  const float* In[2] = {nullptr, nullptr};
  float* Out[2] = {nullptr, nullptr};  // zeroed before the parts run; parts add to them
  void* MidiOut = nullptr;             // cleared before the parts run
  // Frames were skipped since our previous cycle (an xrun).
  bool AfterGap = false;
  // That previous cycle also ended after the next one was due: a server that went on without
  // us (PipeWire does) never delivered what we wrote in it. One that waits for late clients
  // (JACK2) skips no frames for them, and a driver's own xrun leaves our cycles on time.
  bool PreviousLost = false;
};

// A part run inside the process callback: JACK's real-time thread, no allocation, no waiting.
class IJackCyclePart {
 public:
  virtual ~IJackCyclePart() = default;
  virtual void Cycle(const TJackCycle& cycle) = 0;
};

// The parts, in the order they run in a cycle.
enum class TJackPart { kCapture, kOutput, kSound, kMidi, kCount };

enum class TJackPort { kIn1, kIn2, kMidiOut, kOut1, kOut2, kCount };

class TJackClient final : public IServerMonitor {
 public:
  // Opens the client on the default server (never starting one); Ok() tells whether it worked.
  explicit TJackClient(std::string name = "Tocsin");
  ~TJackClient() override;
  TJackClient(const TJackClient&) = delete;
  TJackClient& operator=(const TJackClient&) = delete;

  // A live client on a server that has not gone away.
  bool Ok();
  // The name the server gave the client: the name asked for, or JACK's unique variant of it
  // when another client holds that name. Empty while there is no client.
  std::string ClientName();
  bool Renamed();
  uint32_t SampleRate();
  // Frames per cycle (the server's period); 0 while there is no client.
  uint32_t BufferSize();
  // Counts the clients opened so far: a part attached under an older one is gone with it.
  uint64_t Generation() const { return generation_.load(std::memory_order_acquire); }

  // Full names of the ports of other clients with the type and flags given, in server order.
  std::vector<std::string> Ports(const char* type, unsigned long flags);
  // Full name of one of our own ports ("Tocsin:in_1"); empty while there is no client.
  std::string PortName(TJackPort port);
  bool Connect(const std::string& source, const std::string& destination);
  void Disconnect(const std::string& source, const std::string& destination);
  bool HasConnections(TJackPort port);
  // Connects out_1/out_2 to the first two physical playback ports unless something already
  // listens to them (a user's own connections stay as they are).
  void ConnectOutputsByDefault();

  // Runs part in every cycle from now on; false when another part holds the place or there
  // is no client. Detach returns once the callback no longer uses the part.
  bool Attach(TJackPart place, IJackCyclePart* part);
  void Detach(TJackPart place, IJackCyclePart* part);
  // Returns once a cycle under way (if any) has ended: what the callback read before the call
  // is no longer in use. Never waits for the server.
  void WaitOutOfCycle();

  // IServerMonitor. ServerAvailable reopens the client when the old one is gone and a server
  // answers: a true answer leaves a live client behind, ready for the devices to open on it.
  void SetLossHandler(TServerLossHandler handler) override;
  bool ServerAvailable() override;

  // For code running inside our process callback (JACK's real-time thread): where, in the
  // cycle under way, lies the captured block being handed over (its first and last frame; 0
  // when it began in an earlier cycle). Parts that run later in the cycle stamp what that block
  // causes with them. Outside the callback InCycle() is false.
  // samples: the block's length in captured samples, each worth step cycle frames (1 unless the
  // capture converts the rate); 0 when unknown.
  static void SetBlockFrames(jack_nframes_t first, jack_nframes_t last, uint32_t samples = 0,
                             double step = 1.0);
  bool InCycle() const;  // on this client's process thread, inside its callback
  // The same, told without anything thread-local: the process thread's id while a cycle runs.
  bool OnProcessThread() const {
    return in_cycle_.load(std::memory_order_acquire) &&
           cycle_thread_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }
  static jack_nframes_t BlockFirstFrame();
  static jack_nframes_t BlockLastFrame();
  // The cycle frame of the block's sample index (counted back from its last frame, rounded
  // late, never before the block's first frame in this cycle); the block's first frame when
  // its length is unknown. With BlockEventSample, where an event of the block's goes.
  static jack_nframes_t BlockSampleFrame(uint32_t index);

  // Cycles run so far, for tests and waits.
  uint64_t Cycles() const { return cycles_.load(std::memory_order_acquire); }
  // Cycles that came after skipped frames, and after a lost cycle of ours (see TJackCycle).
  uint64_t Gaps() const { return gaps_.load(std::memory_order_relaxed); }
  uint64_t LostCycles() const { return lost_cycles_.load(std::memory_order_relaxed); }

 private:
  bool OpenLocked();  // control_mutex_ held
  bool OpenAsLocked(const std::string& name);
  bool NameSharedLocked();  // another client on the server has our name
  void CloseLocked();       // control_mutex_ held; only for a live client
  void DropDeadLocked();    // control_mutex_ held; the server is gone: close the handle once
  void Watch();
  static int Process(jack_nframes_t frames, void* self);
  static void OnShutdown(void* self);
  static void OnInfoShutdown(jack_status_t code, const char* reason, void* self);
  void MarkLost(const char* reason);  // signal-handler rules: flag, copy, eventfd

  const std::string wanted_name_;
  std::mutex control_mutex_;  // every call into the server
  jack_client_t* client_ = nullptr;
  std::atomic<jack_client_t*> rt_client_{nullptr};  // the same, as the process callback reads it
  std::string name_;
  jack_port_t* ports_[static_cast<int>(TJackPort::kCount)] = {};
  std::atomic<uint64_t> generation_{0};

  std::atomic<IJackCyclePart*> parts_[static_cast<int>(TJackPart::kCount)] = {};
  std::atomic<bool> in_cycle_{false};
  std::atomic<std::thread::id> cycle_thread_{};
  static_assert(std::atomic<std::thread::id>::is_always_lock_free);
  std::atomic<uint64_t> cycles_{0};
  std::atomic<uint64_t> gaps_{0};
  std::atomic<uint64_t> lost_cycles_{0};
  // The previous cycle, process thread only; a new client starts afresh.
  jack_nframes_t next_first_ = 0;
  bool have_previous_ = false;
  bool previous_late_ = false;
  std::atomic<uint32_t> rate_{0};

  std::atomic<bool> lost_{false};
  std::atomic<uint64_t> losses_{0};
  char reason_[128] = {};
  std::atomic<bool> reason_set_{false};
  int event_fd_ = -1;
  std::atomic<bool> quit_{false};
  std::mutex handler_mutex_;
  TServerLossHandler handler_;
  std::thread watcher_;
};
