// One open RtAudio output stream fed by written blocks. The stream always runs in 32-bit float;
// blocks are converted (and resampled when the device rate differs) inside the audio callback,
// which runs on the back-end's thread: no allocation there, and it never waits for a lock — a
// cycle that finds the queue busy plays silence instead.
#pragma once

#include <RtAudio.h>
#include <samplerate.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/WaveOut.h"
#include "platform/WaveOutBlockQueue.h"

class TRtWaveOutDevice final : public IWaveOutDevice {
 public:
  // Opens and starts rt_device of rt at device_rate; throws RtAudioError or std::runtime_error
  // when the stream cannot be opened.
  TRtWaveOutDevice(std::unique_ptr<RtAudio> rt, unsigned rt_device, unsigned device_rate,
                   const TWaveOutFormat& format, TWaveOutCallback callback);
  ~TRtWaveOutDevice() override;

  void Write(TWaveOutBlock* block) override;
  void Pause() override;
  void Restart() override;
  void Reset() override;
  void Close() override;

  unsigned DeviceRate() const { return device_rate_; }

 private:
  static int Callback(void* out, void* in, unsigned frames, double time, RtAudioStreamStatus status,
                      void* self);
  int OnCallback(float* out, unsigned frames);  // back-end thread, queue lock held

  std::unique_ptr<RtAudio> rt_;  // null once closed
  uint64_t losses_at_open_ = 0;
  const TWaveOutFormat format_;
  const unsigned device_rate_;
  TWaveOutCallback callback_;
  std::atomic<bool> paused_{false};

  std::mutex mutex_;  // the queue and the converter
  TWaveOutBlockQueue queue_;
  bool closed_ = false;

  SRC_STATE* src_ = nullptr;
  std::vector<float> src_in_;  // frames pulled from blocks, waiting for the converter
  size_t src_in_pos_ = 0;
  size_t src_in_count_ = 0;
};
