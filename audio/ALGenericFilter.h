// A pass-through audio component whose processing is its owner's OnProcessData handler, run
// either on the delivering thread inside the dispatch (stNone: the capture's wave thread, where
// the handler must never wait for the UI) or later on the main thread (stSingleBuffer, stQueue).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "ALCommonFilter.h"
#include "OWMainThread.h"
#include "platform/MainThreadDispatcher.h"

class TALGenericFilter;

using TALProcessAudioNotify =
    std::function<void(TALGenericFilter& sender, const IALAudioBufferPtr& in_buffer,
                       IALAudioBufferPtr& out_buffer, bool& send_output_data)>;
using TALFormatEvent = std::function<void(TALGenericFilter& sender, const TWaveFormatEx* format)>;
using TNotifyEvent = std::function<void(TALGenericFilter& sender)>;

class TALGenericFilter final : public TALCommonFilter {
 public:
  // dispatcher carries stSingleBuffer and stQueue processing to the main thread.
  explicit TALGenericFilter(IMainThreadDispatcher& dispatcher);
  ~TALGenericFilter() override;

  void SetOnStart(TALFormatEvent handler);
  void SetOnStop(TNotifyEvent handler);
  void SetOnProcessData(TALProcessAudioNotify handler);
  TSLSynchronizeType SynchronizeType() const { return sync_.load(std::memory_order_acquire); }
  void SetSynchronizeType(TSLSynchronizeType value);

  // Buffers waiting for the main thread.
  size_t PendingBuffers() const { return queue_.Size(); }
  // Processing inside the dispatch can run in the audio server's cycle; the main-thread kinds
  // post, which allocates.
  bool RunsInCycle() const override { return SynchronizeType() == stNone; }

 protected:
  void StreamStarted(const TOWStartWaveOperation& op) override;
  void StreamStopped() override;
  bool ProcessBuffer(const TOWSuppliedBufferOperation& op) override;

 private:
  void ProcessOnMainThread(const IALAudioBufferPtr& buffer);
  std::shared_ptr<const TALProcessAudioNotify> ProcessHandler() const;

  // Handlers live under their own short lock, never held while one runs: the delivering thread
  // may sit in the main-thread queue's wait holding this component's lock, and the main thread
  // must still be able to set a handler or process a queued buffer then.
  mutable std::mutex handlers_mutex_;
  TALFormatEvent on_start_;
  TNotifyEvent on_stop_;
  // Shared, so that taking it for a call copies a pointer, not the handler (no allocation).
  std::shared_ptr<const TALProcessAudioNotify> on_process_data_;
  // The same handler as the delivering thread calls it inside the dispatch (stNone), which may
  // be an audio server's cycle: read without a lock, between a count of the calls under way
  // that tells the setter when a handler it replaced can be freed. Until then it is kept here.
  std::atomic<const TALProcessAudioNotify*> process_now_{nullptr};
  std::atomic<int> calls_{0};
  std::vector<std::shared_ptr<const TALProcessAudioNotify>> retired_;  // under handlers_mutex_
  std::atomic<TSLSynchronizeType> sync_{stNone};
  TSLMainThreadBufferQueue queue_;
};
