#include "ALWaveThread.h"

#include <pthread.h>
#include <sched.h>

namespace {
// The lowest real-time priority: above every ordinary thread, so blocks keep flowing while the
// UI is busy, yet below the audio server's own real-time threads.
bool RaiseCurrentThread() {
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO);
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}
}  // namespace

TALWaveThread::TALWaveThread(THandler handler) : handler_(std::move(handler)) {
  thread_ = std::thread([this] { Run(); });
}

TALWaveThread::~TALWaveThread() { Terminate(); }

bool TALWaveThread::Post(uint32_t message, void* handle, void* param) {
  {
    std::lock_guard lock(mutex_);
    if (terminating_ || count_ >= kMaxNotices) return false;
    ring_[(head_ + count_) % kMaxNotices] = {message, handle, param};
    ++count_;
  }
  cv_.notify_one();
  return true;
}

void TALWaveThread::Terminate() {
  {
    std::lock_guard lock(mutex_);
    terminating_ = true;
  }
  cv_.notify_one();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TALWaveThread::Run() {
  raised_.store(RaiseCurrentThread(), std::memory_order_release);
  for (;;) {
    Node node;
    {
      std::unique_lock lock(mutex_);
      cv_.wait(lock, [&] { return count_ > 0 || terminating_; });
      if (terminating_) {
        count_ = 0;
        return;
      }
      node = ring_[head_];
      head_ = (head_ + 1) % kMaxNotices;
      --count_;
    }
    if (handler_) handler_(node.message, node.handle, node.param);
  }
}
