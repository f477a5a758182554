// Audio capture: records from an input device and sends each filled block, as a new audio
// buffer, through OutputPin to every connected sink. Start, Stop and properties belong to the
// main thread; blocks are delivered on the component's wave thread while the capture lock is
// held, so a sink must never wait for the main thread (Stop waits for that lock). A device that
// reports from an audio server's real-time cycle gets each block dispatched there, to the sinks
// that run in the cycle, when every lock is free at once; otherwise the block, and each after it
// until the wave thread caught up, takes the wave thread. Sinks outside the cycle (the meter)
// get their share on the wave thread, in the same order.
#pragma once

#include <atomic>
#include <memory>

#include "ALAudioFormat.h"
#include "ALAudioInDevice.h"
#include "ALAudioInParams.h"
#include "ALWaveThread.h"
#include "OWPins.h"
#include "platform/WaveIn.h"

// Why blocks from an audio server's cycle took the wave thread instead.
struct TALCycleFallbacks {
  uint64_t CaptureLock = 0;  // the capture lock was held (a start, a stop, the wave thread)
  uint64_t EngineLock = 0;   // the engine's global lock was being written or its books were busy
  uint64_t GroupLock = 0;    // a pin's or a sink's lock was held
  uint64_t Behind = 0;       // an earlier block was still waiting on the wave thread
  uint64_t Other = 0;        // stopping, or a block of an earlier stream
  uint64_t Total() const { return CaptureLock + EngineLock + GroupLock + Behind + Other; }
};

class TALAudioIn : public TOWComponentBase {
 public:
  static constexpr int kQueuedBlocks = 40;
  // Free records beside the queued ones, for the cycle to swap in while sinks hold buffers.
  static constexpr int kSpareBlocks = 24;

  // Built stopped (Enabled false), 2 channels, 16 bits, 11025 Hz, 1024 frames, device "Default".
  explicit TALAudioIn(IWaveIn& wave_in);
  ~TALAudioIn() override;

  bool Enabled() const { return enabled_.load(std::memory_order_acquire); }
  // true starts capture, false stops it; setting the current value does nothing. While loading,
  // the value is only stored.
  void SetEnabled(bool value);
  int32_t PumpPriority() const { return pump_priority_; }
  void SetPumpPriority(int32_t value) { pump_priority_ = value; }

  TALAudioCaptureDevice& Device() { return device_; }
  // Read at each start: a change while capturing takes effect at the next start.
  TALAudioFormat& AudioFormat() { return format_; }
  TALOWAudioSourcePin& OutputPin() { return output_pin_; }
  TOWBoolStatePin& EnablePin() { return enable_pin_; }

  // Settings being applied: Enabled is stored, and EndLoad starts capture if it is true.
  void BeginLoad() { loading_ = true; }
  void EndLoad();

  // The rate of the stream this component drives, from its last start request.
  double StreamRate() const { return stream_rate_; }
  std::thread::id WaveThreadId() const { return wave_thread_->Id(); }
  // Blocks reported from an audio server's cycle so far, and those of them that could not be
  // dispatched there, by reason. Any thread.
  uint64_t CycleBlocks() const { return cycle_blocks_.load(std::memory_order_relaxed); }
  TALCycleFallbacks CycleFallbacks() const;

 private:
  struct TCaptureFormat {
    TWaveFormatEx header;
    uint32_t buffer_size = 0;
  };

  void Start();
  void Stop();
  void OpenAndStart();
  void Open(const TWaveFormatEx& header);
  void QueueBlock();                                     // caller holds the capture lock
  TALWaveBuffer* NewRecord();                            // caller holds the capture lock
  TALWaveBuffer* FindRecord(const TWaveInBlock* block);  // caller holds the capture lock
  enum TFallback { kCaptureLock, kEngineLock, kGroupLock, kBehind, kOther, kFallbackKinds };
  // The audio server's real-time thread: false when the block must take the wave thread, with
  // the reason counted.
  bool DeliverInCycle(uintptr_t serial, TWaveInBlock* block);
  void CountFallback(TFallback why) { fallbacks_[why].fetch_add(1, std::memory_order_relaxed); }
  void RequeueInCycle();                                      // real-time thread, capture lock held
  void ServeDeferred(uintptr_t serial, TWaveInBlock* block);  // wave thread
  void ResumeInCycle(uintptr_t serial);                       // real-time thread, capture lock held
  void ServeResume(uintptr_t serial, bool whole);             // wave thread
  bool OnUpstream(const IOWNotifyOperationPtr& op, uint32_t flags);
  void OnNotice(uint32_t message, void* handle, void* param);  // wave thread
  void BlockFilled(uintptr_t serial, TWaveInBlock* block);     // wave thread

  IWaveIn& wave_in_;
  TALAudioParams params_;
  // The capture lock guards the rest of this block.
  std::unique_ptr<IWaveInDevice> wave_device_;
  uintptr_t device_serial_ = 0;  // tells notices of an earlier open from current ones
  uintptr_t next_serial_ = 1;
  TCaptureFormat capture_format_;
  bool first_block_done_ = true;
  // The notice that follows the first block, made at start: the real-time thread cannot.
  IOWNotifyOperationPtr resume_;
  // Blocks the cycle handed to the wave thread whole, not yet handled there: while any wait,
  // later blocks follow them, so sinks see blocks in order.
  std::atomic<int> waiting_blocks_{0};
  std::atomic<uint64_t> cycle_blocks_{0};
  std::atomic<uint64_t> fallbacks_[kFallbackKinds] = {};

  std::atomic<bool> enabled_{false};
  bool loading_ = false;
  int32_t pump_priority_ = 0;
  double stream_rate_ = 1.0;

  TALAudioFormat format_;
  TALAudioCaptureDevice device_;
  TALOWAudioSourcePin output_pin_;
  TOWBoolStatePin enable_pin_;
  std::unique_ptr<TALWaveThread> wave_thread_;
};
