#include "ALAudioIn.h"

#include <algorithm>

namespace {
// Wave-thread messages of the in-cycle road, beside the device's own.
constexpr uint32_t kWimDataFromCycle = kWimData + 0x100;  // a block the cycle could not handle
constexpr uint32_t kDeferredShare = kWimData + 0x101;     // sinks outside the cycle still to serve
constexpr uint32_t kQueueMore = kWimData + 0x102;         // no spare record was free
constexpr uint32_t kResumeWhole = kWimData + 0x103;       // the first block's notice, for all sinks
constexpr uint32_t kResumeShare = kWimData + 0x104;       // the same for sinks outside the cycle

// No sink holds the record's buffer any longer: its memory can be captured into again. Copies,
// not bare counts: taking a reference is an acquiring operation on the count, so the last
// holder's reads happen before the capture writes again.
bool Unshared(const TALWaveBuffer& record) {
  const IOWNotifyOperationPtr op = record.op;
  const IALAudioBufferPtr buffer = record.buffer;
  if (op.use_count() != 2 || buffer.use_count() != 3) return false;
  return buffer->Block().use_count() == 2;
}
}  // namespace

TALAudioIn::TALAudioIn(IWaveIn& wave_in)
    : wave_in_(wave_in),
      format_(this),
      device_(wave_in),
      output_pin_(this, [this](const IOWNotifyOperationPtr& op,
                               uint32_t flags) { return OnUpstream(op, flags); }),
      enable_pin_(this, [this](bool value) { SetEnabled(value); }) {
  wave_thread_ = std::make_unique<TALWaveThread>(
      [this](uint32_t message, void* handle, void* param) { OnNotice(message, handle, param); });
}

TALAudioIn::~TALAudioIn() {
  Stop();
  // A device reopened by an upstream start while stopped is still open: close it before the wave
  // thread that its callback posts to goes away.
  IWaveInDevice* device;
  {
    std::lock_guard lock(params_.capture_lock);
    params_.active.store(false, std::memory_order_release);
    device = wave_device_.get();
  }
  if (device) device->Reset();
  {
    std::lock_guard lock(params_.capture_lock);
    params_.blocks.clear();
    if (wave_device_) wave_device_->Close();
    wave_device_.reset();
  }
  wave_thread_->Terminate();
  output_pin_.DisconnectAll();
}

void TALAudioIn::SetEnabled(bool value) {
  if (value == Enabled()) return;
  if (loading_) {
    enabled_.store(value, std::memory_order_release);
    enable_pin_.Mirror(value);
    return;
  }
  if (value)
    Start();
  else
    Stop();
}

void TALAudioIn::EndLoad() {
  if (!loading_) return;
  loading_ = false;
  if (Enabled()) {
    enabled_.store(false, std::memory_order_release);
    Start();
  }
}

void TALAudioIn::Start() {
  auto request = std::make_shared<TOWPumpRequestOperation>(this, 1.0f, pump_priority_, 3);
  output_pin_.Notify(request);
  if (request->Winner() == this) {
    stream_rate_ = request->Rate();
    params_.driving.store(true, std::memory_order_release);
    {
      std::lock_guard lock(params_.capture_lock);
      first_block_done_ = false;
      resume_ = std::make_shared<TOWSLResumeOperation>();
    }
    OpenAndStart();
    std::lock_guard lock(params_.capture_lock);
    for (int i = 0; i < kQueuedBlocks; ++i) QueueBlock();
    if (params_.active.load(std::memory_order_acquire))
      for (int i = 0; i < kSpareBlocks; ++i) NewRecord()->state = TALWaveBuffer::TState::kSpare;
  } else {
    params_.driving.store(false, std::memory_order_release);
    OpenAndStart();
  }
  enabled_.store(true, std::memory_order_release);
  enable_pin_.Mirror(true);
}

void TALAudioIn::OpenAndStart() {
  TCaptureFormat format;
  uint32_t sample_rate;
  {
    TOWOwnerWriteGuard guard(this);
    format.header = *format_.WaveFormat();
    format.buffer_size = format_.BufferSize();
    sample_rate = format_.SampleRate();
  }
  output_pin_.Notify(std::make_shared<TOWStartWaveOperation>(static_cast<int32_t>(sample_rate),
                                                             format.header, stream_rate_));
  {
    std::lock_guard lock(params_.capture_lock);
    capture_format_ = format;
  }
  Open(format.header);
  std::lock_guard lock(params_.capture_lock);
  if (wave_device_) wave_device_->Start();
}

void TALAudioIn::Open(const TWaveFormatEx& header) {
  if (params_.active.load(std::memory_order_acquire)) Stop();
  std::lock_guard lock(params_.capture_lock);
  params_.active.store(true, std::memory_order_release);
  const int number = device_.ResolveDeviceNumber();
  const uintptr_t serial = next_serial_++;
  TWaveInFormat format;
  format.channels = header.nChannels;
  format.bits = header.wBitsPerSample;
  format.sample_rate = header.nSamplesPerSec;
  TALWaveThread* thread = wave_thread_.get();
  // Runs on the back-end's thread: dispatching without waiting, or posting, is all it may do.
  auto callback = [this, thread, serial](IWaveInDevice* device, uint32_t message,
                                         TWaveInBlock* block) {
    void* handle = reinterpret_cast<void*>(serial);
    if (message != kWimData || !device || !device->InRealtimeCycle()) {
      thread->Post(message, handle, block);
      return;
    }
    cycle_blocks_.fetch_add(1, std::memory_order_relaxed);
    if (waiting_blocks_.load(std::memory_order_acquire) != 0)
      CountFallback(kBehind);
    else if (DeliverInCycle(serial, block))
      return;
    waiting_blocks_.fetch_add(1, std::memory_order_acq_rel);
    if (!thread->Post(kWimDataFromCycle, handle, block))
      waiting_blocks_.fetch_sub(1, std::memory_order_acq_rel);
  };
  wave_device_ = wave_in_.Open(number, format, callback);
  device_serial_ = serial;
}

void TALAudioIn::QueueBlock() {
  std::lock_guard lock(params_.capture_lock);
  // A stop may have come between the delivery that asked for this block and now.
  if (!params_.active.load(std::memory_order_acquire)) return;
  TALWaveBuffer* record = NewRecord();
  if (wave_device_) wave_device_->AddBuffer(&record->header);
}

TALWaveBuffer* TALAudioIn::NewRecord() {
  const TWaveFormatEx& header = capture_format_.header;
  auto record = std::make_unique<TALWaveBuffer>();
  record->device = wave_device_.get();
  record->params = &params_;
  auto buffer =
      TALAudioBuffer::Create(header.wBitsPerSample, capture_format_.buffer_size, header.nChannels);
  auto access = buffer->GetAccess();
  record->header.data = access->Data();
  record->header.bytes = static_cast<uint32_t>(buffer->DataSize());
  record->header.user = record.get();
  record->op = std::make_shared<TOWSuppliedBufferOperation>(buffer);
  record->buffer = std::move(buffer);
  params_.blocks.push_back(std::move(record));
  return params_.blocks.back().get();
}

TALWaveBuffer* TALAudioIn::FindRecord(const TWaveInBlock* block) {
  for (const auto& record : params_.blocks)
    if (&record->header == block) return record.get();
  return nullptr;
}

void TALAudioIn::OnNotice(uint32_t message, void* handle, void* param) {
  const uintptr_t serial = reinterpret_cast<uintptr_t>(handle);
  auto* block = static_cast<TWaveInBlock*>(param);
  try {
    if (message == kWimData || message == kWimDataFromCycle) {
      BlockFilled(serial, block);
    } else if (message == kDeferredShare) {
      ServeDeferred(serial, block);
    } else if (message == kResumeWhole || message == kResumeShare) {
      ServeResume(serial, message == kResumeWhole);
    } else if (message == kQueueMore) {
      std::lock_guard lock(params_.capture_lock);
      if (serial == device_serial_) QueueBlock();
    }
    // Opened and closed notices mean nothing here.
  } catch (...) {
    // A sink's error has nowhere to go on this thread; the stream carries on with the next block.
  }
  if (message == kWimDataFromCycle || message == kResumeWhole)
    waiting_blocks_.fetch_sub(1, std::memory_order_acq_rel);
}

TALCycleFallbacks TALAudioIn::CycleFallbacks() const {
  TALCycleFallbacks f;
  f.CaptureLock = fallbacks_[kCaptureLock].load(std::memory_order_relaxed);
  f.EngineLock = fallbacks_[kEngineLock].load(std::memory_order_relaxed);
  f.GroupLock = fallbacks_[kGroupLock].load(std::memory_order_relaxed);
  f.Behind = fallbacks_[kBehind].load(std::memory_order_relaxed);
  f.Other = fallbacks_[kOther].load(std::memory_order_relaxed);
  return f;
}

bool TALAudioIn::DeliverInCycle(uintptr_t serial, TWaveInBlock* block) {
  std::unique_lock lock(params_.capture_lock, std::try_to_lock);
  if (!lock.owns_lock()) {
    CountFallback(kCaptureLock);
    return false;
  }
  TALWaveBuffer* record = nullptr;
  if (params_.active.load(std::memory_order_acquire) && serial == device_serial_)
    record = FindRecord(block);
  if (!record) {
    CountFallback(kOther);
    return false;
  }
  bool deferred = false;
  try {
    TOWTryFailure failure = TOWTryFailure::kNone;
    if (!output_pin_.TryNotifyInCycle(record->op, deferred, &failure)) {
      CountFallback(failure == TOWTryFailure::kGlobal  ? kEngineLock
                    : failure == TOWTryFailure::kGroup ? kGroupLock
                                                       : kOther);
      return false;
    }
  } catch (...) {
    // As on the wave thread: the stream carries on with the next block.
  }
  // A sink may have stopped the capture, which freed the records.
  if (!params_.active.load(std::memory_order_acquire) || serial != device_serial_) return true;
  record->state = TALWaveBuffer::TState::kLent;
  if (deferred && wave_thread_->Post(kDeferredShare, reinterpret_cast<void*>(serial), block))
    record->state = TALWaveBuffer::TState::kDeferred;
  if (!first_block_done_) ResumeInCycle(serial);
  RequeueInCycle();
  return true;
}

void TALAudioIn::ResumeInCycle(uintptr_t serial) {
  first_block_done_ = true;
  bool deferred = false;
  bool sent = true;
  try {
    sent = output_pin_.TryNotifyInCycle(resume_, deferred);
  } catch (...) {
    // as for a block
  }
  void* handle = reinterpret_cast<void*>(serial);
  if (!sent) {
    // A lock is busy: the wave thread sends it, and the blocks after it follow it there.
    waiting_blocks_.fetch_add(1, std::memory_order_acq_rel);
    if (!wave_thread_->Post(kResumeWhole, handle, nullptr))
      waiting_blocks_.fetch_sub(1, std::memory_order_acq_rel);
  } else if (deferred) {
    wave_thread_->Post(kResumeShare, handle, nullptr);
  }
}

void TALAudioIn::ServeResume(uintptr_t serial, bool whole) {
  std::lock_guard lock(params_.capture_lock);
  if (!params_.active.load(std::memory_order_acquire) || serial != device_serial_) return;
  const IOWNotifyOperationPtr op = resume_;
  if (whole) {
    output_pin_.Notify(op);
  } else {
    output_pin_.NotifyDeferred(op);
  }
}

void TALAudioIn::RequeueInCycle() {
  TALWaveBuffer* spare = nullptr;
  for (const auto& record : params_.blocks) {
    if (record->state == TALWaveBuffer::TState::kLent && Unshared(*record))
      record->state = TALWaveBuffer::TState::kSpare;
    if (!spare && record->state == TALWaveBuffer::TState::kSpare) spare = record.get();
  }
  if (!spare) {
    // Sinks hold every buffer: the wave thread makes one more, which allocates.
    wave_thread_->Post(kQueueMore, reinterpret_cast<void*>(device_serial_), nullptr);
    return;
  }
  spare->state = TALWaveBuffer::TState::kQueued;
  spare->header.recorded = 0;
  if (wave_device_) wave_device_->AddBuffer(&spare->header);
}

void TALAudioIn::ServeDeferred(uintptr_t serial, TWaveInBlock* block) {
  std::lock_guard lock(params_.capture_lock);
  if (!params_.active.load(std::memory_order_acquire) || serial != device_serial_) return;
  TALWaveBuffer* record = FindRecord(block);
  if (!record || record->state != TALWaveBuffer::TState::kDeferred) return;
  const IOWNotifyOperationPtr op = record->op;
  output_pin_.NotifyDeferred(op);
  if (!params_.active.load(std::memory_order_acquire) || serial != device_serial_) return;
  if ((record = FindRecord(block))) record->state = TALWaveBuffer::TState::kLent;
}

void TALAudioIn::BlockFilled(uintptr_t serial, TWaveInBlock* block) {
  std::unique_lock lock(params_.capture_lock);
  if (!params_.active.load(std::memory_order_acquire)) return;
  // Blocks returned by an earlier device (before a stop and restart) are long gone.
  if (serial != device_serial_) return;
  auto it = std::find_if(params_.blocks.begin(), params_.blocks.end(),
                         [&](const auto& record) { return &record->header == block; });
  if (it == params_.blocks.end()) return;
  // Held here: a sink may stop the capture, which destroys the record, while the buffer travels.
  const IALAudioBufferPtr buffer = (*it)->buffer;
  // Whatever a sink does with the block, the device gets a block back: a lost one would never
  // be replaced, and enough of them starve the capture.
  try {
    output_pin_.SendData(buffer);
    if (!first_block_done_) {
      first_block_done_ = true;
      output_pin_.Notify(resume_);  // made with the flag at start
    }
  } catch (...) {
    // a sink's error has nowhere to go on this thread
  }
  if (!params_.active.load(std::memory_order_acquire) || serial != device_serial_) return;
  it = std::find_if(params_.blocks.begin(), params_.blocks.end(),
                    [&](const auto& record) { return &record->header == block; });
  if (it != params_.blocks.end()) params_.blocks.erase(it);
  QueueBlock();
}

void TALAudioIn::Stop() {
  if (!Enabled()) return;
  IWaveInDevice* device;
  {
    std::lock_guard lock(params_.capture_lock);
    if (!params_.active.load(std::memory_order_acquire)) return;
    params_.active.store(false, std::memory_order_release);
    device = wave_device_.get();
  }
  // Blocks returned here reach the wave thread and are ignored there.
  if (device) device->Reset();
  {
    std::lock_guard lock(params_.capture_lock);
    params_.blocks.clear();
    if (wave_device_) wave_device_->Close();
    wave_device_.reset();
  }
  output_pin_.Notify(std::make_shared<TOWEndStopOperation>());
  enabled_.store(false, std::memory_order_release);
  enable_pin_.Mirror(false);
}

bool TALAudioIn::OnUpstream(const IOWNotifyOperationPtr& op, uint32_t) {
  if (auto* start = op->As<TOWStartWaveOperation>()) {
    Open(*start->WaveFormat());
    return output_pin_.Notify(op);
  }
  if (op->Is<TOWStopOperation>()) {
    Stop();
    return output_pin_.Notify(op);
  }
  if (op->Is<TOWMasterPumpOperation>()) return false;
  return output_pin_.Notify(op);
}
