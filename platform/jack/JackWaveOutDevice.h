// One output on the JACK client's out_1/out_2: the process callback (JACK's real-time thread)
// converts the written blocks to float (and to the server's rate with libsamplerate) and adds
// them to the outputs. It only try-locks the block queue: a cycle that finds it busy plays
// silence rather than wait.
#pragma once

#include <samplerate.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "JackClient.h"
#include "platform/WaveOut.h"
#include "platform/WaveOutBlockQueue.h"

class TJackWaveOutDevice final : public IWaveOutDevice, private IJackCyclePart {
 public:
  TJackWaveOutDevice(TJackClient& client, std::vector<std::string> destinations,
                     const TWaveOutFormat& format, TWaveOutCallback callback);
  ~TJackWaveOutDevice() override;

  bool Ok() const { return ok_; }
  void Write(TWaveOutBlock* block) override;
  void Pause() override;
  void Restart() override;
  void Reset() override;
  void Close() override;

 private:
  void Cycle(const TJackCycle& cycle) override;  // real-time thread

  static constexpr size_t kChunk = 256;  // frames converted at a time

  TJackClient& client_;
  const TWaveOutFormat format_;
  TWaveOutCallback callback_;
  bool ok_ = false;
  std::vector<std::pair<std::string, std::string>> connections_;
  std::atomic<bool> paused_{false};

  std::mutex mutex_;  // the queue and the converter
  TWaveOutBlockQueue queue_;
  bool closed_ = false;

  SRC_STATE* src_ = nullptr;
  std::vector<float> pulled_;  // kChunk frames from the blocks
  size_t pulled_pos_ = 0, pulled_count_ = 0;
  std::vector<float> mixed_;  // kChunk frames ready for the outputs
};
