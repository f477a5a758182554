// Clocks for tests: time moves only when the test says so.
#pragma once

#include <atomic>

#include "platform/TickClock.h"

class TFakeTickClock final : public ITickClock {
 public:
  explicit TFakeTickClock(uint32_t start = 0) : now_(start) {}
  uint32_t GetTickCount() override { return now_.load(); }
  void Set(uint32_t ms) { now_.store(ms); }
  void Advance(uint32_t ms) { now_.fetch_add(ms); }  // wraps modulo 2^32

 private:
  std::atomic<uint32_t> now_;
};

class TFakeCounter final : public IHighResCounter {
 public:
  explicit TFakeCounter(int64_t frequency = 1'000'000) : frequency_(frequency) {}
  int64_t Counter() override { return now_.load(); }
  int64_t Frequency() override { return frequency_; }
  void Set(int64_t counts) { now_.store(counts); }
  void Advance(int64_t counts) { now_.fetch_add(counts); }

 private:
  int64_t frequency_;
  std::atomic<int64_t> now_{0};
};
