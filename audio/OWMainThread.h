// Main-thread delivery: lets a component run its events on the UI thread instead of the thread
// that delivered a buffer. Notifications go through IMainThreadDispatcher; a notifier destroyed
// while one is in flight is simply skipped when the message arrives.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <semaphore>

#include "ALAudioBuffer.h"
#include "platform/MainThreadDispatcher.h"

enum class TSLSynchronizeType { stNone, stSingleBuffer, stQueue };
using enum TSLSynchronizeType;

// A registered callback that can be posted to the main thread without waiting. Create and destroy
// it on the main thread: the callback runs there, and destruction must not race with it.
class TSLMainThreadNotify {
 public:
  TSLMainThreadNotify(IMainThreadDispatcher& dispatcher, std::function<void()> callback);
  ~TSLMainThreadNotify();
  TSLMainThreadNotify(const TSLMainThreadNotify&) = delete;
  TSLMainThreadNotify& operator=(const TSLMainThreadNotify&) = delete;

  // Any thread: queues one call of the callback on the main thread.
  void Post();
  // Notifiers alive in the process (the app's hidden message target exists while this is > 0).
  static size_t RegisteredCount();

 private:
  static void Deliver(uint64_t id);
  IMainThreadDispatcher& dispatcher_;
  std::function<void()> callback_;
  uint64_t id_;
};

// Buffers waiting for the main thread. Enqueue blocks the producer while 400 notifications are
// outstanding, until the main thread catches up.
class TSLMainThreadBufferQueue {
 public:
  static constexpr ptrdiff_t kPermits = 400;
  using TCallback = std::function<void(const IALAudioBufferPtr& buffer)>;

  TSLMainThreadBufferQueue(IMainThreadDispatcher& dispatcher, TCallback callback);

  // Producer thread. Queued false keeps at most one waiting buffer: later ones are dropped.
  // While 400 notifications are outstanding it waits for the main thread; when keep_waiting is
  // given and turns false meanwhile, it gives up and drops the buffer (returns false), so that a
  // main thread which switches the consumer off is never locked out by a producer stuck here.
  bool Enqueue(const IALAudioBufferPtr& buffer, bool queued,
               const std::atomic<bool>* keep_waiting = nullptr);
  // Any thread: forgets every waiting buffer.
  void Clear();
  size_t Size() const;

 private:
  void OnMessage();  // main thread

  TCallback callback_;
  std::counting_semaphore<kPermits> permits_{kPermits};
  mutable std::mutex mutex_;
  std::deque<IALAudioBufferPtr> list_;
  TSLMainThreadNotify notify_;
};
