// Configure and Process, which run in the audio server's cycle, allocate nothing: every
// allocation of this test program is counted while they run.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "HitTestSupport.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<int> g_allocations{0};

void* Allocate(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

// Keeps what it is told in a fixed array: a sink as the real-time side would have one.
class TFixedSink : public IHitSink {
 public:
  void NoteOn(int, uint64_t, int) override { ++count; }
  void NoteOff(int, uint64_t) override { ++count; }
  void Sound(int, uint64_t, double) override { ++count; }
  int count = 0;
};

TEST(HitAllocation, ConfigureProcessAndReleaseAllocateNothing) {
  constexpr uint32_t kRate = 48000;
  std::vector<float> a(kRate, 0.f), b(kRate, 0.f);
  for (size_t k = 0; k < 20; ++k) {
    AddHit(a, 1000 + k * 2300, 0.05 * static_cast<double>(k % 10 + 1), 80, 1500);
    AddHit(b, 1040 + k * 2300, 0.01, 80, 1500);  // bleed
  }
  THitEngine engine(2);  // construction allocates, once
  THitSettings s = TwoPads(-40);
  s.Pad[1].Event = THitEvent::kSound;
  s.Pad[0].HighPassHz = 40;
  s.Pad[0].LowPassHz = 600;
  s.CrosstalkHoldMs = 1;
  TFixedSink sink;
  g_counting = true;
  engine.Configure(s, kRate);
  for (size_t at = 0; at < a.size(); at += 64) {
    const float* in[2] = {a.data() + at, b.data() + at};
    engine.Process(in, 64, at, sink);
  }
  engine.Configure(s, 44100);
  engine.ReleaseAll(a.size(), sink);
  g_counting = false;
  EXPECT_GT(sink.count, 20);
  EXPECT_EQ(g_allocations.load(), 0);
}

}  // namespace
