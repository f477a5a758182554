// The MIDI output service on the program's JACK client: the ports are the MIDI inputs of other
// clients, by the names JACK reports; opening one connects our midi_out to it (the mapper opens
// midi_out alone, for others to connect to). Messages from any thread go through a lock-free
// queue and are written into midi_out at the start of the next cycle; messages sent inside our
// own process callback, while a captured block is handed over, go out in that same cycle: a
// note-on at the frame of the block's sample that caused it (its first sample above the
// threshold), anything else at the block's last; messages a capture tap sends with their frame
// (ShortMsgAt) at that frame's place in the cycle. Enumeration, Open, Close and long messages run
// on ordinary threads; ShortMsg never waits.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
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

  static constexpr size_t kSlots = 16;

 private:
  struct TSlot {
    std::atomic<bool> Open{false};
    std::atomic<uint32_t> Generation{1};
    std::string Destination;  // empty for the mapper
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

  TJackClient& client_;
  std::mutex mutex_;  // Open, Close, enumeration, long messages; never taken by senders
  std::array<TSlot, kSlots> slots_;
  uint64_t attached_generation_ = 0;
  std::atomic<bool> attached_{false};

  TMpscQueue<TEvent, 1024> queue_;
  // Sent inside the cycle under way: the process thread alone touches these.
  struct TTimedEvent {
    jack_nframes_t Frame;  // in the cycle, or the frame time itself when FrameTime
    TEvent Event;
    bool FrameTime;
  };
  static TEvent Short(uint32_t message);
  static constexpr size_t kMaxInCycle = 256;
  std::array<TTimedEvent, kMaxInCycle> in_cycle_{};
  size_t in_cycle_count_ = 0;
  // What the previous cycle wrote (process thread only): when the server went on without that
  // cycle it reached no one, and goes out again first. A note-off lost there would leave a note
  // hanging, a note-on lost a hit unheard.
  static constexpr size_t kMaxWritten = 1024;
  std::array<TEvent, kMaxWritten> written_[2]{};
  size_t written_count_[2] = {0, 0};
  int written_now_ = 0;
  std::atomic<uint64_t> lost_{0};

  std::atomic<uint32_t> long_state_{kLongIdle};
  const uint8_t* long_data_ = nullptr;
  uint32_t long_size_ = 0;
  std::atomic<int> long_result_{0};
};
