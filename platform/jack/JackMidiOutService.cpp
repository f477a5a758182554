#include "JackMidiOutService.h"

#include <jack/midiport.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/BlockEventSample.h"
#include "platform/rt/RtMidiPortNames.h"

namespace {
constexpr uint32_t kSlotBits = 8;

TMidiOutHandle MakeHandle(size_t slot, uint32_t generation) {
  return (static_cast<TMidiOutHandle>(generation) << kSlotBits) | (slot + 1);
}

size_t ShortSize(uint8_t status) {
  if (status >= 0xF6) return 1;
  if ((status & 0xE0) == 0xC0 || status == 0xF1 || status == 0xF3) return 2;
  return 3;
}

bool IsNoteOff(const uint8_t* bytes, size_t size) {
  const uint8_t kind = bytes[0] & 0xF0;
  return size == 3 && (kind == 0x80 || (kind == 0x90 && bytes[2] == 0));
}
}  // namespace

TJackMidiOutService::TJackMidiOutService(TJackClient& client) : client_(client) {
  {
    std::lock_guard lock(mutex_);
    Ensure();
  }
  client_.AddGraphListener(this, [this] { Reconnect(); });
}

TJackMidiOutService::~TJackMidiOutService() {
  client_.RemoveGraphListener(this);
  for (size_t i = 0; i < kSlots; ++i)
    if (slots_[i].Open.load()) Close(MakeHandle(i, slots_[i].Generation.load()));
  std::lock_guard lock(mutex_);
  if (attached_) client_.Detach(TJackPart::kMidi, this);
}

void TJackMidiOutService::Ensure() {
  const uint64_t generation = client_.Generation();
  if (attached_ && attached_generation_ == generation) return;
  // A new client after the server came back: the old one took our place with it. What was
  // sent meanwhile never reached anyone; played now it would be stale (notes left hanging).
  if (attached_generation_ != 0) {
    TEvent stale;
    uint64_t dropped = 0;
    while (queue_.Pop(stale)) ++dropped;
    popped_.fetch_add(dropped, std::memory_order_release);
    in_cycle_count_ = held_count_ = 0;
    written_count_[0] = written_count_[1] = 0;
  }
  attached_ = client_.Attach(TJackPart::kMidi, this);
  attached_generation_ = generation;
}

std::vector<std::string> TJackMidiOutService::List() {
  return client_.Ports(JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
}

uint32_t TJackMidiOutService::GetNumDevs() {
  std::lock_guard lock(mutex_);
  return static_cast<uint32_t>(List().size());
}

TMidiResult TJackMidiOutService::GetDevCaps(int32_t device, TMidiOutCaps& caps) {
  std::lock_guard lock(mutex_);
  TMidiOutCaps c;
  c.DriverVersion = 0x0500;
  c.ChannelMask = 0xFFFF;
  if (device == kMidiMapper) {
    const std::string name = client_.ClientName();
    if (name.empty()) return kMidiErrNoDriver;
    c.ProductName = CutUtf8(name, kMidiProductNameMax);
    c.Technology = kMidiTechMapper;
    caps = std::move(c);
    return kMidiOk;
  }
  const auto ports = List();
  if (device < 0 || static_cast<size_t>(device) >= ports.size()) return kMidiErrBadDeviceId;
  c.ProductName = DistinctPortNames(ports, kMidiProductNameMax)[static_cast<size_t>(device)];
  c.Technology = kMidiTechPort;
  caps = std::move(c);
  return kMidiOk;
}

TMidiResult TJackMidiOutService::Open(TMidiOutHandle& handle, int32_t device,
                                      TMidiOutCallback callback, void* context) {
  std::lock_guard lock(mutex_);
  handle = 0;
  if (!client_.Ok()) return kMidiErrNoDriver;
  Ensure();
  if (!attached_) return kMidiErrAllocated;
  size_t index = kSlots;
  for (size_t i = 0; i < kSlots && index == kSlots; ++i)
    if (!slots_[i].Open.load()) index = i;
  if (index == kSlots) return kMidiErrNoMem;
  TSlot& slot = slots_[index];
  std::string destination;
  if (device != kMidiMapper) {
    const auto ports = List();
    if (device < 0 || static_cast<size_t>(device) >= ports.size()) return kMidiErrBadDeviceId;
    destination = ports[static_cast<size_t>(device)];
    if (!client_.Connect(client_.PortName(TJackPort::kMidiOut), destination))
      return kMidiErrNoDevice;
  }
  slot.GoneSeen = client_.PortsGone();
  slot.Destination = std::move(destination);
  slot.Callback = callback;
  slot.Context = context;
  slot.Open.store(true, std::memory_order_release);
  handle = MakeHandle(index, slot.Generation.load());
  if (callback) callback(handle, kMidiNoticeOpen, context, 0, 0);
  return kMidiOk;
}

TJackMidiOutService::TSlot* TJackMidiOutService::Find(TMidiOutHandle handle) {
  const size_t index = handle & ((1u << kSlotBits) - 1);
  if (index == 0 || index > kSlots) return nullptr;
  TSlot& slot = slots_[index - 1];
  if (!slot.Open.load(std::memory_order_acquire) ||
      slot.Generation.load(std::memory_order_acquire) != (handle >> kSlotBits))
    return nullptr;
  return &slot;
}

TMidiResult TJackMidiOutService::Close(TMidiOutHandle handle) {
  std::lock_guard lock(mutex_);
  TSlot* slot = Find(handle);
  if (!slot) return kMidiErrInvalidHandle;
  slot->Open.store(false, std::memory_order_release);
  slot->Generation.fetch_add(1, std::memory_order_acq_rel);
  // What was sent until now (the note-offs that end the sounding notes) must reach the
  // destination before the connection goes.
  Drain();
  bool shared = false;
  for (const auto& other : slots_)
    shared = shared || (other.Open.load() && other.Destination == slot->Destination);
  if (!slot->Destination.empty() && !shared)
    client_.Disconnect(client_.PortName(TJackPort::kMidiOut), slot->Destination);
  slot->Destination.clear();
  if (slot->Callback) slot->Callback(handle, kMidiNoticeClose, slot->Context, 0, 0);
  slot->Callback = nullptr;
  slot->Context = nullptr;
  return kMidiOk;
}

TJackMidiOutService::TEvent TJackMidiOutService::Short(uint32_t message) {
  const uint8_t status = message & 0xFF;
  return TEvent{static_cast<uint8_t>(ShortSize(status)),
                {status, static_cast<uint8_t>(message >> 8), static_cast<uint8_t>(message >> 16)}};
}

TMidiResult TJackMidiOutService::ShortMsg(TMidiOutHandle handle, uint32_t message) {
  if (!Find(handle)) return kMidiErrInvalidHandle;
  const uint8_t status = message & 0xFF;
  if (!client_.InCycle()) return Put(Short(message));
  // Our MIDI part runs later in this very cycle: it writes these at their frames.
  const bool note_on = (status & 0xF0) == 0x90 && ((message >> 16) & 0x7F) != 0;
  return Put(Short(message),
             TTimedEvent{note_on ? TJackClient::BlockSampleFrame(BlockEventSample())
                                 : TJackClient::BlockLastFrame(),
                         {}, false});
}

TMidiResult TJackMidiOutService::ShortMsgAt(TMidiOutHandle handle, uint32_t message,
                                            uint64_t frame) {
  if (!Find(handle)) return kMidiErrInvalidHandle;
  if (!client_.InCycle()) return Put(Short(message));
  // From the capture part of this cycle: the MIDI part, later in it, puts it at its frame.
  return Put(Short(message), TTimedEvent{static_cast<jack_nframes_t>(frame), {}, true});
}

TMidiResult TJackMidiOutService::Put(const TEvent& event, std::optional<TTimedEvent> in_cycle) {
  if (in_cycle && attached_.load(std::memory_order_acquire)) {
    if (in_cycle_count_ == kMaxInCycle) {
      lost_.fetch_add(1, std::memory_order_relaxed);
      return kMidiErrNotReady;
    }
    in_cycle->Event = event;
    in_cycle_[in_cycle_count_++] = *in_cycle;
    return kMidiOk;
  }
  if (!queue_.Push(event)) {
    lost_.fetch_add(1, std::memory_order_relaxed);
    return kMidiErrNotReady;
  }
  queued_.fetch_add(1, std::memory_order_release);
  return kMidiOk;
}

void TJackMidiOutService::Drain() {
  if (!attached_.load(std::memory_order_acquire) || attached_generation_ != client_.Generation() ||
      !client_.Ok())
    return;
  const uint64_t target = queued_.load(std::memory_order_acquire);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainMs);
  auto waited = [&](const auto& done) {
    while (!done()) {
      if (std::chrono::steady_clock::now() > end || !client_.Ok()) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return true;
  };
  // The cycle that takes the last event writes it; in the cycle after that one our readers have
  // run (and a dropped cycle has been written again).
  if (!waited([&] { return popped_.load(std::memory_order_acquire) >= target; })) return;
  const uint64_t written_in =
      std::max(drained_at_.load(std::memory_order_acquire), client_.Cycles());
  waited([&] { return client_.Cycles() >= written_in + 2; });
}

void TJackMidiOutService::Reconnect() {
  std::lock_guard lock(mutex_);
  const uint64_t gone = client_.PortsGone();
  std::vector<std::string> ports;
  bool listed = false;
  for (TSlot& slot : slots_) {
    if (!slot.Open.load(std::memory_order_acquire) || slot.Destination.empty()) continue;
    // Only after a port went away: a connection the user took down by hand stays down.
    if (slot.GoneSeen == gone) continue;
    if (!listed) {
      ports = List();
      listed = true;
    }
    if (std::find(ports.begin(), ports.end(), slot.Destination) == ports.end()) continue;
    if (client_.Connect(client_.PortName(TJackPort::kMidiOut), slot.Destination))
      slot.GoneSeen = gone;
  }
}

TMidiResult TJackMidiOutService::PrepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) {
  if (!Find(handle)) return kMidiErrInvalidHandle;
  if (!header.Data && header.BufferLength) return kMidiErrInvalidParam;
  header.Flags = kMidiHdrPrepared;
  return kMidiOk;
}

// Written in the next cycle; this thread waits for it (a cycle or two), then gives the done
// notice before returning.
TMidiResult TJackMidiOutService::LongMsg(TMidiOutHandle handle, TMidiOutHeader& header) {
  std::lock_guard lock(mutex_);
  TSlot* slot = Find(handle);
  if (!slot) return kMidiErrInvalidHandle;
  if (!(header.Flags & kMidiHdrPrepared)) return kMidiErrUnprepared;
  if (header.BufferLength == 0) return kMidiErrInvalidParam;
  long_data_ = header.Data;
  long_size_ = header.BufferLength;
  long_state_.store(kLongPending, std::memory_order_release);
  auto waited = [&](std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (long_state_.load(std::memory_order_acquire) != kLongDone) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  };
  if (!waited(std::chrono::seconds(1))) {
    uint32_t pending = kLongPending;
    // No cycle came (the server stalled or went away): take the message back, unless the
    // callback took it just now, in which case it is written within the cycle.
    if (long_state_.compare_exchange_strong(pending, kLongIdle, std::memory_order_acq_rel))
      return kMidiErrNotReady;
    waited(std::chrono::seconds(1));
  }
  const TMidiResult r = static_cast<TMidiResult>(long_result_.load(std::memory_order_acquire));
  long_state_.store(kLongIdle, std::memory_order_release);
  if (r == kMidiOk) {
    header.Flags |= kMidiHdrDone;
    if (slot->Callback)
      slot->Callback(handle, kMidiNoticeDone, slot->Context, reinterpret_cast<uintptr_t>(&header),
                     0);
  }
  return r;
}

TMidiResult TJackMidiOutService::UnprepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) {
  if (!Find(handle)) return kMidiErrInvalidHandle;
  header.Flags &= ~kMidiHdrPrepared;
  return kMidiOk;
}

TMidiResult TJackMidiOutService::GetErrorText(TMidiResult code, std::string& text) {
  return MidiOutErrorText(code, text);
}

void TJackMidiOutService::Cycle(const TJackCycle& cycle) {
  void* buffer = cycle.MidiOut;
  const int before = written_now_;
  written_now_ ^= 1;
  auto& written = written_[written_now_];
  size_t& count = written_count_[written_now_];
  count = 0;
  auto write = [&](jack_nframes_t at, const uint8_t* bytes, size_t size) {
    if (!buffer || cycle.Frames == 0 || jack_midi_event_write(buffer, at, bytes, size) != 0) {
      lost_.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    return true;
  };
  auto write_short = [&](jack_nframes_t at, const TEvent& event) {
    if (count < kMaxWritten) written[count++] = event;
    return write(at, event.Bytes, event.Size);
  };
  // Right after a cycle of ours that the server left behind, the readers of our port may have
  // read what that cycle wrote already, in this cycle's place, or may still read this one: the
  // server leaves it to chance. What the late cycle wrote goes out again here: where it
  // arrived, this cycle is the one lost. On a server not known to drop left-behind cycles only
  // its note-offs do, since a note played twice is worse than one heard late, and a note left
  // hanging worse still. What this cycle would send itself waits for the next one, which is
  // read as usual: late rather than lost or twice.
  const bool after_left_behind = cycle.PreviousLost || cycle.PreviousMaybeLost;
  if (after_left_behind) {
    for (size_t i = 0; i < written_count_[before]; ++i) {
      const TEvent& e = written_[before][i];
      if (!cycle.PreviousLost && !IsNoteOff(e.Bytes, e.Size)) continue;
      write_short(0, e);
      replayed_.fetch_add(1, std::memory_order_relaxed);
    }
  }
  // Sent in this cycle: in frame order (times may not go back), same-frame ones as sent.
  const jack_nframes_t last = cycle.Frames ? cycle.Frames - 1 : 0;
  for (size_t i = 0; i < in_cycle_count_; ++i) {
    TTimedEvent& e = in_cycle_[i];
    if (!e.FrameTime) continue;
    // A frame of an earlier cycle (a hit whose scan ended in this one) goes at our first frame:
    // never before its frame, and as soon as it can.
    const auto offset = static_cast<int32_t>(e.Frame - cycle.FirstFrame);
    e.Frame = offset < 0 ? 0 : std::min(static_cast<jack_nframes_t>(offset), last);
    e.FrameTime = false;
  }
  for (size_t i = 1; i < in_cycle_count_; ++i)
    for (size_t j = i; j > 0 && in_cycle_[j].Frame < in_cycle_[j - 1].Frame; --j)
      std::swap(in_cycle_[j], in_cycle_[j - 1]);
  if (after_left_behind) {
    for (size_t i = 0; i < in_cycle_count_ && held_count_ < kMaxInCycle; ++i)
      held_[held_count_++] = in_cycle_[i].Event;
    in_cycle_count_ = 0;
    return;  // the queue and a long message wait as well
  }
  // Held back by the cycle before, then sent since the last cycle: out at the first frame, the
  // soonest the server lets them go.
  for (size_t i = 0; i < held_count_; ++i) write_short(0, held_[i]);
  held_count_ = 0;
  TEvent event;
  uint64_t popped = 0;
  while (queue_.Pop(event)) {
    write_short(0, event);
    ++popped;
  }
  if (popped) {
    drained_at_.store(client_.Cycles(), std::memory_order_release);
    popped_.fetch_add(popped, std::memory_order_release);
  }
  jack_nframes_t previous = 0;
  for (size_t i = 0; i < in_cycle_count_; ++i) {
    previous = std::min(std::max(previous, in_cycle_[i].Frame), last);
    write_short(previous, in_cycle_[i].Event);
  }
  in_cycle_count_ = 0;
  uint32_t pending = kLongPending;
  if (long_state_.load(std::memory_order_acquire) == kLongPending &&
      long_state_.compare_exchange_strong(pending, kLongTaken, std::memory_order_acq_rel)) {
    int result = kMidiErrNotReady;
    if (buffer && long_size_ > jack_midi_max_event_size(buffer))
      result = kMidiErrInvalidParam;
    else if (write(previous, long_data_, long_size_))
      result = kMidiOk;
    long_result_.store(result, std::memory_order_release);
    long_state_.store(kLongDone, std::memory_order_release);
  }
}
