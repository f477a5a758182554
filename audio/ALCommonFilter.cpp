#include "ALCommonFilter.h"

TALCommonFilter::TALCommonFilter()
    : input_pin_(this, [this](const IOWNotifyOperationPtr& op,
                              uint32_t flags) { return OnInput(op, flags); }),
      output_pin_(this, [this](const IOWNotifyOperationPtr& op,
                               uint32_t flags) { return OnOutput(op, flags); }),
      enable_pin_(this, [this](bool value) { SetEnabled(value); }) {
  JoinLock(input_pin_);
}

TALCommonFilter::~TALCommonFilter() { DisconnectPins(); }

void TALCommonFilter::DisconnectPins() {
  input_pin_.Disconnect();
  output_pin_.DisconnectAll();
  enable_pin_.Disconnect();
}

void TALCommonFilter::SetEnabled(bool value) { enabled_.store(value, std::memory_order_release); }

TWaveFormatEx TALCommonFilter::StreamFormat() {
  TOWReadLockSection lock(*this);
  return stream_format_;
}

bool TALCommonFilter::OnInput(const IOWNotifyOperationPtr& op, uint32_t) {
  if (auto* start = op->As<TOWStartWaveOperation>()) {
    {
      TOWWriteLockSection lock(*this);
      stream_format_ = *start->WaveFormat();
      StreamStarted(*start);
    }
    return output_pin_.Notify(op);
  }
  if (op->Is<TOWStopOperation>()) {
    {
      TOWWriteLockSection lock(*this);
      StreamStopped();
    }
    return output_pin_.Notify(op);
  }
  if (auto* supplied = op->As<TOWSuppliedBufferOperation>()) return ProcessBuffer(*supplied);
  return output_pin_.Notify(op);
}

bool TALCommonFilter::ProcessBuffer(const TOWSuppliedBufferOperation& op) {
  output_pin_.Notify(std::make_shared<TOWSuppliedBufferOperation>(op.Buffer()));
  return false;
}

bool TALCommonFilter::OnOutput(const IOWNotifyOperationPtr& op, uint32_t flags) {
  if (auto* claim = op->As<TOWMasterPumpOperation>()) {
    master_.store(claim->Master(), std::memory_order_release);
    return input_pin_.Notify(op);
  }
  if (input_pin_.IsConnected()) return input_pin_.Notify(op);
  return OnInput(op, flags);
}
