#include "ALAudioOutNotifyThread.h"

TSLNotifyThread::TSLNotifyThread(std::function<void()> handler) : handler_(std::move(handler)) {
  thread_ = std::thread([this] { Run(); });
}

TSLNotifyThread::~TSLNotifyThread() { Stop(); }

void TSLNotifyThread::Signal() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  cv_.notify_one();
}

void TSLNotifyThread::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  cv_.notify_one();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TSLNotifyThread::Run() {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      cv_.wait(lock, [&] { return signalled_ || stopping_; });
      if (stopping_) return;
      signalled_ = false;
    }
    if (handler_) handler_();
  }
}
