#include "JackSoundService.h"

#include <algorithm>

#include "platform/BlockEventSample.h"
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
  if (client_.InCycle()) {
    PlayInCycle(image, flags, TJackClient::BlockSampleFrame(BlockEventSample()), false);
    return;
  }
  {
    std::lock_guard lock(request_mutex_);
    pending_.kind = TKind::kPlay;
    pending_.image.swap(image);
    pending_.flags = flags;
    ++requested_;
  }
  request_cv_.notify_all();
}

void TJackSoundService::PlayAt(TSoundImagePtr image, uint32_t flags, uint64_t frame) {
  if (client_.InCycle()) {
    PlayInCycle(image, flags, static_cast<jack_nframes_t>(frame), true);
    return;
  }
  Play(std::move(image), flags);
}

void TJackSoundService::PlayInCycle(const TSoundImagePtr& image, uint32_t flags,
                                    jack_nframes_t frame, bool frame_time) {
  // Inside our callback: no lock to wait for, nothing to decode. A decoded image starts in the
  // part that runs after the capture in this cycle.
  if (!image || image->empty()) return;
  if ((flags & kSndNoStop) && playing_.load(std::memory_order_acquire)) return;
  if (const TTable* table = table_.load(std::memory_order_acquire)) {
    for (size_t i = 0; i < table->count; ++i) {
      const auto& e = table->entries[i];
      if (e.image != image.get()) continue;
      start_ = {e.samples, e.frames, (flags & kSndLoop) != 0, frame, frame_time};
      start_pending_ = true;
      return;
    }
  }
  // Not decoded yet: the worker takes it, unless it holds its lock or a request waits.
  std::unique_lock lock(request_mutex_, std::try_to_lock);
  if (!lock || pending_.kind != TKind::kNone) {
    missed_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  pending_.kind = TKind::kPlay;
  pending_.image = image;  // a count more on an image its holder keeps: nothing is freed here
  pending_.flags = flags;
  ++requested_;
  lock.unlock();
  request_cv_.notify_all();
}

void TJackSoundService::Stop() {
  if (client_.InCycle()) {
    start_ = {nullptr, 0, false, TJackClient::BlockFirstFrame(), false};
    start_pending_ = true;
    return;
  }
  TSoundImagePtr dropped;
  {
    std::lock_guard lock(request_mutex_);
    pending_.kind = TKind::kStop;
    pending_.image.swap(dropped);
    ++requested_;
  }
  request_cv_.notify_all();
}

void TJackSoundService::Prepare(TSoundImagePtr image) {
  if (!image || image->empty()) return;
  {
    std::lock_guard lock(request_mutex_);
    to_prepare_.push_back(std::move(image));
    ++requested_;
  }
  request_cv_.notify_all();
}

void TJackSoundService::Prepare(const std::vector<TSoundImagePtr>& images) {
  for (const auto& image : images) Prepare(image);
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
    request_cv_.wait_for(lock, std::chrono::milliseconds(200), [&] {
      return quit_ || pending_.kind != TKind::kNone || !to_prepare_.empty();
    });
    if (quit_) return;
    TRequest r = std::move(pending_);
    pending_ = TRequest{};
    std::vector<TSoundImagePtr> prepare;
    prepare.swap(to_prepare_);
    const uint64_t seen = requested_;
    lock.unlock();
    EnsureAttached();
    if (!prepare.empty()) {
      for (const auto& image : prepare) Decode(image, client_.SampleRate());
      Publish();
    }
    if (r.kind != TKind::kNone) Handle(r);
    r.image.reset();
    prepare.clear();
    Release();
    lock.lock();
    handled_ = seen;
    request_cv_.notify_all();
  }
}

void TJackSoundService::EnsureAttached() {
  const uint64_t generation = client_.Generation();
  if (attached_ && generation == generation_) return;
  // A new client (the server came back, maybe at another rate): its callback knows us not.
  attached_ = client_.Attach(TJackPart::kSound, this);
  generation_ = generation;
  cache_.clear();
  Publish();
  if (attached_) client_.ConnectOutputsByDefault();
}

void TJackSoundService::Handle(const TRequest& r) {
  if (r.kind == TKind::kStop) {
    Send(nullptr, false);
    return;
  }
  if ((r.flags & kSndNoStop) && playing_.load(std::memory_order_acquire)) return;
  if (!r.image || r.image->empty()) return;
  // An image that does not decode plays as silence: the sound that played stops all the same.
  const TSamples samples = Decode(r.image, client_.SampleRate());
  Publish();
  Send(samples, (r.flags & kSndLoop) != 0);
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
  if (cache_.size() == kCacheSize) {
    // The callback may be playing it: it goes with the sounds freed once let go of.
    if (cache_.front().samples) given_.push_back(cache_.front().samples);
    cache_.erase(cache_.begin());
  }
  cache_.push_back({image, rate, samples});
  return samples;
}

void TJackSoundService::Publish() {
  auto table = std::make_unique<TTable>();
  for (const auto& c : cache_) {
    if (!c.samples) continue;
    table->entries[table->count++] = {c.image.get(), c.samples->data(), c.samples->size() / 2};
  }
  table_.store(table.get(), std::memory_order_release);
  tables_.push_back(std::move(table));
  // Once a cycle that may have read an older table is over, only the newest is in use; evicted
  // sounds the callback still plays stay in given_.
  client_.WaitOutOfCycle();
  tables_.erase(tables_.begin(), tables_.end() - 1);
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
  uint64_t popped = 0;
  while (commands_.Pop(command)) {
    current_ = command.samples;
    frames_ = command.frames;
    loop_ = command.loop;
    pos_ = 0;
    ++popped;
  }
  bool changed = popped > 0;
  jack_nframes_t from = 0;
  if (start_pending_) {
    // Started by a block of this cycle: what played goes on up to the block's first frame.
    start_pending_ = false;
    if (start_.frame_time) {
      // A hit of an earlier cycle (its scan ended in this one) starts at our first frame.
      const auto offset = static_cast<int32_t>(start_.frame - cycle.FirstFrame);
      start_.frame = offset < 0 ? 0 : static_cast<jack_nframes_t>(offset);
    }
    from = std::min(start_.frame, cycle.Frames);
    Mix(cycle, 0, from);
    current_ = start_.samples;
    frames_ = start_.frames;
    loop_ = start_.loop;
    pos_ = 0;
    changed = true;
  }
  if (changed) {
    playing_.store(current_ != nullptr, std::memory_order_release);
    rt_current_.store(current_, std::memory_order_release);
  }
  // After rt_current_: a worker that sees every command taken sees what plays now.
  if (popped) rt_taken_.fetch_add(popped, std::memory_order_release);
  Mix(cycle, from, cycle.Frames);
}

void TJackSoundService::Mix(const TJackCycle& cycle, jack_nframes_t from, jack_nframes_t to) {
  if (!current_) return;
  jack_nframes_t done = from;
  while (done < to && pos_ < frames_) {
    const size_t n = std::min<size_t>(to - done, frames_ - pos_);
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
  frames_played_.fetch_add(done - from, std::memory_order_relaxed);
  if (pos_ >= frames_) {
    current_ = nullptr;
    rt_current_.store(nullptr, std::memory_order_release);
    playing_.store(false, std::memory_order_release);
  }
}
