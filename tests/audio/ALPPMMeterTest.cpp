#include "audio/ALPPMMeter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "OutputFixtures.h"
#include "platform/virtual/LoopDispatcher.h"

namespace {

struct TEvent {
  int32_t channel;
  double value;
  double max;
};

class PPMMeter : public ::testing::Test {
 protected:
  PPMMeter() : meter(dispatcher) {
    source.OutputPin().Connect(meter.InputPin());
    meter.SetOnValueChange([this](TALCommonMeter&, int32_t c, double v, double m) {
      events.push_back({c, v, m});
    });
  }
  void StartStream(uint16_t channels = 2, uint16_t bits = 16, uint32_t rate = 44100) {
    source.OutputPin().Notify(std::make_shared<TOWStartWaveOperation>(
        rate, TWaveFormatEx::Pcm(channels, bits, rate), 1.0));
  }
  // Sends frames of a per-channel signal fn(frame, channel), in buffers of 1024 frames.
  void Send(int frames, const std::function<int32_t(int, int)>& fn, uint32_t channels = 2,
            uint32_t bits = 16) {
    for (int start = 0; start < frames; start += 1024) {
      std::vector<int32_t> samples;
      for (int f = start; f < std::min(frames, start + 1024); ++f)
        for (uint32_t c = 0; c < channels; ++c) samples.push_back(fn(f, static_cast<int>(c)));
      source.OutputPin().SendData(MakeBuffer(samples, channels, bits));
    }
  }

  TLoopDispatcher dispatcher;
  TTestSource source;
  TALPPMMeter meter;
  std::vector<TEvent> events;
};

TEST_F(PPMMeter, Defaults) {
  EXPECT_EQ(meter.CountChannels(), 2);
  EXPECT_EQ(meter.OutputPinCount(), 2u);
  EXPECT_EQ(meter.SynchronizeType(), stSingleBuffer);
  EXPECT_EQ(meter.Period(), 100u);
  EXPECT_EQ(meter.HalfLife(), 1000);
}

TEST_F(PPMMeter, CountChannelsIsClampedAndPinsComeAndGoAtTheEnd) {
  TOWRealSourcePin* first = &meter.OutputPin(0);
  meter.SetCountChannels(0);
  EXPECT_EQ(meter.CountChannels(), 1);
  EXPECT_EQ(&meter.OutputPin(0), first);
  meter.SetCountChannels(33);
  EXPECT_EQ(meter.CountChannels(), 32);
  EXPECT_EQ(meter.OutputPinCount(), 32u);
  EXPECT_EQ(&meter.OutputPin(0), first);
  meter.SetCountChannels(3);
  EXPECT_EQ(meter.OutputPinCount(), 3u);
  EXPECT_EQ(&meter.OutputPin(0), first);
}

TEST_F(PPMMeter, ValuesFollowThe5th9thAnd13thBufferAt100Ms) {
  meter.SetSynchronizeType(stNone);
  StartStream();
  EXPECT_EQ(meter.PeriodFrames(), 4410u);
  std::vector<int> produced_after;
  int periods = 0;
  meter.SetOnValueChange([&](TALCommonMeter&, int32_t c, double, double) {
    if (c == 0) ++periods;
  });
  for (int b = 1; b <= 13; ++b) {
    const int before = periods;
    // A growing signal, so that every period's value differs from the last.
    Send(1024, [&](int f, int) { return (b * 1024 + f) % 2 ? b * 1000 : -b * 1000; });
    if (periods != before) produced_after.push_back(b);
  }
  EXPECT_EQ(produced_after, (std::vector<int>{5, 9, 13}));
}

TEST_F(PPMMeter, FullScaleSineReadsNearFullScale) {
  meter.SetSynchronizeType(stNone);
  StartStream();
  Send(44100, [](int f, int c) {
    const double s = std::sin(2 * std::numbers::pi * 1000.0 * f / 44100.0);
    return static_cast<int32_t>(std::lround((c == 0 ? 32767 : 16384) * s));
  });
  ASSERT_FALSE(events.empty());
  EXPECT_NEAR(meter.Value(0), 32767.0, 400.0);
  EXPECT_NEAR(meter.Value(1), 16384.0, 200.0);
  EXPECT_EQ(events.back().max, 32768.0);
  EXPECT_EQ(meter.AMax(), 32768.0);
}

TEST_F(PPMMeter, SquareWaveReadsUpToTwiceItsAmplitude) {
  meter.SetSynchronizeType(stNone);
  StartStream();
  // 10 Hz: the filter passes each edge (a step of 20000) almost whole; the level then releases
  // for the 2205 frames up to the end of the period.
  Send(44100, [](int f, int) { return (f / 2205) % 2 ? 10000 : -10000; });
  EXPECT_GT(meter.Value(0), 18500.0);
  EXPECT_LE(meter.Value(0), 20000.0);
}

TEST_F(PPMMeter, SilenceAfterAPeakDecaysByEPerSecond) {
  meter.SetSynchronizeType(stNone);
  StartStream();
  // One period containing a single impulse of 10000 near its end, then one second of silence.
  Send(4410 + 1, [](int f, int) { return f == 4405 ? 10000 : 0; });
  const double at_peak = meter.Value(0);
  EXPECT_GT(at_peak, 9000.0);
  Send(44100 + 1024, [](int, int) { return 0; });
  // Ten periods later, i.e. one second, the level is about 1/e of the peak.
  EXPECT_NEAR(meter.Value(0) / at_peak, std::exp(-1.0), 0.02);
}

TEST_F(PPMMeter, EightBitSilenceStartsWithTransientThenReadsZero) {
  meter.SetSynchronizeType(stNone);
  StartStream(1, 8, 44100);
  EXPECT_EQ(meter.AMax(), 128.0);
  Send(4410 + 1, [](int, int) { return 128; }, 1, 8);
  ASSERT_FALSE(events.empty());
  EXPECT_NEAR(events.front().value, 128.0 * std::pow(1.0 - 1.0 / 44100, 4408), 1.0);
  // The release takes the level down to the floor, which then reads exactly 0.
  Send(44100 * 12, [](int, int) { return 128; }, 1, 8);
  EXPECT_EQ(meter.Value(0), 0.0);
  EXPECT_EQ(events.back().value, 0.0);
}

TEST_F(PPMMeter, UnchangedValueRaisesNoEvent) {
  meter.SetSynchronizeType(stNone);
  StartStream();
  Send(4410 * 4, [](int, int) { return 0; });  // digital silence: the level stays 0
  EXPECT_TRUE(events.empty());
}

TEST_F(PPMMeter, ChannelsBeyondTheStreamReadZero) {
  meter.SetSynchronizeType(stNone);
  StartStream(1);
  Send(8820, [](int f, int) { return f % 2 ? 20000 : -20000; }, 1);
  EXPECT_GT(meter.Value(0), 10000.0);
  EXPECT_EQ(meter.Value(1), 0.0);
}

TEST_F(PPMMeter, BuffersBeforeAnyStartAreIgnored) {
  meter.SetSynchronizeType(stNone);
  Send(8820, [](int, int) { return 20000; });
  EXPECT_TRUE(events.empty());
}

TEST_F(PPMMeter, SingleBufferDeliversOnTheMainThreadInOrder) {
  StartStream();
  std::vector<bool> on_main;
  meter.SetOnValueChange([&](TALCommonMeter&, int32_t c, double v, double m) {
    events.push_back({c, v, m});
    on_main.push_back(dispatcher.IsMainThread());
  });
  // The "capture" runs on another thread while the main thread is busy.
  std::thread capture([&] {
    for (int p = 1; p <= 3; ++p) Send(4410, [&](int f, int) { return f % 2 ? p * 5000 : -p * 5000; });
    Send(1024, [](int, int) { return 0; });
  });
  capture.join();
  EXPECT_TRUE(events.empty());
  dispatcher.ProcessPending();
  ASSERT_FALSE(events.empty());
  for (bool b : on_main) EXPECT_TRUE(b);
  // Values come in the order they were computed, per channel.
  double last = 0;
  for (const auto& e : events)
    if (e.channel == 0) {
      EXPECT_GE(e.value, last);
      last = e.value;
    }
}

TEST_F(PPMMeter, SingleBufferKeepsOnlyTheLastPeriodOfOneDelivery) {
  StartStream();
  // One buffer of three periods: only the last period's values are queued.
  std::vector<int32_t> samples;
  for (int f = 0; f < 3 * 4410 + 1; ++f) {
    const int32_t level = f < 2 * 4410 ? 30000 : 1000;
    samples.push_back(f % 2 ? level : -level);
    samples.push_back(0);
  }
  source.OutputPin().SendData(MakeBuffer(samples, 2));
  dispatcher.ProcessPending();
  ASSERT_EQ(events.size(), 1u);  // channel 1 stayed 0: no event
  EXPECT_EQ(events[0].channel, 0);
  EXPECT_GT(events[0].value, 20000.0);  // still releasing from 30000 after one period
}

TEST_F(PPMMeter, QueueDeliversEveryPeriod) {
  meter.SetSynchronizeType(stQueue);
  StartStream();
  std::vector<int32_t> samples;
  for (int f = 0; f < 10 * 4410 + 1; ++f) {
    const int32_t level = 1000 * (1 + f / 4410);  // rises every period
    samples.push_back(f % 2 ? level : -level);
    samples.push_back(0);
  }
  source.OutputPin().SendData(MakeBuffer(samples, 2));
  EXPECT_TRUE(events.empty());
  dispatcher.ProcessPending();
  ASSERT_EQ(events.size(), 10u);
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].channel, 0);
    // Main-thread values are rounded to 32-bit float precision.
    EXPECT_EQ(events[i].value, static_cast<double>(static_cast<float>(events[i].value)));
    if (i > 0) {
      EXPECT_GT(events[i].value, events[i - 1].value);
    }
  }
}

TEST_F(PPMMeter, StartForgetsQueuedFramesButKeepsPeaks) {
  meter.SetSynchronizeType(stNone);
  StartStream();
  Send(3000, [](int f, int) { return f % 2 ? 20000 : -20000; });
  StartStream();
  // The 3000 frames of the first stream are gone: 4410 more are not yet a period.
  Send(4410, [](int, int) { return 0; });
  EXPECT_TRUE(events.empty());
}

TEST_F(PPMMeter, PeriodChangeResizesTheMeasuringBlocks) {
  meter.SetSynchronizeType(stNone);
  StartStream();
  meter.SetPeriod(10);
  EXPECT_EQ(meter.PeriodFrames(), 441u);
  int periods = 0;
  meter.SetOnValueChange([&](TALCommonMeter&, int32_t c, double, double) { periods += c == 0; });
  Send(4410 + 1, [](int f, int) { return (f % 2 ? 1 : -1) * (100 + f); });
  EXPECT_EQ(periods, 10);
}

TEST_F(PPMMeter, OutputPinsPassValuesToTheirSinks) {
  meter.SetSynchronizeType(stNone);
  class TRealSink : public TOWComponentBase {
   public:
    TRealSink()
        : pin(this, {kOWRealStreamType}, [this](const IOWNotifyOperationPtr& op, uint32_t) {
            if (auto* v = op->As<TOWRealStateOperation>()) values.push_back(v->Value());
            return true;
          }) {}
    TOWSinkPin pin;
    std::vector<double> values;
  } sink;
  ASSERT_TRUE(meter.OutputPin(1).Connect(sink.pin));
  StartStream();
  Send(4411, [](int f, int c) { return c == 1 ? (f % 2 ? 8000 : -8000) : 0; });
  ASSERT_EQ(sink.values.size(), 1u);
  EXPECT_EQ(sink.values[0], meter.Value(1));
  sink.pin.Disconnect();
}

}  // namespace
