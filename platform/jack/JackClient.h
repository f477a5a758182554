// The program's one JACK client: ports in_1, in_2, midi_out, out_1, out_2, one process callback
// that clears the outputs and runs the attached capture, output, sound and MIDI parts each cycle,
// port listing on this same client, and the watch on the server (IServerMonitor): its loss, a new
// client opened by itself once a server answers again, and the changes of other clients' ports.
// Threads: the process callback runs on JACK's real-time thread; JACK's notification callbacks
// only raise flags and wake the watch thread, which makes every call that follows; every other
// method runs on ordinary threads and is serialised here, since libjack's request channel has
// no lock.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
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
  // That previous cycle was left behind (the server began its next cycle while ours still ran,
  // and ran the graph without us since), or only ended after the next one was due, on a server
  // known to drop such a cycle's output: PipeWire. What we wrote in it never reached anyone.
  bool PreviousLost = false;
  // That previous cycle was left behind by another server: jackd without --sync hands part of
  // a late cycle's output on late and drops the rest. Or it ended after the next one was due on
  // a server whose frame clock cannot tell. What we wrote may have been delivered, or not. (A
  // server that waits for late clients, jackd --sync, leaves nobody behind and delivers late.)
  bool PreviousMaybeLost = false;
};

// What a server is known to do with a client's cycle that ends late, from its version text
// (jack_get_version_string()).
struct TJackServerKind {
  // Its frame clock moves on as soon as it begins a cycle, also for a client still in the one
  // before, so that such a client can tell it was left behind (JACK2 and PipeWire).
  bool LiveClock = false;
  // It drops what a client that was left behind wrote (PipeWire).
  bool DropsLeftBehind = false;
};
TJackServerKind JackServerKindOf(const char* version);

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
  // After a loss the watch thread also tries, every quarter of a second, so that an idle
  // program is back on a restarted server within a second or two (reported as kBack).
  void SetLossHandler(TServerLossHandler handler) override;
  void SetChangeHandler(TServerChangeHandler handler) override;
  bool ServerAvailable() override;

  // Called on the watch thread after other clients' ports changed and after a new client was
  // opened, before the change handler; key identifies the listener for RemoveGraphListener,
  // which returns once no call to it runs. Listeners may call this client's methods.
  void AddGraphListener(const void* key, std::function<void()> listener);
  void RemoveGraphListener(const void* key);
  // Ports of any client unregistered so far (JACK's notification thread counts them): a port
  // that is found again after this changed may be a new one of the same name.
  uint64_t PortsGone() const { return ports_gone_.load(std::memory_order_acquire); }

  // For code running inside our process callback (JACK's real-time thread): where, in the
  // cycle under way, lies the captured block being handed over (its first and last frame; 0
  // when it began in an earlier cycle). Parts that run later in the cycle stamp what that block
  // causes with them. Outside the callback InCycle() is false.
  // samples: the block's length in captured samples, each worth step cycle frames (1 unless the
  // capture converts the rate); 0 when unknown.
  static void SetBlockFrames(jack_nframes_t first, jack_nframes_t last, uint32_t samples = 0,
                             double step = 1.0);
  bool InCycle() const;  // on this client's process thread, inside its callback
  static jack_nframes_t BlockFirstFrame();
  static jack_nframes_t BlockLastFrame();
  // The cycle frame of the block's sample index (counted back from its last frame, rounded
  // late, never before the block's first frame in this cycle); the block's first frame when
  // its length is unknown. With BlockEventSample, where an event of the block's goes.
  static jack_nframes_t BlockSampleFrame(uint32_t index);

  // Cycles run so far, for tests and waits.
  uint64_t Cycles() const { return cycles_.load(std::memory_order_acquire); }
  // Cycles that came after skipped frames; those of them after a cycle of ours that ended late,
  // and after one that was left behind (see TJackCycle).
  uint64_t Gaps() const { return gaps_.load(std::memory_order_relaxed); }
  uint64_t LateCyclesSeen() const { return late_seen_.load(std::memory_order_relaxed); }
  uint64_t LostCycles() const { return lost_cycles_.load(std::memory_order_relaxed); }

 private:
  bool OpenLocked();  // control_mutex_ held
  bool OpenAsLocked(const std::string& name);
  bool NameSharedLocked();  // another client on the server has our name
  void CloseLocked();       // control_mutex_ held; only for a live client
  void DropDeadLocked();    // control_mutex_ held; the server is gone: close the handle once
  void Watch();
  // What JACK's callbacks of one opened client are given. A client left to itself after its
  // server was lost (PipeWire, see DropDeadLocked) may still call: Stale makes it touch nothing.
  struct TOpened {
    TJackClient* Self = nullptr;
    std::atomic<bool> Stale{false};
  };
  static TJackClient* Live(void* opened);  // null for a stale client's call
  static int OnSampleRate(jack_nframes_t rate, void* opened);
  static int Process(jack_nframes_t frames, void* opened);
  static void OnShutdown(void* opened);
  static void OnInfoShutdown(jack_status_t code, const char* reason, void* opened);
  void MarkLost(const char* reason);  // signal-handler rules: flag, copy, eventfd
  // JACK's notification thread: another client's ports changed.
  static void OnPortRegistration(jack_port_id_t port, int registered, void* opened);
  static void OnPortConnect(jack_port_id_t a, jack_port_id_t b, int connected, void* opened);
  static void OnPortRename(jack_port_id_t port, const char* old_name, const char* new_name,
                           void* opened);
  static void OnClientRegistration(const char* name, int registered, void* opened);
  void MarkGraphChanged();
  void Wake();
  bool ProbeLocked();  // control_mutex_ held: a new client once the old one is gone
  void TellGraphChanged();
  void TellChange(TServerChange change);

  const std::string wanted_name_;
  std::mutex control_mutex_;  // every call into the server
  jack_client_t* client_ = nullptr;
  std::atomic<jack_client_t*> rt_client_{nullptr};  // the same, as the process callback reads it
  TOpened* opened_ = nullptr;                       // control_mutex_; client_'s
  bool pipewire_ = false;                           // control_mutex_; client_ is PipeWire's
  // PipeWire clients taken for lost, closed a moment later (DropDeadLocked); control_mutex_.
  struct TDead {
    jack_client_t* Client;
    TOpened* Opened;
    std::chrono::steady_clock::time_point Since;
  };
  std::vector<TDead> dead_;
  // Closes those dropped long enough ago (all: waits for the youngest); true when none is left.
  bool CloseDeadLocked(bool all);
  std::string name_;
  jack_port_t* ports_[static_cast<int>(TJackPort::kCount)] = {};
  std::atomic<uint64_t> generation_{0};

  std::atomic<IJackCyclePart*> parts_[static_cast<int>(TJackPart::kCount)] = {};
  std::atomic<bool> in_cycle_{false};
  std::atomic<uint64_t> cycles_{0};
  std::atomic<uint64_t> gaps_{0};
  std::atomic<uint64_t> lost_cycles_{0};
  std::atomic<uint64_t> late_seen_{0};
  // JackServerKindOf, read at open
  std::atomic<bool> live_clock_{false};
  std::atomic<bool> drops_left_behind_{false};
  // The previous cycle, process thread only; a new client starts afresh.
  jack_nframes_t next_first_ = 0;
  bool have_previous_ = false;
  bool previous_late_ = false;         // ended after the next cycle was due
  bool previous_left_behind_ = false;  // ended after the server began the next cycle
  std::atomic<uint32_t> rate_{0};

  std::atomic<bool> lost_{false};
  std::atomic<uint64_t> losses_{0};
  char reason_[128] = {};
  std::atomic<bool> reason_set_{false};
  int event_fd_ = -1;
  std::atomic<bool> quit_{false};
  std::atomic<bool> graph_changed_{false};
  std::atomic<uint64_t> ports_gone_{0};
  bool had_client_ = false;  // control_mutex_: a client was open once, so a lost one is missed
  std::mutex handler_mutex_;
  TServerLossHandler handler_;
  TServerChangeHandler change_handler_;
  std::mutex listeners_mutex_;  // held while a listener runs
  std::vector<std::pair<const void*, std::function<void()>>> listeners_;
  std::thread watcher_;
};
