#include "ALGenericFilter.h"

TALGenericFilter::TALGenericFilter(IMainThreadDispatcher& dispatcher)
    : queue_(dispatcher, [this](const IALAudioBufferPtr& buffer) { ProcessOnMainThread(buffer); }) {}

TALGenericFilter::~TALGenericFilter() {
  // The stop that disconnection sends must not reach an owner that may be half gone itself.
  {
    TOWWriteLockSection lock(*this);
    on_start_ = nullptr;
    on_stop_ = nullptr;
    on_process_data_ = nullptr;
  }
  DisconnectPins();
}

void TALGenericFilter::SetOnStart(TALFormatEvent handler) {
  TOWWriteLockSection lock(*this);
  on_start_ = std::move(handler);
}

void TALGenericFilter::SetOnStop(TNotifyEvent handler) {
  TOWWriteLockSection lock(*this);
  on_stop_ = std::move(handler);
}

void TALGenericFilter::SetOnProcessData(TALProcessAudioNotify handler) {
  TOWWriteLockSection lock(*this);
  on_process_data_ = std::move(handler);
}

void TALGenericFilter::SetSynchronizeType(TSLSynchronizeType value) {
  TOWWriteLockSection lock(*this);
  sync_.store(value, std::memory_order_release);
}

void TALGenericFilter::StreamStarted(const TOWStartWaveOperation& op) {
  if (on_start_) on_start_(*this, op.WaveFormat());
}

void TALGenericFilter::StreamStopped() {
  queue_.Clear();
  if (on_stop_) on_stop_(*this);
}

bool TALGenericFilter::ProcessBuffer(const TOWSuppliedBufferOperation& op) {
  // Dispatch holds this component's lock (its input pin's group) for the whole call.
  IALAudioBufferPtr in_buffer = TALAudioBuffer::CreateCopy(op.Buffer());
  IALAudioBufferPtr out_buffer = TALAudioBuffer::CreateCopy(op.Buffer());
  bool send = true;
  if (Enabled()) {
    out_buffer->Assign(in_buffer);
    if (on_process_data_) {
      const auto sync = SynchronizeType();
      if (sync == stNone) {
        on_process_data_(*this, in_buffer, out_buffer, send);
      } else {
        queue_.Enqueue(in_buffer, sync == stQueue);
        send = false;
      }
    }
  }
  if (send && out_buffer) OutputPin().SendData(out_buffer);
  return false;
}

void TALGenericFilter::ProcessOnMainThread(const IALAudioBufferPtr& buffer) {
  TALProcessAudioNotify handler;
  {
    TOWReadLockSection lock(*this);
    handler = on_process_data_;
  }
  IALAudioBufferPtr out_buffer = TALAudioBuffer::CreateCopy(buffer);
  bool send = true;
  if (handler) handler(*this, buffer, out_buffer, send);
  if (send && out_buffer) OutputPin().SendData(out_buffer);
}
