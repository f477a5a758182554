// The sound service on the program's JACK client: a worker thread decodes each image with
// libsndfile and converts it to the server's rate once (decoded images are kept for the next
// hits), and the process callback mixes the sound into out_1/out_2 beside the audio output.
// Play and Stop from any thread hand a request to the worker; Play inside our own process
// callback (while a captured block is handed over) starts a decoded image in that very cycle,
// at the frame of the block's sample that fired it, without waiting or allocating; PlayAt from
// the capture tap the same, at the frame it names.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "JackClient.h"
#include "platform/LockFreeQueue.h"
#include "platform/SoundService.h"

class TJackSoundService final : public ISoundService, private IJackCyclePart {
 public:
  explicit TJackSoundService(TJackClient& client);
  ~TJackSoundService() override;
  TJackSoundService(const TJackSoundService&) = delete;
  TJackSoundService& operator=(const TJackSoundService&) = delete;

  void Play(TSoundImagePtr image, uint32_t flags) override;
  void PlayAt(TSoundImagePtr image, uint32_t flags, uint64_t frame) override;
  void Stop() override;
  // Decodes the image ahead of its first play (and connects the outputs), so that even the
  // first hit starts at once. Returns at once; the worker does it.
  void Prepare(TSoundImagePtr image);
  // The same for each image: what the window hands over at Start through the common interface.
  void Prepare(const std::vector<TSoundImagePtr>& images) override;

  // Frames of sound mixed so far, and whether a sound still plays. For diagnostics and tests.
  uint64_t FramesPlayed() const { return frames_played_.load(std::memory_order_relaxed); }
  bool Playing() const { return playing_.load(std::memory_order_acquire); }
  // Waits until the worker has handled every request made before the call.
  bool WaitIdle(std::chrono::milliseconds timeout);
  // Plays inside the callback that found their image not decoded yet, or the worker busy.
  uint64_t Missed() const { return missed_.load(std::memory_order_relaxed); }

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
  static constexpr size_t kCacheSize = 8;
  // What the callback may start by itself: the decoded images, by address. Immutable once
  // published; the worker replaces it whole.
  struct TTable {
    size_t count = 0;
    struct {
      const TSoundImage* image;
      const float* samples;
      size_t frames;
    } entries[kCacheSize];
  };
  // What the worker asks of the callback; samples stay alive in given_ until it lets go.
  struct TCommand {
    const float* samples;  // null: stop
    size_t frames;
    bool loop;
  };
  struct TStart {
    const float* samples;  // null: stop
    size_t frames;
    bool loop;
    jack_nframes_t frame;  // in the cycle, or the frame time itself when frame_time
    bool frame_time;
  };
  // Inside our callback: starts a decoded image at that frame, or hands it to the worker.
  void PlayInCycle(const TSoundImagePtr& image, uint32_t flags, jack_nframes_t frame,
                   bool frame_time);

  void Run();
  void Handle(const TRequest& r);
  void EnsureAttached();
  TSamples Decode(const TSoundImagePtr& image, uint32_t rate);
  void Publish();  // a new table after the cache changed
  void Send(const TSamples& samples, bool loop);
  void Release();                                // frees what the callback no longer plays
  void Cycle(const TJackCycle& cycle) override;  // real-time thread
  void Mix(const TJackCycle& cycle, jack_nframes_t from, jack_nframes_t to);

  TJackClient& client_;
  std::mutex request_mutex_;
  std::condition_variable request_cv_;
  TRequest pending_;
  std::vector<TSoundImagePtr> to_prepare_;
  uint64_t requested_ = 0;
  uint64_t handled_ = 0;
  bool quit_ = false;

  // Worker thread only.
  std::vector<TCached> cache_;  // most recently used last
  std::vector<TSamples> given_;
  std::vector<std::unique_ptr<TTable>> tables_;  // the published one last
  uint64_t sent_ = 0;
  uint64_t generation_ = 0;
  bool attached_ = false;

  std::atomic<const TTable*> table_{nullptr};
  TSpscQueue<TCommand, 16> commands_;
  // Callback only.
  TStart start_{};
  bool start_pending_ = false;
  const float* current_ = nullptr;
  size_t frames_ = 0, pos_ = 0;
  bool loop_ = false;
  std::atomic<const float*> rt_current_{nullptr};
  std::atomic<uint64_t> rt_taken_{0};
  std::atomic<bool> playing_{false};
  std::atomic<uint64_t> frames_played_{0};
  std::atomic<uint64_t> missed_{0};

  std::thread worker_;
};
