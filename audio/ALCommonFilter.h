// Base of the pass-through audio components: an input pin, an output pin, an enable switch, and
// the routing of operations between them. Start and stop arrive on the thread that started or
// stopped the source; buffers on the source's delivering thread (the capture's wave thread).
#pragma once

#include <atomic>

#include "OWPins.h"
#include "WaveFormat.h"

class TALCommonFilter : public TOWComponentBase {
 public:
  TALCommonFilter();
  ~TALCommonFilter() override;

  bool Enabled() const { return enabled_.load(std::memory_order_acquire); }
  // Takes effect from the next buffer. Not under the component's lock: the delivering thread may
  // hold that lock while it waits for the main thread (main-thread delivery), and switching the
  // filter off from the main thread is what releases that wait.
  void SetEnabled(bool value);
  TALOWAudioSinkPin& InputPin() { return input_pin_; }
  TALOWAudioSourcePin& OutputPin() { return output_pin_; }
  TOWBoolSinkPin& EnablePin() { return enable_pin_; }
  bool TryLockOutputs(TOWTryLockSet& held) override { return output_pin_.TryLockTree(held); }

  // The header of the stream that started last.
  TWaveFormatEx StreamFormat();
  // The last master-pump claim that came up from downstream (null if none).
  TOWComponentBase* Master() const { return master_.load(std::memory_order_acquire); }

 protected:
  // Subclasses react to the stream here; each runs under the component's lock.
  virtual void StreamStarted(const TOWStartWaveOperation&) {}
  virtual void StreamStopped() {}
  // Returns whatever the buffer handler returns to the source.
  virtual bool ProcessBuffer(const TOWSuppliedBufferOperation& op);
  const std::atomic<bool>& EnabledFlag() const { return enabled_; }
  // Pins go first in the destructor of the most derived class, so no operation reaches a
  // half-destroyed component.
  void DisconnectPins();

 private:
  bool OnInput(const IOWNotifyOperationPtr& op, uint32_t flags);
  bool OnOutput(const IOWNotifyOperationPtr& op, uint32_t flags);

  std::atomic<bool> enabled_{true};
  std::atomic<TOWComponentBase*> master_{nullptr};
  TWaveFormatEx stream_format_{};  // under the component's lock
  TALOWAudioSinkPin input_pin_;
  TALOWAudioSourcePin output_pin_;
  TOWBoolSinkPin enable_pin_;
};
