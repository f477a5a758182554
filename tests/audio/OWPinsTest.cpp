#include "audio/OWPins.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

// A sink component that records what reaches it: the operation's kind and the flags value.
struct RecordingSink : TOWComponentBase {
  struct Call {
    std::string kind;
    uint32_t flags;
  };
  std::vector<Call> calls;
  TALOWAudioSinkPin pin{this, [this](const IOWNotifyOperationPtr& op, uint32_t flags) {
                          calls.push_back({Kind(op), flags});
                          return true;
                        }};
  static std::string Kind(const IOWNotifyOperationPtr& op) {
    if (op->Is<TOWStartWaveOperation>()) return "start";
    if (op->Is<TOWSuppliedBufferOperation>()) return "buffer";
    if (op->Is<TOWSLResumeOperation>()) return "resume";
    if (op->Is<TOWEndStopOperation>()) return "endstop";
    if (op->Is<TOWStopOperation>()) return "stop";
    return "other";
  }
  std::vector<std::string> Kinds() const {
    std::vector<std::string> out;
    for (const auto& c : calls) out.push_back(c.kind);
    return out;
  }
};

struct Source : TOWComponentBase {
  std::vector<std::string> upstream;
  TALOWAudioSourcePin pin{this, [this](const IOWNotifyOperationPtr& op, uint32_t) {
                            upstream.push_back(RecordingSink::Kind(op));
                            return true;
                          }};
};

IOWNotifyOperationPtr StartOp() {
  return std::make_shared<TOWStartWaveOperation>(44100, TWaveFormatEx::Pcm(2, 16, 44100), 1.0);
}

TEST(OWPins, SourceWithoutSinksReturnsItsOwnResult) {
  Source source;
  EXPECT_TRUE(source.pin.Notify(StartOp()));
  EXPECT_TRUE(source.pin.SendData(TALAudioBuffer::Create(16, 4, 2)));
  EXPECT_EQ(source.pin.SinkCount(), 0u);
}

TEST(OWPins, TwoSinksEachGetEveryOperationOnceWithTheLastFlaggedTwo) {
  Source source;
  RecordingSink a, b;
  ASSERT_TRUE(source.pin.Connect(a.pin));
  ASSERT_TRUE(b.pin.Connect(source.pin));  // from the sink's side: visible from both
  EXPECT_TRUE(source.pin.IsConnectedTo(b.pin));
  EXPECT_EQ(b.pin.SourcePin(), &source.pin);

  bool a_first_seen = false, b_first_seen = false;
  for (int i = 0; i < 6; ++i) {
    a.calls.clear();
    b.calls.clear();
    source.pin.SendData(TALAudioBuffer::Create(16, 4, 2));
    ASSERT_EQ(a.calls.size(), 1u);
    ASSERT_EQ(b.calls.size(), 1u);
    // One of them is last (2), the other not (0).
    EXPECT_EQ(a.calls[0].flags + b.calls[0].flags, kOWLastSinkFlag);
    (a.calls[0].flags == 0 ? a_first_seen : b_first_seen) = true;
  }
  // No sink keeps the first place for good.
  EXPECT_TRUE(a_first_seen);
  EXPECT_TRUE(b_first_seen);
}

TEST(OWPins, ConnectionLoopRaisesInsteadOfOverflowing) {
  // A component that forwards everything it receives from its input to its output.
  struct Relay : TOWComponentBase {
    TALOWAudioSourcePin out{this, nullptr};
    TALOWAudioSinkPin in{this, [this](const IOWNotifyOperationPtr& op, uint32_t) {
                           return out.Notify(op);
                         }};
  };
  Relay a, b;
  ASSERT_TRUE(a.out.Connect(b.in));
  ASSERT_TRUE(b.out.Connect(a.in));
  try {
    a.out.SendData(TALAudioBuffer::Create(16, 4, 2));
    FAIL() << "no error raised";
  } catch (const EOWError& e) {
    EXPECT_STREQ(e.what(),
                 "The pin depends on itself. Please protect with functional dependency.");
  }
  // The stop sent to a leaving sink goes round the loop too; the sink leaves all the same.
  EXPECT_THROW(a.out.Disconnect(b.in), EOWError);
  EXPECT_FALSE(b.in.IsConnected());
  // The locks were released on the way out: the pins still work once the loop is broken.
  RecordingSink tail;
  ASSERT_TRUE(a.out.Connect(tail.pin));
  a.out.SendData(TALAudioBuffer::Create(16, 4, 2));
  EXPECT_EQ(tail.Kinds(), std::vector<std::string>{"buffer"});
}

TEST(OWPins, HandlerErrorReachesTheSenderAndLeavesThePinUsable) {
  Source source;
  bool fail = true;
  struct Throwing : TOWComponentBase {
    bool* fail;
    int calls = 0;
    TALOWAudioSinkPin pin{this, [this](const IOWNotifyOperationPtr&, uint32_t) {
                            ++calls;
                            if (*fail) throw std::runtime_error("sink failed");
                            return true;
                          }};
  } sink;
  sink.fail = &fail;
  source.pin.Connect(sink.pin);
  EXPECT_THROW(source.pin.SendData(TALAudioBuffer::Create(16, 4, 2)), std::runtime_error);
  fail = false;
  std::thread other([&] { source.pin.SendData(TALAudioBuffer::Create(16, 4, 2)); });
  other.join();  // would hang if the first dispatch had kept the pin's lock
  EXPECT_EQ(sink.calls, 2);
}

TEST(OWPins, LateSinkLearnsTheRunningStreamAndALeavingSinkIsStopped) {
  Source source;
  RecordingSink early, late;
  source.pin.Connect(early.pin);
  source.pin.Notify(StartOp());
  source.pin.SendData(TALAudioBuffer::Create(16, 4, 2));
  source.pin.Notify(std::make_shared<TOWSLResumeOperation>());

  late.pin.Connect(source.pin);
  EXPECT_EQ(late.Kinds(), (std::vector<std::string>{"start", "resume"}));
  EXPECT_EQ(late.calls[0].flags, kOWLastSinkFlag);
  EXPECT_EQ(early.Kinds(), (std::vector<std::string>{"start", "buffer", "resume"}));

  late.pin.Disconnect();
  EXPECT_EQ(late.Kinds(), (std::vector<std::string>{"start", "resume", "stop"}));
  EXPECT_EQ(early.calls.size(), 3u);  // the stop went to the leaving sink alone
  EXPECT_FALSE(late.pin.IsConnected());
}

TEST(OWPins, StopMakesThePinForgetTheStream) {
  Source source;
  RecordingSink early, late;
  source.pin.Connect(early.pin);
  source.pin.Notify(StartOp());
  source.pin.Notify(std::make_shared<TOWSLResumeOperation>());
  EXPECT_NE(source.pin.RememberedStart(), nullptr);
  source.pin.Notify(std::make_shared<TOWEndStopOperation>());
  EXPECT_EQ(source.pin.RememberedStart(), nullptr);
  EXPECT_EQ(source.pin.RememberedResume(), nullptr);
  source.pin.Connect(late.pin);
  EXPECT_TRUE(late.calls.empty());
}

TEST(OWPins, ResumeAloneIsNotReplayedWithoutAStart) {
  Source source;
  RecordingSink late;
  source.pin.Notify(std::make_shared<TOWSLResumeOperation>());
  source.pin.Connect(late.pin);
  EXPECT_TRUE(late.calls.empty());
}

TEST(OWPins, SinkHasOneSourceAndMovesWhenReconnected) {
  Source first, second;
  RecordingSink sink;
  first.pin.Connect(sink.pin);
  second.pin.Connect(sink.pin);
  EXPECT_EQ(first.pin.SinkCount(), 0u);
  EXPECT_EQ(second.pin.SinkCount(), 1u);
  EXPECT_EQ(sink.pin.SourcePin(), &second.pin);
}

TEST(OWPins, PinsWithoutACommonStreamTypeDoNotConnect) {
  Source source;
  struct BoolTarget : TOWComponentBase {
    bool value = false;
    TOWBoolSinkPin pin{this, [this](bool v) { value = v; }};
  } target;
  EXPECT_FALSE(source.pin.Connect(target.pin));
  EXPECT_EQ(source.pin.SinkCount(), 0u);
  EXPECT_FALSE(target.pin.IsConnected());
}

TEST(OWPins, SinkNotifyGoesUpstreamOnlyWhenConnected) {
  Source source;
  RecordingSink sink;
  EXPECT_FALSE(sink.pin.Notify(std::make_shared<TOWStopOperation>()));
  sink.pin.Connect(source.pin);
  EXPECT_TRUE(sink.pin.Notify(std::make_shared<TOWStopOperation>()));
  EXPECT_EQ(source.upstream, std::vector<std::string>{"stop"});
}

TEST(OWPins, DestroyingASinkDisconnectsIt) {
  Source source;
  {
    RecordingSink sink;
    source.pin.Connect(sink.pin);
    EXPECT_EQ(source.pin.SinkCount(), 1u);
  }
  EXPECT_EQ(source.pin.SinkCount(), 0u);
  source.pin.SendData(TALAudioBuffer::Create(16, 4, 2));  // nothing dangling left to call
}

TEST(OWPins, StartOperationCarriesItsOwnHeaderAndRatePerSample) {
  TWaveFormatEx header = TWaveFormatEx::Pcm(2, 16, 44100);
  TOWStartWaveOperation op(44100, header, 2.0);
  header.nChannels = 1;  // the operation kept a copy
  EXPECT_EQ(op.WaveFormat()->nChannels, 2);
  EXPECT_EQ(op.WaveFormat()->nBlockAlign, 4);
  EXPECT_DOUBLE_EQ(op.RatePerSample(), 2.0 / 44100);
  EXPECT_DOUBLE_EQ(TOWStartWaveOperation(0, header, 2.0).RatePerSample(), 2.0);
}

TEST(OWLockGroups, JoinedObjectsShareOneLockUntilOneLeaves) {
  TOWObject a, b, c;
  EXPECT_FALSE(a.SharesLockWith(b));
  b.JoinLock(c);
  a.JoinLock(b);  // takes b's whole group, c included
  EXPECT_TRUE(a.SharesLockWith(c));
  c.LeaveLock();
  EXPECT_FALSE(a.SharesLockWith(c));
  EXPECT_TRUE(a.SharesLockWith(b));
}

TEST(OWGlobalLock, ReentersOnOneThreadAndLetsAnotherWriteOnlyOnceFullyReleased) {
  TOWMultiReadExclusiveWriteSynchronizer lock;
  std::promise<void> holding, release, written;
  std::future<void> release_signal = release.get_future();
  // One thread nests reads and writes, then keeps one read until told to let go.
  std::thread reader([&] {
    lock.BeginRead();
    lock.BeginRead();
    lock.BeginWrite();  // only this thread reads: the write is granted
    lock.BeginRead();
    lock.BeginWrite();
    lock.EndWrite();
    lock.EndRead();
    lock.EndWrite();
    lock.EndRead();
    holding.set_value();
    release_signal.wait();
    lock.EndRead();
  });
  std::thread writer;
  const bool nested = holding.get_future().wait_for(std::chrono::seconds(10)) ==
                      std::future_status::ready;
  EXPECT_TRUE(nested) << "nesting on one thread deadlocked";
  std::future<void> written_signal = written.get_future();
  if (nested) {
    writer = std::thread([&] {
      lock.BeginWrite();
      written.set_value();
      lock.EndWrite();
    });
    EXPECT_EQ(written_signal.wait_for(std::chrono::milliseconds(100)),
              std::future_status::timeout)
        << "another thread wrote while a read was held";
    release.set_value();
    EXPECT_EQ(written_signal.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "the writer never got in after the last read ended";
  }
  // A deadlocked thread cannot be joined; the failure above says why.
  if (written_signal.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
    reader.join();
    writer.join();
  } else {
    reader.detach();
    if (writer.joinable()) writer.detach();
  }
}

}  // namespace
