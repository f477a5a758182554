#include "ALCommonMeter.h"

#include <algorithm>

#include "ALPPMMeterDsp.h"

TALCommonMeter::TALCommonMeter(IMainThreadDispatcher& dispatcher)
    : input_pin_(this, [this](const IOWNotifyOperationPtr& op, uint32_t flags) {
        return OnInput(op, flags);
      }) {
  JoinLock(input_pin_);
  notify_ = std::make_unique<TSLMainThreadNotify>(dispatcher, [this] { DeliverOnMainThread(); });
  SetCountChannels(2);
}

TALCommonMeter::~TALCommonMeter() { DisconnectPins(); }

void TALCommonMeter::DisconnectPins() {
  // No lock of ours is held here: changing connections takes the global lock for writing, which
  // waits for every dispatch in progress, and one may be waiting for our lock.
  input_pin_.Disconnect();
  for (auto& pin : pins_) pin->DisconnectAll();
}

size_t TALCommonMeter::OutputPinCount() {
  TOWReadLockSection lock(*this);
  return pins_.size();
}

TOWRealSourcePin& TALCommonMeter::OutputPin(size_t index) {
  TOWReadLockSection lock(*this);
  return *pins_.at(index);
}

int32_t TALCommonMeter::CountChannels() {
  TOWReadLockSection lock(*this);
  return static_cast<int32_t>(pins_.size());
}

void TALCommonMeter::SetCountChannels(int32_t value) {
  const size_t count = static_cast<size_t>(std::clamp(value, 1, kMaxChannels));
  // Pins are made and freed outside the lock: both take the global lock for writing, which
  // would wait for a dispatch that may itself be waiting for our lock.
  std::vector<std::unique_ptr<TOWRealSourcePin>> fresh;
  for (size_t i = OutputPinCount(); i < count; ++i)
    fresh.push_back(std::make_unique<TOWRealSourcePin>(this));
  std::vector<std::unique_ptr<TOWRealSourcePin>> removed;
  {
    TOWWriteLockSection lock(*this);
    while (pins_.size() > count) {
      removed.push_back(std::move(pins_.back()));
      pins_.pop_back();
    }
    for (auto& pin : fresh)
      if (pins_.size() < count) pins_.push_back(std::move(pin));
    value_queues_.assign(pins_.size(), {});
    ++layout_;
    values_.assign(pins_.size(), 0.0);
  }
}

TSLSynchronizeType TALCommonMeter::SynchronizeType() {
  TOWReadLockSection lock(*this);
  return sync_;
}

void TALCommonMeter::SetSynchronizeType(TSLSynchronizeType value) {
  TOWWriteLockSection lock(*this);
  sync_ = value;
}

uint32_t TALCommonMeter::Period() {
  TOWReadLockSection lock(*this);
  return period_ms_;
}

void TALCommonMeter::SetPeriod(uint32_t milliseconds) {
  TOWWriteLockSection lock(*this);
  period_ms_ = milliseconds;
  PeriodChanged();
}

void TALCommonMeter::SetOnValueChange(TValueChangeEvent handler) {
  TOWWriteLockSection lock(*this);
  on_value_change_ = std::move(handler);
  has_value_event_.store(static_cast<bool>(on_value_change_), std::memory_order_release);
}

bool TALCommonMeter::TryIdleInCycle(TOWTryLockSet&) {
  if (has_value_event_.load(std::memory_order_acquire)) return false;
  // The pins list changes under our group lock, taken by a try for the look only (the dispatch
  // does not enter the meter); their sinks change under the global lock, which the caller holds.
  TOWLockObject* group = TryLockGroup();
  if (!group) return false;
  bool read = false;
  for (const auto& pin : pins_) read = read || pin->SinkCount() > 0;
  group->Unlock();
  return !read;
}

double TALCommonMeter::AMax() {
  TOWReadLockSection lock(*this);
  return amax_;
}

uint32_t TALCommonMeter::PeriodFrames() {
  TOWReadLockSection lock(*this);
  return MeterPeriodFrames(header_.nSamplesPerSec, period_ms_);
}

double TALCommonMeter::Value(size_t channel) {
  TOWReadLockSection lock(*this);
  return pins_.at(channel)->Value();
}

// Called with the input pin's group (this component's lock) held by the dispatch.
bool TALCommonMeter::OnInput(const IOWNotifyOperationPtr& op, uint32_t) {
  if (auto* start = op->As<TOWStartWaveOperation>()) {
    Start(*start->WaveFormat());
    return true;
  }
  if (auto* supplied = op->As<TOWSuppliedBufferOperation>()) {
    // Until a start has told the format there is no period to cut the data into.
    if (!started_) return false;
    queue_.Append(supplied->Buffer());
    Process();
    return true;
  }
  return false;  // stops and anything else: nothing to do
}

void TALCommonMeter::Start(const TWaveFormatEx& header) {
  header_ = header;
  const unsigned bits = std::min<unsigned>(header.wBitsPerSample, 32);
  amax_ = static_cast<double>(uint64_t{1} << bits) / 2.0;
  queue_.Clear();
  for (auto& q : value_queues_) q.clear();
  started_ = true;
  Started(header_);
}

void TALCommonMeter::Process() {
  const uint64_t n = MeterPeriodFrames(header_.nSamplesPerSec, period_ms_);
  const size_t channels = pins_.size();
  switch (sync_) {
    case stNone:
      while (queue_.Unconsumed() > n) {
        ComputePeriod(queue_, values_);
        for (size_t c = 0; c < channels; ++c)
          if (values_[c] != pins_[c]->Value()) Publish(c, values_[c]);
      }
      break;
    case stSingleBuffer:
      if (queue_.Unconsumed() > n) {
        while (queue_.Unconsumed() > n) ComputePeriod(queue_, values_);
        for (size_t c = 0; c < channels; ++c) value_queues_[c].push_back(values_[c]);
        notify_->Post();
      }
      break;
    case stQueue: {
      bool computed = false;
      while (queue_.Unconsumed() > n) {
        ComputePeriod(queue_, values_);
        for (size_t c = 0; c < channels; ++c) value_queues_[c].push_back(values_[c]);
        computed = true;
      }
      if (computed) notify_->Post();
      break;
    }
  }
}

void TALCommonMeter::Publish(size_t channel, double value) {
  pins_[channel]->SetValue(value);
  if (on_value_change_)
    on_value_change_(*this, static_cast<int32_t>(channel), value, amax_);
}

void TALCommonMeter::DeliverOnMainThread() {
  TOWWriteLockSection lock(*this);
  for (;;) {
    bool any = false;
    for (size_t c = 0; c < value_queues_.size() && c < pins_.size(); ++c) {
      if (value_queues_[c].empty()) continue;
      any = true;
      const double value = static_cast<float>(value_queues_[c].front());
      const uint64_t layout = layout_;
      if (value != pins_[c]->Value()) Publish(c, value);
      // A handler that changed CountChannels rebuilt the queues: nothing left to pop.
      if (layout != layout_) break;
      value_queues_[c].pop_front();
    }
    if (!any) return;
  }
}
