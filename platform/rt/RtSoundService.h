// The sound service on the default audio output: decodes each image with libsndfile on its own
// worker thread, converts it to the device's rate with libsamplerate and plays it through
// RtAudio. Play and Stop only hand a request to the worker, so the capture thread may call them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/SoundService.h"

class RtAudio;

class TRtSoundService final : public ISoundService {
 public:
  TRtSoundService();
  ~TRtSoundService() override;
  TRtSoundService(const TRtSoundService&) = delete;
  TRtSoundService& operator=(const TRtSoundService&) = delete;

  void Play(TSoundImagePtr image, uint32_t flags) override;
  void Stop() override;
  // Opens the device and decodes the images on the worker, ahead of their first Play.
  void Prepare(const std::vector<TSoundImagePtr>& images) override;

  // What the device has been given so far: frames of sound (not of silence), and whether a sound
  // is still playing. For diagnostics and tests.
  uint64_t FramesPlayed() const { return frames_played_.load(std::memory_order_relaxed); }
  bool Playing() const { return playing_.load(std::memory_order_acquire); }
  // The device's rate, 0 while no device is open.
  uint32_t DeviceRate() const { return device_rate_.load(std::memory_order_acquire); }
  // Waits until the worker has handled every request made before the call.
  bool WaitIdle(std::chrono::milliseconds timeout);

 private:
  enum class TKind { kNone, kPlay, kStop };
  struct TRequest {
    TKind kind = TKind::kNone;
    TSoundImagePtr image;
    uint32_t flags = 0;
  };

  void Run();
  void Handle(const TRequest& r);
  void HandlePrepare(std::vector<TSoundImagePtr> images);
  std::vector<float> Decode(const TSoundImage& image);  // at the device's rate and width
  bool EnsureStream();
  void CloseStream();
  void Swap(std::vector<float>& samples, bool loop);
  static int Callback(void* out, void* in, unsigned int frames, double time, unsigned int status,
                      void* user);
  void Fill(float* out, unsigned int frames);

  // Requests: only the newest one counts, since each replaces what the previous one asked for.
  std::mutex request_mutex_;
  std::condition_variable request_cv_;
  TRequest pending_;
  uint64_t requested_ = 0;
  uint64_t handled_ = 0;
  bool quit_ = false;
  bool prepare_pending_ = false;
  std::vector<TSoundImagePtr> prepare_;

  // Images decoded ahead by Prepare, with their samples at the device's rate (worker only).
  struct TDecoded {
    TSoundImagePtr image;
    uint32_t rate = 0;
    std::vector<float> samples;
  };
  std::vector<TDecoded> decoded_;

  // The sound the device plays. The audio callback only try-locks: it never waits for the
  // worker, and outputs silence for the one block where they meet.
  std::mutex play_mutex_;
  std::vector<float> sound_;  // interleaved, out_channels_ per frame
  size_t pos_ = 0;
  bool loop_ = false;
  std::atomic<bool> playing_{false};
  std::atomic<uint64_t> frames_played_{0};

  std::unique_ptr<RtAudio> audio_;  // worker thread only
  uint64_t losses_at_open_ = 0;
  unsigned int out_channels_ = 2;
  std::atomic<uint32_t> device_rate_{0};

  std::thread worker_;
};
