// Fixed-size queues between a real-time thread and ordinary threads: no allocation after
// construction, no lock, so an audio callback can push or pop without ever waiting.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// One producer thread and one consumer thread, roles fixed while both run.
template <typename T, size_t N>
class TSpscQueue {
  static_assert((N & (N - 1)) == 0, "capacity must be a power of two");
  static_assert(std::is_trivially_copyable_v<T>);
  static_assert(std::atomic<size_t>::is_always_lock_free);

 public:
  bool Push(const T& value) {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == N) return false;
    items_[tail & (N - 1)] = value;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }
  bool Pop(T& value) {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return false;
    value = items_[head & (N - 1)];
    head_.store(head + 1, std::memory_order_release);
    return true;
  }
  bool Empty() const {
    return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
  }
  static constexpr size_t Capacity() { return N; }

 private:
  alignas(64) std::atomic<size_t> head_{0};
  alignas(64) std::atomic<size_t> tail_{0};
  alignas(64) std::array<T, N> items_{};
};

// Any number of producer threads, one consumer: each cell carries a sequence number that tells
// whose turn it is, so producers only race on the tail index with a compare-and-swap.
template <typename T, size_t N>
class TMpscQueue {
  static_assert((N & (N - 1)) == 0, "capacity must be a power of two");
  static_assert(std::is_trivially_copyable_v<T>);
  static_assert(std::atomic<size_t>::is_always_lock_free);

 public:
  TMpscQueue() {
    for (size_t i = 0; i < N; ++i) cells_[i].seq.store(i, std::memory_order_relaxed);
  }
  bool Push(const T& value) {
    size_t pos = tail_.load(std::memory_order_relaxed);
    for (;;) {
      Cell& cell = cells_[pos & (N - 1)];
      const size_t seq = cell.seq.load(std::memory_order_acquire);
      const intptr_t diff = static_cast<intptr_t>(seq) - static_cast<intptr_t>(pos);
      if (diff == 0) {
        if (tail_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
          cell.value = value;
          cell.seq.store(pos + 1, std::memory_order_release);
          return true;
        }
      } else if (diff < 0) {
        return false;  // full
      } else {
        pos = tail_.load(std::memory_order_relaxed);
      }
    }
  }
  bool Pop(T& value) {
    Cell& cell = cells_[head_ & (N - 1)];
    if (cell.seq.load(std::memory_order_acquire) != head_ + 1) return false;
    value = cell.value;
    cell.seq.store(head_ + N, std::memory_order_release);
    ++head_;
    return true;
  }

 private:
  struct Cell {
    std::atomic<size_t> seq;
    T value;
  };
  alignas(64) std::atomic<size_t> tail_{0};
  alignas(64) size_t head_ = 0;  // consumer only
  alignas(64) std::array<Cell, N> cells_;
};
