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

TALWaveThread::~TALWaveThread() {
  Terminate();
}

bool TALWaveThread::Post(uint32_t message, void* handle, void* param) {
  if (terminating_.load(std::memory_order_acquire)) return false;
  if (waiting_.fetch_add(1, std::memory_order_acq_rel) >= kMaxNotices) {
    waiting_.fetch_sub(1, std::memory_order_acq_rel);
    return false;
  }
  queue_.Push({message, handle, param});  // a cell is free: at most 2000 of 2048 are in use
  ready_.release();
  return true;
}

void TALWaveThread::Terminate() {
  if (!terminating_.exchange(true, std::memory_order_acq_rel)) ready_.release();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TALWaveThread::Run() {
  raised_.store(RaiseCurrentThread(), std::memory_order_release);
  for (;;) {
    ready_.acquire();
    if (terminating_.load(std::memory_order_acquire)) return;  // what still waits is dropped
    Node node;
    // Announced only once pushed, yet another poster may still be filling an earlier cell.
    while (!queue_.Pop(node)) std::this_thread::yield();
    waiting_.fetch_sub(1, std::memory_order_acq_rel);
    if (handler_) handler_(node.message, node.handle, node.param);
  }
}
