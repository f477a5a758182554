#include "audio/OWMainThread.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/virtual/LoopDispatcher.h"

namespace {

IALAudioBufferPtr Tagged(int tag) {
  auto buffer = TALAudioBuffer::Create(16, 1, 1);
  buffer->GetAccess()->SetSample(0, 0, tag);
  return buffer;
}
int TagOf(const IALAudioBufferPtr& buffer) { return buffer->GetAccess()->GetSample(0, 0); }

struct QueueFixture : ::testing::Test {
  TLoopDispatcher dispatcher;
  std::vector<int> seen;
  std::vector<bool> on_main;
  TSLMainThreadBufferQueue queue{dispatcher, [this](const IALAudioBufferPtr& b) {
                                   seen.push_back(TagOf(b));
                                   on_main.push_back(dispatcher.IsMainThread());
                                 }};
  void Burst(bool queued) {
    std::thread producer([&] {
      for (int i = 0; i < 10; ++i) queue.Enqueue(Tagged(i), queued);
    });
    producer.join();  // the main thread was busy meanwhile
  }
};

TEST_F(QueueFixture, SingleBufferBurstGivesOneCallbackForTheFirst) {
  Burst(false);
  dispatcher.ProcessPending();
  EXPECT_EQ(seen, std::vector<int>{0});
  EXPECT_EQ(on_main, std::vector<bool>{true});
}

TEST_F(QueueFixture, QueuedBurstGivesEveryBufferInOrder) {
  Burst(true);
  dispatcher.ProcessPending();
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(QueueFixture, ClearDiscardsWaitingBuffersButPermitsComeBack) {
  Burst(true);
  queue.Clear();
  EXPECT_EQ(queue.Size(), 0u);
  dispatcher.ProcessPending();
  EXPECT_TRUE(seen.empty());
  // All 400 permits are free again: 400 more never block this thread.
  for (int i = 0; i < 400; ++i) queue.Enqueue(Tagged(i), true);
  dispatcher.ProcessPending();
  EXPECT_EQ(seen.size(), 400u);
}

TEST_F(QueueFixture, ProducerWaitsWhenFourHundredAreOutstanding) {
  std::atomic<int> enqueued{0};
  std::thread producer([&] {
    for (int i = 0; i < 401; ++i) {
      queue.Enqueue(Tagged(i), true);
      ++enqueued;
    }
  });
  // Without the main thread pumping, 400 get through and the 401st waits.
  for (int i = 0; i < 20000 && enqueued.load() < 400; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(enqueued.load(), 400);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(enqueued.load(), 400);
  // Pumping lets it through.
  EXPECT_TRUE(dispatcher.RunUntil([&] { return enqueued.load() == 401; }, std::chrono::seconds(20)));
  producer.join();
  dispatcher.ProcessPending();
  EXPECT_EQ(seen.size(), 401u);
}

TEST(SLMainThreadNotify, MessageForADestroyedNotifierIsIgnored) {
  TLoopDispatcher dispatcher;
  int calls = 0;
  const size_t before = TSLMainThreadNotify::RegisteredCount();
  {
    TSLMainThreadNotify notify(dispatcher, [&] { ++calls; });
    EXPECT_EQ(TSLMainThreadNotify::RegisteredCount(), before + 1);
    notify.Post();
    notify.Post();
    dispatcher.ProcessPending();
    EXPECT_EQ(calls, 2);
    notify.Post();
  }
  EXPECT_EQ(TSLMainThreadNotify::RegisteredCount(), before);
  dispatcher.ProcessPending();
  EXPECT_EQ(calls, 2);
}

}  // namespace
