#include "RtMidiOutService.h"

#include <rtmidi/RtMidi.h>

#include <thread>

#include "DeadServerRelease.h"
#include "RtMidiPortNames.h"
#include "RtServerMonitor.h"

// One open port. Senders count themselves in Users before looking at Open; Close clears Open and
// then waits for Users to drop, so the RtMidiOut is never closed under a send.
struct TRtMidiOutService::TSlot {
  std::atomic<uint32_t> Users{0};
  std::atomic<bool> Open{false};
  std::atomic<uint32_t> Generation{1};
  std::atomic_flag Sending = ATOMIC_FLAG_INIT;  // one writer at a time into the back-end
  std::atomic<int> Error{-1};                   // set by RtMidi's error callback during a call
  std::unique_ptr<RtMidiOut> Out;
  uint64_t Losses = 0;  // JackServerLosses() when Out was made
  TMidiOutCallback Callback = nullptr;
  void* Context = nullptr;
};

namespace {
// RtMidi reports errors to this callback instead of throwing or printing once it is set.
void RecordError(RtMidiError::Type type, const std::string&, void* user) {
  static_cast<std::atomic<int>*>(user)->store(static_cast<int>(type), std::memory_order_relaxed);
}

TMidiResult ToResult(int type) {
  switch (type) {
    case RtMidiError::WARNING:
    case RtMidiError::DEBUG_WARNING: return kMidiErrNotReady;
    case RtMidiError::NO_DEVICES_FOUND:
    case RtMidiError::INVALID_DEVICE: return kMidiErrNoDevice;
    case RtMidiError::MEMORY_ERROR: return kMidiErrNoMem;
    case RtMidiError::INVALID_PARAMETER:
    case RtMidiError::INVALID_USE: return kMidiErrInvalidParam;
    case RtMidiError::DRIVER_ERROR:
    case RtMidiError::SYSTEM_ERROR:
    case RtMidiError::THREAD_ERROR: return kMidiErrNoDriver;
    default: return kMidiErrUnspecified;
  }
}

// An RtMidiOut on one API, or null when the API cannot be opened here.
std::unique_ptr<RtMidiOut> MakeOut(RtMidi::Api api, const std::string& client,
                                   std::atomic<int>* error) {
  try {
    auto out = std::make_unique<RtMidiOut>(api, client);
    if (out->getCurrentApi() != api) return nullptr;
    out->setErrorCallback(&RecordError, error);
    return out;
  } catch (const RtMidiError&) {
    return nullptr;
  }
}

constexpr uint32_t kSlotBits = 8;

TMidiOutHandle MakeHandle(size_t slot, uint32_t generation) {
  return (static_cast<TMidiOutHandle>(generation) << kSlotBits) | (slot + 1);
}

std::atomic<int> list_error{-1};  // errors while listing are only reported as missing ports
}  // namespace

TRtMidiOutService::TRtMidiOutService(std::string client_name)
    : client_name_(std::move(client_name)) {
  alsa_ = MakeOut(RtMidi::LINUX_ALSA, client_name_, &list_error);
  jack_losses_ = JackServerLosses();
  jack_ = MakeOut(RtMidi::UNIX_JACK, client_name_, &list_error);
  for (auto& s : slots_) s = std::make_unique<TSlot>();
}

TRtMidiOutService::~TRtMidiOutService() {
  for (size_t i = 0; i < kSlots; ++i) {
    if (slots_[i]->Open.load()) Close(MakeHandle(i, slots_[i]->Generation.load()));
  }
  ReleaseRtMidiOut(jack_, jack_losses_);
}

std::vector<TRtMidiOutService::TPortEntry> TRtMidiOutService::List() {
  // After a server loss the listing client is dead: a new one lists the new server's ports.
  if (jack_ && !ServerStillThere(jack_losses_)) {
    ReleaseRtMidiOut(jack_, jack_losses_);
    jack_losses_ = JackServerLosses();
    jack_ = MakeOut(RtMidi::UNIX_JACK, client_name_, &list_error);
  }
  std::vector<TPortEntry> out;
  for (auto* rt : {alsa_.get(), jack_.get()}) {
    if (!rt) continue;
    const unsigned n = rt->getPortCount();
    for (unsigned i = 0; i < n; ++i) {
      std::string name = rt->getPortName(i);
      if (!name.empty()) out.push_back({static_cast<int>(rt->getCurrentApi()), std::move(name)});
    }
  }
  return out;
}

uint32_t TRtMidiOutService::GetNumDevs() {
  std::lock_guard lock(mutex_);
  return static_cast<uint32_t>(List().size());
}

TMidiResult TRtMidiOutService::GetDevCaps(int32_t device, TMidiOutCaps& caps) {
  std::lock_guard lock(mutex_);
  TMidiOutCaps c;
  c.DriverVersion = 0x0500;
  c.ChannelMask = 0xFFFF;
  if (device == kMidiMapper) {
    if (!alsa_ && !jack_) return kMidiErrNoDriver;
    c.ProductName = CutUtf8(client_name_, kMidiProductNameMax);
    c.Technology = kMidiTechMapper;
    caps = std::move(c);
    return kMidiOk;
  }
  const auto ports = List();
  if (device < 0 || static_cast<size_t>(device) >= ports.size()) return kMidiErrBadDeviceId;
  std::vector<std::string> names;
  for (const auto& p : ports) names.push_back(p.Full);
  c.ProductName = DistinctPortNames(names, kMidiProductNameMax)[device];
  c.Technology = kMidiTechPort;
  caps = std::move(c);
  return kMidiOk;
}

TMidiResult TRtMidiOutService::Open(TMidiOutHandle& handle, int32_t device,
                                    TMidiOutCallback callback, void* context) {
  std::lock_guard lock(mutex_);
  handle = 0;
  size_t index = kSlots;
  for (size_t i = 0; i < kSlots; ++i) {
    if (!slots_[i]->Open.load() && !slots_[i]->Out) {
      index = i;
      break;
    }
  }
  if (index == kSlots) return kMidiErrNoMem;
  TSlot& slot = *slots_[index];

  std::unique_ptr<RtMidiOut> out;
  slot.Error.store(-1);
  const uint64_t losses = JackServerLosses();
  if (device == kMidiMapper) {
    // The virtual port goes where other programs look first: the sequencer, else JACK.
    const RtMidi::Api api = alsa_ ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
    if (!alsa_ && !jack_) return kMidiErrNoDriver;
    out = MakeOut(api, client_name_, &slot.Error);
    if (!out) return kMidiErrNoDriver;
    slot.Error.store(-1);
    out->openVirtualPort(client_name_);
  } else {
    const auto ports = List();
    if (device < 0 || static_cast<size_t>(device) >= ports.size()) return kMidiErrBadDeviceId;
    const TPortEntry& target = ports[device];
    out = MakeOut(static_cast<RtMidi::Api>(target.Api), client_name_, &slot.Error);
    if (!out) return kMidiErrNoDriver;
    // The new client numbers the ports itself: find the same port by its full name.
    const unsigned n = out->getPortCount();
    unsigned found = n;
    for (unsigned i = 0; i < n && found == n; ++i) {
      if (out->getPortName(i) == target.Full) found = i;
    }
    if (found == n) return kMidiErrNoDevice;
    slot.Error.store(-1);
    out->openPort(found, "midi_out");
  }
  const int err = slot.Error.load();
  if (err >= 0 && err != RtMidiError::WARNING && err != RtMidiError::DEBUG_WARNING) {
    return ToResult(err);
  }
  if (device != kMidiMapper && !out->isPortOpen()) return kMidiErrNoDevice;
  slot.Out = std::move(out);
  slot.Losses = losses;
  slot.Callback = callback;
  slot.Context = context;
  slot.Open.store(true, std::memory_order_seq_cst);
  handle = MakeHandle(index, slot.Generation.load());
  if (callback) callback(handle, kMidiNoticeOpen, context, 0, 0);
  return kMidiOk;
}

TRtMidiOutService::TSlot* TRtMidiOutService::Acquire(TMidiOutHandle handle) {
  const size_t index = (handle & ((1u << kSlotBits) - 1));
  if (index == 0 || index > kSlots) return nullptr;
  TSlot& slot = *slots_[index - 1];
  slot.Users.fetch_add(1, std::memory_order_seq_cst);
  if (!slot.Open.load(std::memory_order_seq_cst) ||
      slot.Generation.load(std::memory_order_acquire) != (handle >> kSlotBits)) {
    slot.Users.fetch_sub(1, std::memory_order_release);
    return nullptr;
  }
  return &slot;
}

TMidiResult TRtMidiOutService::Close(TMidiOutHandle handle) {
  std::lock_guard lock(mutex_);
  TSlot* slot = Acquire(handle);
  if (!slot) return kMidiErrInvalidHandle;
  slot->Open.store(false, std::memory_order_seq_cst);
  slot->Users.fetch_sub(1, std::memory_order_release);
  // A send that counted itself before Open went false finishes first; it takes microseconds.
  while (slot->Users.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
  ReleaseRtMidiOut(slot->Out, slot->Losses);
  slot->Generation.fetch_add(1, std::memory_order_release);
  if (slot->Callback) slot->Callback(handle, kMidiNoticeClose, slot->Context, 0, 0);
  slot->Callback = nullptr;
  slot->Context = nullptr;
  return kMidiOk;
}

TMidiResult TRtMidiOutService::Send(TSlot& slot, const unsigned char* bytes, size_t size) {
  slot.Error.store(-1, std::memory_order_relaxed);
  slot.Out->sendMessage(bytes, size);
  const int err = slot.Error.load(std::memory_order_relaxed);
  return err < 0 ? kMidiOk : ToResult(err);
}

TMidiResult TRtMidiOutService::ShortMsg(TMidiOutHandle handle, uint32_t message) {
  TSlot* slot = Acquire(handle);
  if (!slot) return kMidiErrInvalidHandle;
  TMidiResult r = kMidiErrNotReady;
  // A long message being written on the main thread makes this one fail rather than wait.
  if (!slot->Sending.test_and_set(std::memory_order_acquire)) {
    const unsigned char status = message & 0xFF;
    size_t size = 3;
    if (status >= 0xF6) {
      size = 1;
    } else if ((status & 0xE0) == 0xC0 || status == 0xF1 || status == 0xF3) {
      size = 2;
    }
    const unsigned char bytes[3] = {status, static_cast<unsigned char>(message >> 8),
                                    static_cast<unsigned char>(message >> 16)};
    r = Send(*slot, bytes, size);
    slot->Sending.clear(std::memory_order_release);
  }
  slot->Users.fetch_sub(1, std::memory_order_release);
  return r;
}

TMidiResult TRtMidiOutService::PrepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) {
  TSlot* slot = Acquire(handle);
  if (!slot) return kMidiErrInvalidHandle;
  slot->Users.fetch_sub(1, std::memory_order_release);
  if (!header.Data && header.BufferLength) return kMidiErrInvalidParam;
  header.Flags = kMidiHdrPrepared;
  return kMidiOk;
}

// Sent at once; the done notice is given on this thread before returning.
TMidiResult TRtMidiOutService::LongMsg(TMidiOutHandle handle, TMidiOutHeader& header) {
  TSlot* slot = Acquire(handle);
  if (!slot) return kMidiErrInvalidHandle;
  TMidiResult r = kMidiOk;
  if (!(header.Flags & kMidiHdrPrepared)) {
    r = kMidiErrUnprepared;
  } else if (header.BufferLength == 0) {
    r = kMidiErrInvalidParam;
  } else {
    // The main thread may wait for the capture thread's short message, never the reverse.
    while (slot->Sending.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    r = Send(*slot, header.Data, header.BufferLength);
    slot->Sending.clear(std::memory_order_release);
  }
  TMidiOutCallback callback = slot->Callback;
  void* context = slot->Context;
  slot->Users.fetch_sub(1, std::memory_order_release);
  if (r == kMidiOk) {
    header.Flags |= kMidiHdrDone;
    if (callback) callback(handle, kMidiNoticeDone, context, reinterpret_cast<uintptr_t>(&header), 0);
  }
  return r;
}

TMidiResult TRtMidiOutService::UnprepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) {
  TSlot* slot = Acquire(handle);
  if (!slot) return kMidiErrInvalidHandle;
  slot->Users.fetch_sub(1, std::memory_order_release);
  header.Flags &= ~kMidiHdrPrepared;
  return kMidiOk;
}

TMidiResult TRtMidiOutService::GetErrorText(TMidiResult code, std::string& text) {
  return MidiOutErrorText(code, text);
}
