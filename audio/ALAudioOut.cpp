#include "ALAudioOut.h"

#include <algorithm>

namespace {
TWaveOutFormat ToWaveOutFormat(const TWaveFormatEx& header) {
  TWaveOutFormat format;
  format.channels = header.nChannels;
  format.bits = header.wBitsPerSample;
  format.sample_rate = header.nSamplesPerSec;
  return format;
}
}  // namespace

TALAudioOut::TALAudioOut(IWaveOut& wave_out)
    : wave_out_(wave_out),
      device_(wave_out),
      input_pin_(this, [this](const IOWNotifyOperationPtr& op,
                              uint32_t flags) { return OnInput(op, flags); }),
      enable_pin_(this, [this](bool value) { SetEnabled(value); }) {
  notify_thread_ = std::make_unique<TSLNotifyThread>([this] { CloseDevice(true); });
  enable_pin_.Mirror(true);
}

TALAudioOut::~TALAudioOut() {
  input_pin_.Disconnect();
  CloseDevice(true);
  notify_thread_->Stop();
}

void TALAudioOut::SetEnabled(bool value) {
  enabled_.store(value, std::memory_order_release);
  enable_pin_.Mirror(value);
}

void TALAudioOut::SetDevice(const TALAudioOutDevice& device) { device_ = device; }

bool TALAudioOut::Active() {
  std::lock_guard lock(params_lock_);
  return active_;
}

bool TALAudioOut::Master() {
  std::lock_guard lock(params_lock_);
  return master_;
}

size_t TALAudioOut::BuffersInFlight() {
  std::lock_guard lock(params_lock_);
  return in_flight_.size();
}

size_t TALAudioOut::QueuedOperations() {
  std::lock_guard lock(queue_lock_);
  return operations_.size();
}

bool TALAudioOut::OnInput(const IOWNotifyOperationPtr& op, uint32_t) {
  // The requester reads the answer as soon as its dispatch returns: queued behind buffers, the
  // question would be answered to nobody and the source would start pacing itself.
  if (auto* request = op->As<TOWPumpRequestOperation>()) {
    Negotiate(*request);
    return true;
  }
  {
    std::lock_guard lock(queue_lock_);
    operations_.push_back(op);
  }
  if (!Playing()) ServeQueue();
  if (BuffersInFlight() <= 1) ServeQueue();
  return true;
}

void TALAudioOut::ServeQueue() {
  IOWNotifyOperationPtr op;
  {
    std::lock_guard lock(queue_lock_);
    if (operations_.empty()) return;
    op = std::move(operations_.front());
    operations_.pop_front();
  }
  Handle(op);
}

void TALAudioOut::Handle(const IOWNotifyOperationPtr& op) {
  if (auto* start = op->As<TOWStartWaveOperation>()) {
    std::unique_lock lock(params_lock_);
    if (active_) {
      // Waits at the head until the device in use has been closed.
      std::lock_guard queue(queue_lock_);
      operations_.push_front(op);
      return;
    }
    playing_.store(false, std::memory_order_release);
    OpenDevice(*start->WaveFormat());
    return;
  }
  if (op->Is<TOWStartPumpOperation>()) {
    if (!Master() || !EnableMasterPumping()) return;
    int requests = 1;
    if (PreFillEnabled()) requests = (Playing() ? 0 : 1) + 3;
    for (int i = 0; i < requests; ++i) SendPumpRequest();
    return;
  }
  if (op->Is<TOWEndStopOperation>()) {
    // The buffers still on the device are the end of the stream: they play out before the device
    // is closed (a reset now would cut them off). A device not playing would never give them back.
    std::lock_guard lock(params_lock_);
    if (in_flight_.empty() || !Playing() || Paused() || !wave_device_)
      notify_thread_->Signal();
    else
      end_pending_ = true;
    return;
  }
  if (op->Is<TOWStopOperation>()) return;
  if (op->Is<TOWSLPauseOperation>()) {
    std::lock_guard lock(params_lock_);
    paused_.store(true, std::memory_order_release);
    if (wave_device_) wave_device_->Pause();
    return;
  }
  if (op->Is<TOWSLResumeOperation>()) {
    {
      std::lock_guard lock(params_lock_);
      playing_.store(true, std::memory_order_release);
      paused_.store(false, std::memory_order_release);
      if (wave_device_) wave_device_->Restart();
    }
    while (owed_pumps_.load(std::memory_order_acquire) > 0) {
      owed_pumps_.fetch_sub(1, std::memory_order_acq_rel);
      SendPumpRequest();
    }
    return;
  }
  if (auto* request = op->As<TOWPumpRequestOperation>()) {
    Negotiate(*request);
    return;
  }
  if (auto* supplied = op->As<TOWSuppliedBufferOperation>()) WriteBuffer(supplied->Buffer());
}

void TALAudioOut::Negotiate(TOWPumpRequestOperation& request) {
  if (!EnableMasterPumping()) return;
  int32_t answered_priority = 0;
  if (PumpRequestAnswered(request, &answered_priority) && answered_priority >= PumpPriority())
    return;
  {
    // The device this output has open answers for itself: a test open, or even listing the
    // devices, would make the source wait (on some servers for a good part of a second) while
    // it holds the stream and the device runs dry.
    std::lock_guard lock(params_lock_);
    if (active_ && wave_device_ && master_ && device_.DeviceName() == open_name_) {
      request.SetWinner(this);
      return;
    }
  }
  // A test open in a plain format tells whether the device can play at all.
  const TWaveOutFormat probe{1, 16, 11025};
  auto test = wave_out_.Open(device_.ResolveDeviceID(), probe, nullptr);
  std::lock_guard lock(params_lock_);
  if (test) {
    request.SetWinner(this);
    master_ = true;
    test->Close();
  } else {
    master_ = false;
  }
}

void TALAudioOut::SendPumpRequest() {
  input_pin_.Notify(std::make_shared<TOWMasterPumpOperation>(this));
}

void TALAudioOut::OpenDevice(const TWaveFormatEx& header) {
  if (Active()) CloseDevice(false);
  std::lock_guard lock(params_lock_);
  active_ = true;
  const uint64_t serial = ++serial_;
  wave_thread_ = std::make_unique<TALWaveThread>(
      [this, serial](uint32_t message, void*, void* param) { OnNotice(serial, message, param); });
  TALWaveThread* thread = wave_thread_.get();
  // The back-end's callback only posts: the wave thread does the work.
  open_name_ = device_.DeviceName();
  wave_device_ = wave_out_.Open(device_.ResolveDeviceID(), ToWaveOutFormat(header),
                                [thread](IWaveOutDevice* device, uint32_t message,
                                         TWaveOutBlock* block) {
                                  thread->Post(message, device, block);
                                });
  // Nothing plays before the stream says it flows (a resume).
  if (wave_device_) wave_device_->Pause();
}

void TALAudioOut::WriteBuffer(const IALAudioBufferPtr& buffer) {
  if (!Enabled() || !buffer) return;
  std::lock_guard lock(params_lock_);
  // Without an open device there is nothing to play on: the buffer is dropped, so that the
  // in-flight count stays true and the queue keeps moving.
  if (!active_ || !wave_device_) return;
  auto record = std::make_unique<TWaveBuffer>();
  record->buffer = buffer;
  record->access = buffer->GetAccess();
  record->block.data = record->access->Data();
  record->block.bytes = static_cast<uint32_t>(buffer->DataSize());
  record->block.user = record.get();
  TWaveOutBlock* block = &record->block;
  in_flight_.push_back(std::move(record));
  wave_device_->Write(block);
}

void TALAudioOut::OnNotice(uint64_t serial, uint32_t message, void* param) {
  if (message != kWomDone) return;
  auto* block = static_cast<TWaveOutBlock*>(param);
  {
    std::unique_lock lock(params_lock_);
    if (!active_ || serial != serial_) return;
    if (master_) {
      lock.unlock();
      if (Paused()) owed_pumps_.fetch_add(1, std::memory_order_acq_rel);
      SendPumpRequest();
      lock.lock();
      if (!active_ || serial != serial_) return;
    }
    auto it = std::find_if(in_flight_.begin(), in_flight_.end(),
                           [&](const auto& r) { return &r->block == block; });
    if (it != in_flight_.end()) in_flight_.erase(it);
    if (end_pending_ && in_flight_.empty()) {
      end_pending_ = false;
      notify_thread_->Signal();
    }
  }
  ServeQueue();
}

void TALAudioOut::CloseDevice(bool clear_master) {
  std::unique_ptr<IWaveOutDevice> device;
  std::unique_ptr<TALWaveThread> thread;
  std::vector<std::unique_ptr<TWaveBuffer>> records;
  {
    std::lock_guard lock(params_lock_);
    if (!active_) return;
    if (clear_master) master_ = false;
    active_ = false;
    end_pending_ = false;
    // Taken out under the lock, so an open that follows at once cannot mix with this close.
    device = std::move(wave_device_);
    thread = std::move(wave_thread_);
    records.swap(in_flight_);  // they stay alive until the device lets go of them
    ++serial_;
  }
  if (device) device->Reset();  // blocks come back as notices, ignored by their old serial
  thread.reset();               // terminates: queued notices are dropped
  if (device) device->Close();
  records.clear();
}
