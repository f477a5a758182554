// The sound service on the program's JACK client: a worker thread decodes each image with
// libsndfile and converts it to the server's rate (once: decoded images are kept for the next
// hits), and the process callback mixes the sound into out_1/out_2 beside the audio output.
// Play and Stop only hand a request to the worker, so the capture thread may call them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "JackClient.h"
#include "LockFreeQueue.h"
#include "platform/SoundService.h"

class TJackSoundService final : public ISoundService, private IJackCyclePart {
 public:
  explicit TJackSoundService(TJackClient& client);
  ~TJackSoundService() override;
  TJackSoundService(const TJackSoundService&) = delete;
  TJackSoundService& operator=(const TJackSoundService&) = delete;

  void Play(TSoundImagePtr image, uint32_t flags) override;
  void Stop() override;

  // Frames of sound mixed so far, and whether a sound still plays. For diagnostics and tests.
  uint64_t FramesPlayed() const { return frames_played_.load(std::memory_order_relaxed); }
  bool Playing() const { return playing_.load(std::memory_order_acquire); }
  // Waits until the worker has handled every request made before the call.
  bool WaitIdle(std::chrono::milliseconds timeout);

 private:
  enum class TKind { kNone, kPlay, kStop };
  struct TRequest {
    TKind kind = TKind::kNone;
    TSoundImagePtr image;
    uint32_t flags = 0;
  };
  using TSamples = std::shared_ptr<const std::vector<float>>;  // interleaved stereo
  struct TCached {
    TSoundImagePtr image;  // held, so its address names it for as long as it is cached
    uint32_t rate = 0;
    TSamples samples;  // null: the image does not decode
  };
  // What the worker asks of the callback; samples stay alive in given_ until it lets go.
  struct TCommand {
    const float* samples;  // null: stop
    size_t frames;
    bool loop;
  };

  void Run();
  void Handle(const TRequest& r);
  TSamples Decode(const TSoundImagePtr& image, uint32_t rate);
  void Send(const TSamples& samples, bool loop);
  void Release();                                // frees what the callback no longer plays
  void Cycle(const TJackCycle& cycle) override;  // real-time thread

  static constexpr size_t kCacheSize = 8;

  TJackClient& client_;
  std::mutex request_mutex_;
  std::condition_variable request_cv_;
  TRequest pending_;
  uint64_t requested_ = 0;
  uint64_t handled_ = 0;
  bool quit_ = false;

  // Worker thread only.
  std::vector<TCached> cache_;  // most recently used last
  std::vector<TSamples> given_;
  uint64_t sent_ = 0;
  uint64_t generation_ = 0;
  bool attached_ = false;

  TSpscQueue<TCommand, 16> commands_;
  const float* current_ = nullptr;  // callback only
  size_t frames_ = 0, pos_ = 0;
  bool loop_ = false;
  std::atomic<const float*> rt_current_{nullptr};
  std::atomic<uint64_t> rt_taken_{0};
  std::atomic<bool> playing_{false};
  std::atomic<uint64_t> frames_played_{0};

  std::thread worker_;
};
