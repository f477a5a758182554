#include "MidiOut.h"

#include <cstring>

#include "MyMidiHdr.h"

// Stands between the service's callback thread and the component: completions are posted to the
// main thread and find the component there, or find it gone and only free the buffer.
class TMidiMessageWindow : public std::enable_shared_from_this<TMidiMessageWindow> {
 public:
  explicit TMidiMessageWindow(IMainThreadDispatcher& dispatcher) : dispatcher_(dispatcher) {}

  // Any thread: hands the done notice over and returns. The posted call owns the buffer, so a
  // call that is dropped unrun (the loop ended first) still frees it.
  void PostDone(TMidiOutHeader* header) {
    std::shared_ptr<TMyMidiHdr> hdr(TMyMidiHdr::Owner(*header));
    dispatcher_.Post([self = shared_from_this(), hdr]() mutable { self->Done(std::move(hdr)); });
  }
  // Main thread.
  void Detach() { owner_ = nullptr; }
  void Attach(TMidiOutput* owner) { owner_ = owner; }

 private:
  void Done(std::shared_ptr<TMyMidiHdr> hdr) {
    if (owner_) owner_->LongMessageDone(std::move(hdr));
  }

  IMainThreadDispatcher& dispatcher_;
  TMidiOutput* owner_ = nullptr;
};

namespace {
std::atomic<uint64_t> next_context_handle{1};
}

TMidiOutput::TMidiOutput(IMidiOutService& service, IMainThreadDispatcher& dispatcher)
    : service_(service), window_(std::make_shared<TMidiMessageWindow>(dispatcher)) {
  window_->Attach(this);
  const uint32_t count = service_.GetNumDevs();
  device_count_ = static_cast<uint16_t>(count > 0xFFFF ? 0xFFFF : count);
}

TMidiOutput::~TMidiOutput() {
  if (State() == kStateOpen) {
    try {
      Close();
    } catch (...) {
    }
  }
  // A port the service would not close may still call back with this context: keep it then.
  if (State() != kStateOpen) FreeContext();
  window_->Detach();
}

void TMidiOutput::Raise(TMidiResult code) {
  last_error_.store(static_cast<uint16_t>(code), std::memory_order_relaxed);
  std::string text;
  if (service_.GetErrorText(code & 0xFFFF, text) != kMidiOk) {
    text = "Specified error number is out of range";
  }
  throw EmidioutputError(text);
}

void TMidiOutput::FreeContext() {
  delete context_;
  context_ = nullptr;
}

void TMidiOutput::SetDeviceID(int32_t value) {
  if (State() == kStateOpen) throw EmidioutputError("Change to DeviceID while device was open");
  const uint32_t count = service_.GetNumDevs();
  if (value >= 0 && static_cast<uint32_t>(value) >= count) {
    throw EmidioutputError("Invalid device ID");
  }
  device_id_ = value;
  TMidiOutCaps caps;
  const TMidiResult r = service_.GetDevCaps(value, caps);
  last_error_.store(static_cast<uint16_t>(r), std::memory_order_relaxed);
  if (r != kMidiOk) Raise(r);
  caps_ = std::move(caps);
}

void TMidiOutput::SetProductName(const std::string& name) {
  if (State() == kStateOpen) throw EmidioutputError("Change to ProductName while device was open");
  const int32_t count = static_cast<int32_t>(service_.GetNumDevs());
  // A name that no port reports fails even when it equals the current one: a port that has
  // gone must not stay selected.
  bool found = false;
  int32_t device = kMidiMapper;
  for (; device < count; ++device) {
    TMidiOutCaps caps;
    const TMidiResult r = service_.GetDevCaps(device, caps);
    last_error_.store(static_cast<uint16_t>(r), std::memory_order_relaxed);
    if (r != kMidiOk) Raise(r);
    if (caps.ProductName == name) {
      caps_.ProductName = name;
      found = true;
      break;
    }
  }
  if (!found) throw EmidioutputError("MIDI output Device " + name + " not installed");
  SetDeviceID(device);
}

bool TMidiOutput::Open() {
  if (!context_) {
    context_ = new TMidiCallbackContext{};
    context_->MemoryHandle = next_context_handle.fetch_add(1, std::memory_order_relaxed);
  }
  context_->Window = window_.get();
  TMidiOutHandle handle = 0;
  const TMidiResult r = service_.Open(handle, device_id_, &TMidiOutput::Callback, context_);
  handle_.store(r == kMidiOk ? handle : 0, std::memory_order_release);
  last_error_.store(static_cast<uint16_t>(r), std::memory_order_relaxed);
  if (r != kMidiOk) {
    FreeContext();
    Raise(r);
  }
  state_.store(kStateOpen, std::memory_order_release);
  return true;
}

bool TMidiOutput::Close() {
  bool result = false;
  if (State() == kStateOpen) {
    const TMidiResult r = service_.Close(handle_.load(std::memory_order_acquire));
    last_error_.store(static_cast<uint16_t>(r), std::memory_order_relaxed);
    if (r != kMidiOk) Raise(r);
    result = true;
  }
  handle_.store(0, std::memory_order_release);
  state_.store(kStateClosed, std::memory_order_release);
  return result;
}

void TMidiOutput::SendShortMessage(uint8_t MidiMessage, uint8_t Data1, uint8_t Data2) {
  const TMidiResult r = TrySendShortMessage(MidiMessage, Data1, Data2);
  if (r != kMidiOk) Raise(r);
}

TMidiResult TMidiOutput::TrySendShortMessage(uint8_t MidiMessage, uint8_t Data1,
                                             uint8_t Data2) noexcept {
  const uint32_t word = static_cast<uint32_t>(MidiMessage) | static_cast<uint32_t>(Data1) << 8 |
                        static_cast<uint32_t>(Data2) << 16;
  const TMidiResult r = service_.ShortMsg(handle_.load(std::memory_order_acquire), word);
  last_error_.store(static_cast<uint16_t>(r), std::memory_order_relaxed);
  return r;
}

TMidiResult TMidiOutput::SendShortMessageAt(uint8_t MidiMessage, uint8_t Data1, uint8_t Data2,
                                            uint64_t frame) noexcept {
  const uint32_t word = static_cast<uint32_t>(MidiMessage) | static_cast<uint32_t>(Data1) << 8 |
                        static_cast<uint32_t>(Data2) << 16;
  const TMidiResult r = service_.ShortMsgAt(handle_.load(std::memory_order_acquire), word, frame);
  last_error_.store(static_cast<uint16_t>(r), std::memory_order_relaxed);
  return r;
}

void TMidiOutput::SendLongMessage(const uint8_t* Data, uint16_t Length) {
  if (!Data && Length) Raise(kMidiErrInvalidParam);
  // Owned here until the service has queued it; a refused message is freed, not leaked.
  auto hdr = std::make_unique<TMyMidiHdr>(Length);
  if (Length) std::memcpy(hdr->Data(), Data, Length);
  const TMidiOutHandle handle = handle_.load(std::memory_order_acquire);
  TMidiResult r = service_.PrepareHeader(handle, hdr->Header());
  last_error_.store(static_cast<uint16_t>(r), std::memory_order_relaxed);
  if (r != kMidiOk) Raise(r);
  r = service_.LongMsg(handle, hdr->Header());
  last_error_.store(static_cast<uint16_t>(r), std::memory_order_relaxed);
  if (r != kMidiOk) {
    service_.UnprepareHeader(handle, hdr->Header());
    Raise(r);
  }
  hdr.release();  // freed by LongMessageDone
}

void TMidiOutput::SendEvent(const TMidiOutEvent& Event) {
  if (State() != kStateOpen) throw EmidioutputError("MIDI Output device not open");
  if (Event.Sysex) {
    SendLongMessage(Event.Sysex, Event.SysexLength);
  } else {
    SendShortMessage(Event.MidiMessage, Event.Data1, Event.Data2);
  }
}

// Platform thread: touches nothing but the context, and only posts.
void TMidiOutput::Callback(TMidiOutHandle, uint32_t notice, void* context, uintptr_t param1,
                           uintptr_t) {
  auto* ctx = static_cast<TMidiCallbackContext*>(context);
  if (notice != kMidiNoticeDone || !ctx || !ctx->Window || !param1) return;
  ctx->Window->PostDone(reinterpret_cast<TMidiOutHeader*>(param1));
}

// Main thread.
void TMidiOutput::LongMessageDone(std::shared_ptr<TMyMidiHdr> hdr) {
  service_.UnprepareHeader(handle_.load(std::memory_order_acquire), hdr->Header());
  hdr.reset();
  if (Onmidioutput) Onmidioutput(this);
}
