#include "ALGenericFilter.h"

TALGenericFilter::TALGenericFilter(IMainThreadDispatcher& dispatcher)
    : queue_(dispatcher, [this](const IALAudioBufferPtr& buffer) { ProcessOnMainThread(buffer); }) {
}

TALGenericFilter::~TALGenericFilter() {
  // The stop that disconnection sends must not reach an owner that may be half gone itself.
  {
    std::lock_guard lock(handlers_mutex_);
    on_start_ = nullptr;
    on_stop_ = nullptr;
    process_now_.store(nullptr, std::memory_order_seq_cst);
  }
  DisconnectPins();
  // No dispatch reaches us any more: the handlers can go.
  std::lock_guard lock(handlers_mutex_);
  on_process_data_ = nullptr;
  retired_.clear();
}

void TALGenericFilter::SetOnStart(TALFormatEvent handler) {
  std::lock_guard lock(handlers_mutex_);
  on_start_ = std::move(handler);
}

void TALGenericFilter::SetOnStop(TNotifyEvent handler) {
  std::lock_guard lock(handlers_mutex_);
  on_stop_ = std::move(handler);
}

void TALGenericFilter::SetOnProcessData(TALProcessAudioNotify handler) {
  std::shared_ptr<const TALProcessAudioNotify> fresh;
  if (handler) fresh = std::make_shared<const TALProcessAudioNotify>(std::move(handler));
  std::vector<std::shared_ptr<const TALProcessAudioNotify>> freed;
  {
    std::lock_guard lock(handlers_mutex_);
    on_process_data_.swap(fresh);
    process_now_.store(on_process_data_.get(), std::memory_order_seq_cst);
    retired_.push_back(std::move(fresh));
    // A call that begins after the store above finds the new handler: once no call runs, none
    // can still hold an old one.
    if (calls_.load(std::memory_order_seq_cst) == 0) freed.swap(retired_);
  }
  // Freed here, outside the lock the main thread's deliveries take.
}

std::shared_ptr<const TALProcessAudioNotify> TALGenericFilter::ProcessHandler() const {
  std::lock_guard lock(handlers_mutex_);
  return on_process_data_;
}

void TALGenericFilter::SetSynchronizeType(TSLSynchronizeType value) {
  // Not under the component's lock: see handlers_mutex_. Delivery reads it once per buffer.
  sync_.store(value, std::memory_order_release);
}

void TALGenericFilter::StreamStarted(const TOWStartWaveOperation& op) {
  TALFormatEvent handler;
  {
    std::lock_guard lock(handlers_mutex_);
    handler = on_start_;
  }
  if (handler) handler(*this, op.WaveFormat());
}

void TALGenericFilter::StreamStopped() {
  queue_.Clear();
  TNotifyEvent handler;
  {
    std::lock_guard lock(handlers_mutex_);
    handler = on_stop_;
  }
  if (handler) handler(*this);
}

bool TALGenericFilter::ProcessBuffer(const TOWSuppliedBufferOperation& op) {
  // Dispatch holds this component's lock (its input pin's group) for the whole call.
  const auto sync = SynchronizeType();
  // Processed inside the dispatch, the handler gets the sender's buffer itself: the copies only
  // shared its memory anyway, and making them would allocate in the audio server's cycle.
  IALAudioBufferPtr in_buffer =
      sync == stNone ? op.Buffer() : IALAudioBufferPtr(TALAudioBuffer::CreateCopy(op.Buffer()));
  IALAudioBufferPtr out_buffer =
      sync == stNone ? op.Buffer() : IALAudioBufferPtr(TALAudioBuffer::CreateCopy(op.Buffer()));
  bool send = true;
  if (Enabled()) {
    if (out_buffer != in_buffer) out_buffer->Assign(in_buffer);
    if (sync == stNone) {
      // No lock here: the dispatch may be running inside an audio server's cycle.
      struct TCall {
        std::atomic<int>& calls;
        explicit TCall(std::atomic<int>& c) : calls(c) {
          calls.fetch_add(1, std::memory_order_seq_cst);
        }
        ~TCall() { calls.fetch_sub(1, std::memory_order_release); }
      } call(calls_);
      if (const TALProcessAudioNotify* handler = process_now_.load(std::memory_order_seq_cst))
        (*handler)(*this, in_buffer, out_buffer, send);
    } else if (ProcessHandler()) {
      // Switching the filter off releases a wait for the main thread.
      queue_.Enqueue(in_buffer, sync == stQueue, &EnabledFlag());
      send = false;
    }
  }
  // Nothing connected downstream (the window's chain): no operation to make.
  if (send && out_buffer && OutputPin().SinkCount() > 0) OutputPin().SendData(out_buffer);
  return false;
}

void TALGenericFilter::ProcessOnMainThread(const IALAudioBufferPtr& buffer) {
  const auto handler = ProcessHandler();
  IALAudioBufferPtr out_buffer = TALAudioBuffer::CreateCopy(buffer);
  bool send = true;
  if (handler) (*handler)(*this, buffer, out_buffer, send);
  if (send && out_buffer) OutputPin().SendData(out_buffer);
}
