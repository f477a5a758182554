#include "QtMainThreadDispatcher.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <memory>

TQtMainThreadDispatcher::TQtMainThreadDispatcher(QObject* receiver)
    : ui_thread_(QThread::currentThreadId()) {
  if (!receiver) {
    own_ = new QObject;
    receiver = own_;
  }
  // The context is a child of the receiver: it dies with it, and Qt then discards the calls
  // still queued for it. The destroyed signal runs on the UI thread, under our mutex, so no
  // other thread can be posting to the context while it goes away.
  context_ = new QObject(receiver);
  destroyed_ = QObject::connect(context_, &QObject::destroyed, [this] { Detach(); });
}

TQtMainThreadDispatcher::~TQtMainThreadDispatcher() {
  QObject::disconnect(destroyed_);
  QObject* context = nullptr;
  {
    std::lock_guard lock(mutex_);
    context = context_;
    context_ = nullptr;
  }
  delete context;  // drops whatever is still queued
  delete own_;
}

void TQtMainThreadDispatcher::Detach() {
  std::lock_guard lock(mutex_);
  context_ = nullptr;
}

bool TQtMainThreadDispatcher::IsMainThread() const {
  return QThread::currentThreadId() == ui_thread_;
}

void TQtMainThreadDispatcher::RunPosted() {
  if (!IsMainThread()) return;
  QObject* context;
  {
    std::lock_guard lock(mutex_);
    context = context_;
  }
  if (context) QCoreApplication::sendPostedEvents(context, QEvent::MetaCall);
}

void TQtMainThreadDispatcher::Post(std::function<void()> fn) {
  std::lock_guard lock(mutex_);
  if (!context_) return;
  // Queued calls to one object are delivered in posting order.
  QMetaObject::invokeMethod(context_, std::move(fn), Qt::QueuedConnection);
}

void TQtMainThreadDispatcher::Call(std::function<void()> fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  // Not a blocking queued call: the wait must end also when Qt discards the queued call because
  // the receiver went away. The last holder of the token (the queued call, once run or
  // discarded) marks the call done.
  struct TDone {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
  };
  struct TToken {
    std::shared_ptr<TDone> d;
    ~TToken() {
      std::lock_guard l(d->m);
      d->done = true;
      d->cv.notify_all();
    }
  };
  auto done = std::make_shared<TDone>();
  auto token = std::make_shared<TToken>();
  token->d = done;
  {
    std::lock_guard lock(mutex_);
    if (!context_) return;
    QMetaObject::invokeMethod(
        context_, [fn = std::move(fn), token] { fn(); }, Qt::QueuedConnection);
  }
  token.reset();
  std::unique_lock l(done->m);
  done->cv.wait(l, [&] { return done->done; });
}
