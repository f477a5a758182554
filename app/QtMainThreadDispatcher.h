// IMainThreadDispatcher on the Qt event loop: engine, MIDI and timing code reach the UI thread
// through it without knowing Qt. Posted functions run in posting order on the thread that owns
// the dispatcher; once the receiver is gone, posted functions are dropped and Call returns.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <mutex>

#include "platform/MainThreadDispatcher.h"

class TQtMainThreadDispatcher final : public IMainThreadDispatcher {
 public:
  // Created on the UI thread. The functions run in the context of receiver (by default an
  // object of the dispatcher's own); when receiver is destroyed, nothing more runs.
  explicit TQtMainThreadDispatcher(QObject* receiver = nullptr);
  ~TQtMainThreadDispatcher() override;
  TQtMainThreadDispatcher(const TQtMainThreadDispatcher&) = delete;
  TQtMainThreadDispatcher& operator=(const TQtMainThreadDispatcher&) = delete;

  // Any thread; never waits for the UI thread.
  void Post(std::function<void()> fn) override;
  // Any thread; from a thread other than the UI thread it waits until fn has run (or has been
  // dropped because the receiver went away). Never call it from a thread the UI thread waits for.
  void Call(std::function<void()> fn) override;
  bool IsMainThread() const override;
  // UI thread: runs at once every function posted so far, without processing other messages.
  void RunPosted();

 private:
  void Detach();

  mutable std::mutex mutex_;
  QObject* context_ = nullptr;  // guarded by mutex_; null once the receiver is gone
  QObject* own_ = nullptr;      // the default receiver, owned here
  QMetaObject::Connection destroyed_;
  Qt::HANDLE ui_thread_;
};
