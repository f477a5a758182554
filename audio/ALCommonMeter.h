// Base of the level meters: collects the buffers reaching InputPin, cuts them into measuring
// periods of Period milliseconds, has the subclass compute one level per channel per period, and
// publishes the levels on OutputPins and through OnValueChange. Buffers arrive on the sender's
// thread (the capture's wave thread); with stSingleBuffer or stQueue the events run on the main
// thread, reached only through IMainThreadDispatcher, never waited for.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "ALCommonMeterPins.h"
#include "ALCommonMeterQueue.h"
#include "OWMainThread.h"
#include "OWPins.h"
#include "platform/MainThreadDispatcher.h"

class TALCommonMeter : public TOWComponentBase {
 public:
  // (meter, channel from 0, new level, full scale of the stream)
  using TValueChangeEvent =
      std::function<void(TALCommonMeter& sender, int32_t channel, double value, double max)>;
  static constexpr int32_t kMaxChannels = 32;

  explicit TALCommonMeter(IMainThreadDispatcher& dispatcher);
  ~TALCommonMeter() override;

  TALOWAudioSinkPin& InputPin() { return input_pin_; }
  size_t OutputPinCount();
  TOWRealSourcePin& OutputPin(size_t index);

  int32_t CountChannels();
  // Clamped to 1..32: rebuilds the value queues and adds or removes pins at the end.
  void SetCountChannels(int32_t value);
  TSLSynchronizeType SynchronizeType();
  void SetSynchronizeType(TSLSynchronizeType value);
  uint32_t Period();
  void SetPeriod(uint32_t milliseconds);
  void SetOnValueChange(TValueChangeEvent handler);
  // Without a value event and with nothing connected to its value pins nobody reads the levels:
  // a dispatch in an audio server's cycle then leaves the meter out instead of handing it the
  // buffer on another thread.
  bool TryIdleInCycle(TOWTryLockSet& held) override;

  // 2^bits / 2 of the running stream (0 before the first start).
  double AMax();
  // Frames per measuring period for the running stream.
  uint32_t PeriodFrames();
  // The level last published on channel's pin.
  double Value(size_t channel);

 protected:
  // Each hook runs under the component's lock.
  virtual void Started(const TWaveFormatEx&) {}
  virtual void PeriodChanged() {}
  // Takes PeriodFrames() frames from queue and writes one level per measured channel into values
  // (CountChannels() entries). Runs on the delivering thread.
  virtual void ComputePeriod(TALMeterBufferQueue& queue, std::vector<double>& values) = 0;
  const TWaveFormatEx& StreamHeader() const { return header_; }
  // Called first by the most derived destructor, so no buffer reaches a half-destroyed meter.
  void DisconnectPins();

 private:
  bool OnInput(const IOWNotifyOperationPtr& op, uint32_t flags);
  void Start(const TWaveFormatEx& header);
  void Process();
  void Publish(size_t channel, double value);
  void DeliverOnMainThread();

  TALOWAudioSinkPin input_pin_;
  // Everything below is guarded by the component's lock (joined with InputPin).
  std::vector<std::unique_ptr<TOWRealSourcePin>> pins_;
  std::vector<std::deque<double>> value_queues_;
  std::vector<double> values_;  // one period's levels, sized with the pins
  uint64_t layout_ = 0;         // bumped when the queues are rebuilt
  TALMeterBufferQueue queue_;
  TWaveFormatEx header_{};
  bool started_ = false;
  double amax_ = 0.0;
  TSLSynchronizeType sync_ = stSingleBuffer;
  uint32_t period_ms_ = 100;
  TValueChangeEvent on_value_change_;
  std::atomic<bool> has_value_event_{false};  // on_value_change_ is set
  std::unique_ptr<TSLMainThreadNotify> notify_;
};
