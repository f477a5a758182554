// Audio output: plays the buffers reaching InputPin on a wave output device. Pin operations are
// queued and served in order; while the device holds two or more buffers they wait for one to
// come back, so a master output paces its source by asking for one buffer per buffer played.
// Threads: operations arrive on the sender's thread (for a pumped stream, this component's own
// wave thread); buffer-done notices run on the wave thread; the end of a stream closes the device
// on the notify thread. No lock is held while a pump request goes upstream, since the source
// answers by delivering its next buffer into this component.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ALAudioOutDevice.h"
#include "ALAudioOutNotifyThread.h"
#include "ALAudioOutOperations.h"
#include "ALWaveThread.h"
#include "OWPins.h"
#include "platform/WaveOut.h"

class TALAudioOut : public TOWComponentBase, public IOWPumpAnswerer {
 public:
  static constexpr int kPreFillRequests = 4;

  // Enabled, PreFillEnabled and EnableMasterPumping true; device "Default".
  explicit TALAudioOut(IWaveOut& wave_out);
  ~TALAudioOut() override;

  // Only stored: supplied buffers are played while true and dropped otherwise; the device is
  // neither opened nor closed by it.
  bool Enabled() const { return enabled_.load(std::memory_order_acquire); }
  void SetEnabled(bool value);
  int32_t PumpPriority() const override { return pump_priority_.load(std::memory_order_acquire); }
  void SetPumpPriority(int32_t value) { pump_priority_.store(value, std::memory_order_release); }
  bool PreFillEnabled() const { return prefill_.load(std::memory_order_acquire); }
  void SetPreFillEnabled(bool value) { prefill_.store(value, std::memory_order_release); }
  bool EnableMasterPumping() const { return master_pumping_.load(std::memory_order_acquire); }
  void SetEnableMasterPumping(bool value) {
    master_pumping_.store(value, std::memory_order_release);
  }

  // Main thread; a new name takes effect at the next open.
  TALAudioOutDevice& Device() { return device_; }
  void SetDevice(const TALAudioOutDevice& device);
  TALOWAudioSinkPin& InputPin() { return input_pin_; }
  TOWBoolStatePin& EnablePin() { return enable_pin_; }

  // State, for the window and for tests.
  bool Active();
  bool Master();
  bool Playing() const { return playing_.load(std::memory_order_acquire); }
  bool Paused() const { return paused_.load(std::memory_order_acquire); }
  int32_t OwedPumps() const { return owed_pumps_.load(std::memory_order_acquire); }
  size_t BuffersInFlight();
  size_t QueuedOperations();

 private:
  // One buffer on the device: the block points into the buffer's samples, its user value back at
  // the record.
  struct TWaveBuffer {
    TWaveOutBlock block;
    IALAudioBufferPtr buffer;
    IALAudioDataAccessPtr access;  // keeps the sample bytes in place until the record goes
  };

  bool OnInput(const IOWNotifyOperationPtr& op, uint32_t flags);
  void ServeQueue();
  void Handle(const IOWNotifyOperationPtr& op);
  void Negotiate(TOWPumpRequestOperation& request);
  void SendPumpRequest();
  void OpenDevice(const TWaveFormatEx& format);
  void CloseDevice(bool clear_master);
  void WriteBuffer(const IALAudioBufferPtr& buffer);
  void OnNotice(uint64_t serial, uint32_t message, void* param);  // wave thread

  IWaveOut& wave_out_;
  TALAudioOutDevice device_;
  std::atomic<bool> enabled_{true};
  std::atomic<int32_t> pump_priority_{0};
  std::atomic<bool> prefill_{true};
  std::atomic<bool> master_pumping_{true};
  std::atomic<bool> playing_{false};
  std::atomic<bool> paused_{false};
  std::atomic<int32_t> owed_pumps_{0};

  // The parameters: Active, Master, the device, its wave thread and the buffers in flight.
  std::recursive_mutex params_lock_;
  bool active_ = false;
  bool master_ = false;
  std::unique_ptr<IWaveOutDevice> wave_device_;
  std::string open_name_;  // the device name wave_device_ was opened by
  std::unique_ptr<TALWaveThread> wave_thread_;
  uint64_t serial_ = 0;  // of the open device: notices of an earlier open are ignored
  std::vector<std::unique_ptr<TWaveBuffer>> in_flight_;
  bool end_pending_ = false;  // the end of the stream closes once the buffers above have played

  std::mutex queue_lock_;
  std::deque<IOWNotifyOperationPtr> operations_;

  TALOWAudioSinkPin input_pin_;
  TOWBoolStatePin enable_pin_;
  std::unique_ptr<TSLNotifyThread> notify_thread_;
};
