#include "JackSoundService.h"

#include <algorithm>

#include "platform/rt/SoundDecoder.h"

TJackSoundService::TJackSoundService(TJackClient& client)
    : client_(client), worker_([this] { Run(); }) {}

TJackSoundService::~TJackSoundService() {
  {
    std::lock_guard lock(request_mutex_);
    quit_ = true;
  }
  request_cv_.notify_all();
  worker_.join();
  client_.Detach(TJackPart::kSound, this);
}

void TJackSoundService::Play(TSoundImagePtr image, uint32_t flags) {
  {
    std::lock_guard lock(request_mutex_);
    pending_.kind = TKind::kPlay;
    pending_.image.swap(image);
    pending_.flags = flags;
    ++requested_;
  }
  request_cv_.notify_all();
}

void TJackSoundService::Stop() {
  TSoundImagePtr dropped;
  {
    std::lock_guard lock(request_mutex_);
    pending_.kind = TKind::kStop;
    pending_.image.swap(dropped);
    ++requested_;
  }
  request_cv_.notify_all();
}

bool TJackSoundService::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(request_mutex_);
  const uint64_t target = requested_;
  return request_cv_.wait_for(lock, timeout, [&] { return handled_ >= target; });
}

void TJackSoundService::Run() {
  std::unique_lock lock(request_mutex_);
  for (;;) {
    // Wakes now and then to free the sounds the callback has let go of.
    request_cv_.wait_for(lock, std::chrono::milliseconds(200),
                         [&] { return quit_ || pending_.kind != TKind::kNone; });
    if (quit_) return;
    if (pending_.kind == TKind::kNone) {
      lock.unlock();
      Release();
      lock.lock();
      continue;
    }
    TRequest r = std::move(pending_);
    pending_ = TRequest{};
    const uint64_t seen = requested_;
    lock.unlock();
    Handle(r);
    r.image.reset();
    Release();
    lock.lock();
    handled_ = seen;
    request_cv_.notify_all();
  }
}

void TJackSoundService::Handle(const TRequest& r) {
  const uint64_t generation = client_.Generation();
  if (!attached_ || generation != generation_) {
    // A new client (the server came back, maybe at another rate): its callback knows us not.
    attached_ = client_.Attach(TJackPart::kSound, this);
    generation_ = generation;
    cache_.clear();
    if (attached_) client_.ConnectOutputsByDefault();
  }
  if (r.kind == TKind::kStop) {
    Send(nullptr, false);
    return;
  }
  if ((r.flags & kSndNoStop) && playing_.load(std::memory_order_acquire)) return;
  if (!r.image || r.image->empty()) return;
  // An image that does not decode plays as silence: the sound that played stops all the same.
  Send(Decode(r.image, client_.SampleRate()), (r.flags & kSndLoop) != 0);
}

TJackSoundService::TSamples TJackSoundService::Decode(const TSoundImagePtr& image, uint32_t rate) {
  for (auto it = cache_.begin(); it != cache_.end(); ++it) {
    if (it->image == image && it->rate == rate) {
      std::rotate(it, it + 1, cache_.end());
      return cache_.back().samples;
    }
  }
  TSamples samples;
  if (rate != 0) {
    if (auto decoded = DecodeSoundImage(image->data(), image->size())) {
      auto stereo = ToStereo(*decoded, rate);
      if (!stereo.empty()) samples = std::make_shared<const std::vector<float>>(std::move(stereo));
    }
  }
  if (cache_.size() == kCacheSize) cache_.erase(cache_.begin());
  cache_.push_back({image, rate, samples});
  return samples;
}

void TJackSoundService::Send(const TSamples& samples, bool loop) {
  const TCommand command{samples ? samples->data() : nullptr, samples ? samples->size() / 2 : 0,
                         loop};
  if (samples) given_.push_back(samples);
  // The callback takes a command per cycle at least; a full queue means a server that stopped
  // calling us, where the request is as good as lost.
  for (int tries = 0; !commands_.Push(command) && tries < 200; ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ++sent_;
  playing_.store(samples != nullptr, std::memory_order_release);
}

void TJackSoundService::Release() {
  if (rt_taken_.load(std::memory_order_acquire) != sent_) return;
  const float* current = rt_current_.load(std::memory_order_acquire);
  given_.erase(std::remove_if(given_.begin(), given_.end(),
                              [&](const TSamples& s) { return s->data() != current; }),
               given_.end());
}

void TJackSoundService::Cycle(const TJackCycle& cycle) {
  TCommand command;
  uint64_t taken = 0;
  while (commands_.Pop(command)) {
    current_ = command.samples;
    frames_ = command.frames;
    loop_ = command.loop;
    pos_ = 0;
    ++taken;
  }
  if (taken) {
    playing_.store(current_ != nullptr, std::memory_order_release);
    rt_current_.store(current_, std::memory_order_release);
    rt_taken_.fetch_add(taken, std::memory_order_release);
  }
  if (!current_) return;
  jack_nframes_t done = 0;
  while (done < cycle.Frames && pos_ < frames_) {
    const size_t n = std::min<size_t>(cycle.Frames - done, frames_ - pos_);
    const float* in = current_ + pos_ * 2;
    for (int out = 0; out < 2; ++out) {
      if (!cycle.Out[out]) continue;
      float* dst = cycle.Out[out] + done;
      for (size_t i = 0; i < n; ++i) dst[i] += in[2 * i + out];
    }
    done += static_cast<jack_nframes_t>(n);
    pos_ += n;
    if (pos_ == frames_ && loop_) pos_ = 0;
  }
  frames_played_.fetch_add(done, std::memory_order_relaxed);
  if (pos_ >= frames_) {
    current_ = nullptr;
    rt_current_.store(nullptr, std::memory_order_release);
    playing_.store(false, std::memory_order_release);
  }
}
