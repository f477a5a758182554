// The wave thread of a capture or output component: receives the device's notices (posted from
// the back-end's thread, a real-time one included) through a counted queue of at most 2000
// entries and runs the component's handler for each, in order, on a thread of its own at raised
// priority where the system allows. Posting takes no lock and never allocates.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <semaphore>
#include <thread>

#include "platform/LockFreeQueue.h"

class TALWaveThread {
 public:
  static constexpr size_t kMaxNotices = 2000;
  using THandler = std::function<void(uint32_t message, void* handle, void* param)>;

  explicit TALWaveThread(THandler handler);
  ~TALWaveThread();  // terminates
  TALWaveThread(const TALWaveThread&) = delete;
  TALWaveThread& operator=(const TALWaveThread&) = delete;

  // Any thread, typically the back-end's: queues a notice without allocating. Returns false when
  // terminating or when 2000 notices are already waiting (the notice is then lost).
  bool Post(uint32_t message, void* handle, void* param);
  // Stops the thread after the notice it is handling; notices still queued are discarded.
  void Terminate();
  std::thread::id Id() const { return thread_.get_id(); }
  // Whether raising the priority succeeded (it needs real-time rights on Linux).
  bool Raised() const { return raised_.load(std::memory_order_acquire); }

 private:
  struct Node {
    uint32_t message;
    void* handle;
    void* param;
  };
  void Run();

  THandler handler_;
  // Never more than kMaxNotices cells in use: waiting_ admits a notice before it is pushed and
  // lets it go only after it was popped.
  TMpscQueue<Node, 2048> queue_;
  std::atomic<size_t> waiting_{0};
  std::counting_semaphore<4096> ready_{0};  // one release per notice, one to terminate
  std::atomic<bool> terminating_{false};
  std::atomic<bool> raised_{false};
  std::thread thread_;
};
