// The MIDI output service on the program's JACK client: the ports are the MIDI inputs of other
// clients, by the names JACK reports; opening one connects our midi_out to it (the mapper opens
// midi_out alone, for others to connect to). Messages from any thread go through a lock-free
// queue and are written into midi_out at the start of the next cycle; messages sent inside our
// own process callback, while a captured block is handed over, go out in that same cycle: a
// note-on at the frame of the block's sample that caused it (its first sample above the
// threshold), anything else at the block's last; messages a capture tap sends with their frame
// (ShortMsgAt) at that frame's place in the cycle. Close lets a cycle write what was sent before
// it (the note-offs of Stop) before it disconnects. A destination that vanishes and comes back is
// connected again by itself. Enumeration, Open, Close and long messages run on ordinary threads
// (the reconnection on the client's watch thread); ShortMsg never waits.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "JackClient.h"
#include "platform/LockFreeQueue.h"
#include "platform/MidiOutService.h"

class TJackMidiOutService final : public IMidiOutService, private IJackCyclePart {
 public:
  explicit TJackMidiOutService(TJackClient& client);
  ~TJackMidiOutService() override;

  uint32_t GetNumDevs() override;
  TMidiResult GetDevCaps(int32_t device, TMidiOutCaps& caps) override;
  TMidiResult Open(TMidiOutHandle& handle, int32_t device, TMidiOutCallback callback,
                   void* context) override;
  TMidiResult Close(TMidiOutHandle handle) override;
  TMidiResult ShortMsg(TMidiOutHandle handle, uint32_t message) override;
  TMidiResult ShortMsgAt(TMidiOutHandle handle, uint32_t message, uint64_t frame) override;
  TMidiResult PrepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) override;
  TMidiResult LongMsg(TMidiOutHandle handle, TMidiOutHeader& header) override;
  TMidiResult UnprepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) override;
  TMidiResult GetErrorText(TMidiResult code, std::string& text) override;

  // Events the server would not take (its buffer full) or the queue could not hold.
  uint64_t Lost() const { return lost_.load(std::memory_order_relaxed); }
  // Events written again after a cycle the server dropped (see TJackCycle::PreviousLost).
  uint64_t Replayed() const { return replayed_.load(std::memory_order_relaxed); }
  // Events sent outside our cycle (another thread), written at the first frame of the next.
  uint64_t Queued() const { return popped_.load(std::memory_order_relaxed); }

  static constexpr size_t kSlots = 16;
  // How long Close waits for the cycles that carry what was sent before it.
  static constexpr int kDrainMs = 500;

 private:
  struct TSlot {
    std::atomic<bool> Open{false};
    std::atomic<uint32_t> Generation{1};
    std::string Destination;  // empty for the mapper
    uint64_t GoneSeen = 0;    // the client's PortsGone() when the destination was last connected
    TMidiOutCallback Callback = nullptr;
    void* Context = nullptr;
  };
  struct TEvent {
    uint8_t Size;
    uint8_t Bytes[3];
  };
  // The one long message in flight, handed to the callback by its state.
  enum : uint32_t { kLongIdle, kLongPending, kLongTaken, kLongDone };

  void Cycle(const TJackCycle& cycle) override;  // real-time thread
  std::vector<std::string> List();
  TSlot* Find(TMidiOutHandle handle);
  void Ensure();  // attaches the part to the client of the day
  // Returns once a cycle has written everything sent so far and the cycle after it has run
  // too, so the readers of our port have it; or after kDrainMs, or at once without a server.
  void Drain();
  void Reconnect();  // the client's watch thread: destinations that came back

  TJackClient& client_;
  std::mutex mutex_;  // Open, Close, enumeration, long messages; never taken by senders
  std::array<TSlot, kSlots> slots_;
  uint64_t attached_generation_ = 0;
  std::atomic<bool> attached_{false};

  TMpscQueue<TEvent, 1024> queue_;
  std::atomic<uint64_t> queued_{0};      // events pushed into queue_ so far
  std::atomic<uint64_t> popped_{0};      // events the cycles took out of it so far
  std::atomic<uint64_t> drained_at_{0};  // the client's cycle count when popped_ last moved
  // Sent inside the cycle under way: the process thread alone touches these.
  struct TTimedEvent {
    jack_nframes_t Frame;  // in the cycle, or the frame time itself when FrameTime
    TEvent Event;
    bool FrameTime;
  };
  static TEvent Short(uint32_t message);
  // Into this cycle's list at `in_cycle`'s frame when given and the port is attached, else into
  // the queue for the next cycle's start; counted as lost when either is full.
  TMidiResult Put(const TEvent& event, std::optional<TTimedEvent> in_cycle = std::nullopt);
  static constexpr size_t kMaxInCycle = 256;
  std::array<TTimedEvent, kMaxInCycle> in_cycle_{};
  size_t in_cycle_count_ = 0;
  // Sent in a cycle right after one the server left behind, written in the next (see Cycle).
  std::array<TEvent, kMaxInCycle> held_{};
  size_t held_count_ = 0;
  // What the previous cycle wrote (process thread only): when the server went on without that
  // cycle it may have reached no one, and goes out again first. A note-off lost there would
  // leave a note hanging, a note-on lost a hit unheard.
  static constexpr size_t kMaxWritten = 1024;
  std::array<TEvent, kMaxWritten> written_[2]{};
  size_t written_count_[2] = {0, 0};
  int written_now_ = 0;
  std::atomic<uint64_t> lost_{0};
  std::atomic<uint64_t> replayed_{0};

  std::atomic<uint32_t> long_state_{kLongIdle};
  const uint8_t* long_data_ = nullptr;
  uint32_t long_size_ = 0;
  std::atomic<int> long_result_{0};
};
