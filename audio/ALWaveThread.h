// The wave thread of a capture or output component: receives the device's notices (posted from
// the back-end's thread) through a counted queue of at most 2000 entries and runs the component's
// handler for each, in order, on a thread of its own at raised priority where the system allows.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

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
  std::mutex mutex_;
  std::condition_variable cv_;
  std::array<Node, kMaxNotices> ring_{};
  size_t head_ = 0;
  size_t count_ = 0;  // the semaphore's count
  bool terminating_ = false;
  std::atomic<bool> raised_{false};
  std::thread thread_;
};
