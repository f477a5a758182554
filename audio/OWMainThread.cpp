#include "OWMainThread.h"

#include <atomic>
#include <chrono>
#include <unordered_map>

namespace {
std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}
std::unordered_map<uint64_t, TSLMainThreadNotify*>& Registry() {
  static std::unordered_map<uint64_t, TSLMainThreadNotify*> registry;
  return registry;
}
std::atomic<uint64_t> next_id{1};
}  // namespace

TSLMainThreadNotify::TSLMainThreadNotify(IMainThreadDispatcher& dispatcher,
                                         std::function<void()> callback)
    : dispatcher_(dispatcher), callback_(std::move(callback)), id_(next_id.fetch_add(1)) {
  std::lock_guard lock(RegistryMutex());
  Registry().emplace(id_, this);
}

TSLMainThreadNotify::~TSLMainThreadNotify() {
  std::lock_guard lock(RegistryMutex());
  Registry().erase(id_);
}

size_t TSLMainThreadNotify::RegisteredCount() {
  std::lock_guard lock(RegistryMutex());
  return Registry().size();
}

void TSLMainThreadNotify::Post() {
  const uint64_t id = id_;
  dispatcher_.Post([id] { Deliver(id); });
}

void TSLMainThreadNotify::Deliver(uint64_t id) {
  TSLMainThreadNotify* notify = nullptr;
  {
    std::lock_guard lock(RegistryMutex());
    auto it = Registry().find(id);
    if (it == Registry().end()) return;
    notify = it->second;
  }
  if (notify->callback_) notify->callback_();
}

TSLMainThreadBufferQueue::TSLMainThreadBufferQueue(IMainThreadDispatcher& dispatcher,
                                                   TCallback callback)
    : callback_(std::move(callback)), notify_(dispatcher, [this] { OnMessage(); }) {}

bool TSLMainThreadBufferQueue::Enqueue(const IALAudioBufferPtr& buffer, bool queued,
                                       const std::atomic<bool>* keep_waiting) {
  if (!keep_waiting) {
    permits_.acquire();
  } else {
    while (!permits_.try_acquire_for(std::chrono::milliseconds(5)))
      if (!keep_waiting->load(std::memory_order_acquire)) return false;
  }
  {
    std::lock_guard lock(mutex_);
    if (queued || list_.empty()) list_.push_back(buffer);
  }
  notify_.Post();
  return true;
}

void TSLMainThreadBufferQueue::OnMessage() {
  IALAudioBufferPtr buffer;
  {
    std::lock_guard lock(mutex_);
    if (!list_.empty()) {
      buffer = std::move(list_.front());
      list_.pop_front();
    }
  }
  // The permit comes back even if the callback throws.
  struct Release {
    std::counting_semaphore<kPermits>& permits;
    ~Release() { permits.release(); }
  } release{permits_};
  if (buffer && callback_) callback_(buffer);
}

void TSLMainThreadBufferQueue::Clear() {
  std::lock_guard lock(mutex_);
  list_.clear();
}

size_t TSLMainThreadBufferQueue::Size() const {
  std::lock_guard lock(mutex_);
  return list_.size();
}
