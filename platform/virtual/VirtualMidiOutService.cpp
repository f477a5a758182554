#include "VirtualMidiOutService.h"

namespace {
TMidiOutCaps MapperCaps() {
  TMidiOutCaps caps;
  caps.ProductName = "Tocsin";
  caps.Technology = kMidiTechMapper;
  caps.ChannelMask = 0xFFFF;
  return caps;
}
}  // namespace

int32_t TVirtualMidiOutService::AddPort(const std::string& name) {
  TMidiOutCaps caps;
  caps.ProductName = name;
  caps.DriverVersion = 0x0100;
  caps.Technology = kMidiTechPort;
  caps.ChannelMask = 0xFFFF;
  return AddPort(caps);
}

int32_t TVirtualMidiOutService::AddPort(const TMidiOutCaps& caps) {
  std::lock_guard lock(mutex_);
  ports_.push_back(caps);
  return static_cast<int32_t>(ports_.size()) - 1;
}

void TVirtualMidiOutService::RenamePort(int32_t device, const std::string& name) {
  std::lock_guard lock(mutex_);
  if (device >= 0 && device < static_cast<int32_t>(ports_.size())) ports_[device].ProductName = name;
}

void TVirtualMidiOutService::SetMapper(bool present) {
  std::lock_guard lock(mutex_);
  mapper_ = present;
}

void TVirtualMidiOutService::FailCall(TMidiOutCall call, TMidiResult code) {
  std::lock_guard lock(mutex_);
  failing_[call] = code;
}

void TVirtualMidiOutService::SetHoldLongMessages(bool hold) {
  std::lock_guard lock(mutex_);
  hold_long_ = hold;
}

TMidiResult TVirtualMidiOutService::Failing(TMidiOutCall call) {
  ++calls_[call];
  auto it = failing_.find(call);
  return it == failing_.end() ? kMidiOk : it->second;
}

const TVirtualMidiOutService::TOpenPort* TVirtualMidiOutService::Find(TMidiOutHandle handle) const {
  auto it = open_.find(handle);
  return it == open_.end() ? nullptr : &it->second;
}

// The callback runs without the lock, as a platform's would: it may call back into the service.
void TVirtualMidiOutService::Notify(std::unique_lock<std::mutex>& lock, const TOpenPort& port,
                                    TMidiOutHandle handle, uint32_t notice, uintptr_t param1) {
  notices_.push_back(notice);
  TOpenPort copy = port;
  lock.unlock();
  if (copy.Callback) copy.Callback(handle, notice, copy.Context, param1, 0);
  lock.lock();
}

uint32_t TVirtualMidiOutService::GetNumDevs() {
  std::lock_guard lock(mutex_);
  return static_cast<uint32_t>(ports_.size());
}

TMidiResult TVirtualMidiOutService::GetDevCaps(int32_t device, TMidiOutCaps& caps) {
  std::lock_guard lock(mutex_);
  if (TMidiResult r = Failing(TMidiOutCall::GetDevCaps)) return r;
  if (device == kMidiMapper && mapper_) {
    caps = MapperCaps();
    return kMidiOk;
  }
  if (device < 0 || device >= static_cast<int32_t>(ports_.size())) return kMidiErrBadDeviceId;
  caps = ports_[device];
  return kMidiOk;
}

TMidiResult TVirtualMidiOutService::Open(TMidiOutHandle& handle, int32_t device,
                                         TMidiOutCallback callback, void* context) {
  std::unique_lock lock(mutex_);
  handle = 0;
  if (TMidiResult r = Failing(TMidiOutCall::Open)) return r;
  const bool exists = (device == kMidiMapper && mapper_) ||
                      (device >= 0 && device < static_cast<int32_t>(ports_.size()));
  if (!exists) return kMidiErrBadDeviceId;
  for (const auto& [h, port] : open_)
    if (port.Device == device) return kMidiErrAllocated;
  handle = next_handle_++;
  open_[handle] = TOpenPort{device, callback, context};
  last_context_ = context;
  Notify(lock, open_[handle], handle, kMidiNoticeOpen, 0);
  return kMidiOk;
}

TMidiResult TVirtualMidiOutService::Close(TMidiOutHandle handle) {
  std::unique_lock lock(mutex_);
  if (TMidiResult r = Failing(TMidiOutCall::Close)) return r;
  const TOpenPort* found = Find(handle);
  if (!found) return kMidiErrInvalidHandle;
  TOpenPort port = *found;
  open_.erase(handle);
  // Messages still queued are given back, as a reset would, so no buffer is left behind.
  for (size_t i = 0; i < pending_.size();) {
    if (pending_[i].Handle != handle) {
      ++i;
      continue;
    }
    TMidiOutHeader* header = pending_[i].Header;
    pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
    header->Flags |= kMidiHdrDone;
    Notify(lock, port, handle, kMidiNoticeDone, reinterpret_cast<uintptr_t>(header));
  }
  Notify(lock, port, handle, kMidiNoticeClose, 0);
  return kMidiOk;
}

TMidiResult TVirtualMidiOutService::ShortMsg(TMidiOutHandle handle, uint32_t message) {
  return Short(handle, message, false, 0);
}

TMidiResult TVirtualMidiOutService::ShortMsgAt(TMidiOutHandle handle, uint32_t message,
                                               uint64_t frame) {
  return Short(handle, message, true, frame);
}

TMidiResult TVirtualMidiOutService::Short(TMidiOutHandle handle, uint32_t message, bool timed,
                                          uint64_t frame) {
  std::lock_guard lock(mutex_);
  if (TMidiResult r = Failing(TMidiOutCall::ShortMsg)) return r;
  const TOpenPort* port = Find(handle);
  if (!port) return kMidiErrInvalidHandle;
  const uint8_t status = message & 0xFF;
  // As on the wire: system real-time and tune request carry no data, program and channel
  // pressure one byte, the rest two.
  size_t length = 3;
  if (status >= 0xF6) {
    length = 1;
  } else if ((status & 0xE0) == 0xC0 || status == 0xF1 || status == 0xF3) {
    length = 2;
  }
  TSent sent{{}, std::chrono::steady_clock::now(), false, timed, frame};
  for (size_t i = 0; i < length; ++i) sent.Bytes.push_back(static_cast<uint8_t>(message >> (8 * i)));
  sent_[port->Device].push_back(std::move(sent));
  return kMidiOk;
}

TMidiResult TVirtualMidiOutService::PrepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) {
  std::lock_guard lock(mutex_);
  if (TMidiResult r = Failing(TMidiOutCall::PrepareHeader)) return r;
  if (!Find(handle)) return kMidiErrInvalidHandle;
  if (!header.Data && header.BufferLength) return kMidiErrInvalidParam;
  header.Flags = kMidiHdrPrepared;
  return kMidiOk;
}

TMidiResult TVirtualMidiOutService::LongMsg(TMidiOutHandle handle, TMidiOutHeader& header) {
  std::unique_lock lock(mutex_);
  if (TMidiResult r = Failing(TMidiOutCall::LongMsg)) return r;
  const TOpenPort* port = Find(handle);
  if (!port) return kMidiErrInvalidHandle;
  if (!(header.Flags & kMidiHdrPrepared)) return kMidiErrUnprepared;
  if (header.BufferLength == 0) return kMidiErrInvalidParam;
  TSent sent{std::vector<uint8_t>(header.Data, header.Data + header.BufferLength),
             std::chrono::steady_clock::now(), true};
  sent_[port->Device].push_back(std::move(sent));
  if (hold_long_) {
    pending_.push_back({handle, &header});
    return kMidiOk;
  }
  completed_.emplace_back(header.Data, header.Data + header.BufferLength);
  header.Flags |= kMidiHdrDone;
  Notify(lock, *port, handle, kMidiNoticeDone, reinterpret_cast<uintptr_t>(&header));
  return kMidiOk;
}

size_t TVirtualMidiOutService::CompleteLongMessages() {
  std::unique_lock lock(mutex_);
  size_t done = 0;
  while (!pending_.empty()) {
    TPending p = pending_.front();
    pending_.pop_front();
    const TOpenPort* port = Find(p.Handle);
    if (!port) continue;
    // The buffer is read again at completion: it must still be alive and unchanged.
    completed_.emplace_back(p.Header->Data, p.Header->Data + p.Header->BufferLength);
    p.Header->Flags |= kMidiHdrDone;
    Notify(lock, *port, p.Handle, kMidiNoticeDone, reinterpret_cast<uintptr_t>(p.Header));
    ++done;
  }
  return done;
}

TMidiResult TVirtualMidiOutService::UnprepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) {
  std::lock_guard lock(mutex_);
  if (TMidiResult r = Failing(TMidiOutCall::UnprepareHeader)) return r;
  if (!Find(handle)) return kMidiErrInvalidHandle;
  for (const auto& p : pending_)
    if (p.Header == &header) return kMidiErrStillPlaying;
  header.Flags &= ~kMidiHdrPrepared;
  return kMidiOk;
}

TMidiResult TVirtualMidiOutService::GetErrorText(TMidiResult code, std::string& text) {
  return MidiOutErrorText(code, text);
}

std::vector<TVirtualMidiOutService::TSent> TVirtualMidiOutService::Sent(int32_t device) const {
  std::lock_guard lock(mutex_);
  auto it = sent_.find(device);
  return it == sent_.end() ? std::vector<TSent>{} : it->second;
}

std::vector<uint8_t> TVirtualMidiOutService::Bytes(int32_t device) const {
  std::vector<uint8_t> out;
  for (const auto& s : Sent(device)) out.insert(out.end(), s.Bytes.begin(), s.Bytes.end());
  return out;
}

bool TVirtualMidiOutService::IsOpen(int32_t device) const {
  std::lock_guard lock(mutex_);
  for (const auto& [h, port] : open_)
    if (port.Device == device) return true;
  return false;
}

void* TVirtualMidiOutService::LastOpenContext() const {
  std::lock_guard lock(mutex_);
  return last_context_;
}

int TVirtualMidiOutService::CallCount(TMidiOutCall call) const {
  std::lock_guard lock(mutex_);
  auto it = calls_.find(call);
  return it == calls_.end() ? 0 : it->second;
}

std::vector<uint32_t> TVirtualMidiOutService::Notices() const {
  std::lock_guard lock(mutex_);
  return notices_;
}

std::vector<std::vector<uint8_t>> TVirtualMidiOutService::CompletedLong() const {
  std::lock_guard lock(mutex_);
  return completed_;
}
