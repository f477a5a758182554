// The queues between the JACK callback and other threads: nothing lost, duplicated or reordered
// per producer while producers and the consumer run at once, and a full queue refuses.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/LockFreeQueue.h"

namespace {

struct TItem {
  uint32_t producer;
  uint32_t seq;
};

TEST(LockFreeQueue, ManyProducersOneConsumerKeepEveryItemInEachProducersOrder) {
  constexpr uint32_t kProducers = 4, kItems = 50000;
  TMpscQueue<TItem, 64> queue;  // small, so producers often find it full
  std::vector<std::thread> producers;
  for (uint32_t p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (uint32_t i = 0; i < kItems; ++i)
        while (!queue.Push({p, i})) std::this_thread::yield();
    });
  }
  std::vector<uint32_t> next(kProducers, 0);
  uint64_t received = 0;
  while (received < uint64_t{kProducers} * kItems) {
    TItem item;
    if (!queue.Pop(item)) {
      std::this_thread::yield();
      continue;
    }
    ASSERT_LT(item.producer, kProducers);
    ASSERT_EQ(item.seq, next[item.producer]) << "producer " << item.producer;
    ++next[item.producer];
    ++received;
  }
  for (auto& t : producers) t.join();
  TItem extra;
  EXPECT_FALSE(queue.Pop(extra));
}

TEST(LockFreeQueue, OneProducerOneConsumerInOrderAndFullRefuses) {
  TSpscQueue<uint32_t, 8> small;
  for (uint32_t i = 0; i < 8; ++i) ASSERT_TRUE(small.Push(i));
  EXPECT_FALSE(small.Push(99));
  uint32_t v = 0;
  ASSERT_TRUE(small.Pop(v));
  EXPECT_EQ(v, 0u);
  EXPECT_TRUE(small.Push(8));

  TSpscQueue<uint32_t, 128> queue;
  constexpr uint32_t kItems = 200000;
  std::thread producer([&] {
    for (uint32_t i = 0; i < kItems; ++i)
      while (!queue.Push(i)) std::this_thread::yield();
  });
  for (uint32_t expected = 0; expected < kItems;) {
    uint32_t got;
    if (!queue.Pop(got)) {
      std::this_thread::yield();
      continue;
    }
    ASSERT_EQ(got, expected);
    ++expected;
  }
  producer.join();
  EXPECT_TRUE(queue.Empty());
}

}  // namespace
