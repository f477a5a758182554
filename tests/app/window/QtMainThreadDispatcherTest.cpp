// The Qt dispatcher: order of posted calls, synchronous calls, and a receiver that goes away.
#include <QObject>
#include <atomic>
#include <thread>

#include "QtMainThreadDispatcher.h"
#include "QtTestApp.h"

TEST(QtMainThreadDispatcher, PostedCallsRunOnTheUiThreadInPostingOrder) {
  TQtMainThreadDispatcher ui;
  EXPECT_TRUE(ui.IsMainThread());
  std::vector<int> seen;
  std::atomic<bool> wrong_thread{false};
  std::thread producer([&] {
    EXPECT_FALSE(ui.IsMainThread());
    for (int i = 0; i < 1000; ++i)
      ui.Post([&, i] {
        if (!ui.IsMainThread()) wrong_thread = true;
        seen.push_back(i);
      });
  });
  producer.join();
  EXPECT_TRUE(seen.empty()) << "nothing runs before the UI thread processes messages";
  ASSERT_TRUE(PumpUntil([&] { return seen.size() == 1000; }));
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(seen[i], i);
  EXPECT_FALSE(wrong_thread);
}

TEST(QtMainThreadDispatcher, CallRunsDirectlyOnTheUiThreadAndWaitsFromOthers) {
  TQtMainThreadDispatcher ui;
  int direct = 0;
  ui.Call([&] { ++direct; });
  EXPECT_EQ(direct, 1);

  std::atomic<bool> returned{false};
  int value = 0;
  std::thread caller([&] {
    ui.Call([&] { value = 42; });
    returned = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
  caller.join();
  EXPECT_EQ(value, 42);
}

TEST(QtMainThreadDispatcher, NothingRunsOnceTheReceiverIsGoneAndWaitingCallsReturn) {
  auto* receiver = new QObject;
  TQtMainThreadDispatcher ui(receiver);
  bool ran = false;
  ui.Post([&] { ran = true; });

  std::atomic<bool> call_ran{false}, returned{false};
  std::thread caller([&] {
    ui.Call([&] { call_ran = true; });
    returned = true;
  });
  // Let the call get queued, then drop the receiver before the UI thread processes anything.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(returned) << "a call from another thread waits for the UI thread";
  delete receiver;
  caller.join();  // returns although the call never ran
  EXPECT_TRUE(returned);
  ui.Post([&] { ran = true; });
  PumpUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_FALSE(ran);
  EXPECT_FALSE(call_ran);
}
