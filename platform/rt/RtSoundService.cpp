#include "RtSoundService.h"

#include <rtaudio/RtAudio.h>

#include <algorithm>

#include "DeadServerRelease.h"
#include "RtServerMonitor.h"
#include "SoundDecoder.h"

TRtSoundService::TRtSoundService() : worker_([this] { Run(); }) {}

TRtSoundService::~TRtSoundService() {
  {
    std::lock_guard lock(request_mutex_);
    quit_ = true;
  }
  request_cv_.notify_all();
  worker_.join();
  CloseStream();
}

void TRtSoundService::Play(TSoundImagePtr image, uint32_t flags) {
  {
    std::lock_guard lock(request_mutex_);
    pending_.kind = TKind::kPlay;
    pending_.image.swap(image);
    pending_.flags = flags;
    ++requested_;
  }
  request_cv_.notify_all();
  // `image` now holds the request this one replaced; dropping it here may free an image that
  // its wave component no longer holds, which is rare and cheap next to decoding.
}

void TRtSoundService::Stop() {
  TSoundImagePtr dropped;
  {
    std::lock_guard lock(request_mutex_);
    pending_.kind = TKind::kStop;
    pending_.image.swap(dropped);
    ++requested_;
  }
  request_cv_.notify_all();
}

void TRtSoundService::Prepare(const std::vector<TSoundImagePtr>& images) {
  {
    std::lock_guard lock(request_mutex_);
    prepare_ = images;
    prepare_pending_ = true;
    ++requested_;
  }
  request_cv_.notify_all();
}

bool TRtSoundService::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(request_mutex_);
  const uint64_t target = requested_;
  return request_cv_.wait_for(lock, timeout, [&] { return handled_ >= target; });
}

void TRtSoundService::Run() {
  std::unique_lock lock(request_mutex_);
  for (;;) {
    request_cv_.wait(lock,
                     [&] { return quit_ || prepare_pending_ || pending_.kind != TKind::kNone; });
    if (quit_) return;
    const uint64_t seen = requested_;
    if (prepare_pending_) {
      std::vector<TSoundImagePtr> images = std::move(prepare_);
      prepare_.clear();
      prepare_pending_ = false;
      lock.unlock();
      HandlePrepare(std::move(images));
      lock.lock();
      // A play asked for meanwhile is handled next, from the decoded images.
      if (pending_.kind != TKind::kNone) continue;
    } else {
      TRequest r = std::move(pending_);
      pending_ = TRequest{};
      lock.unlock();
      Handle(r);
      r.image.reset();
      lock.lock();
    }
    if (!prepare_pending_ && pending_.kind == TKind::kNone) handled_ = seen;
    request_cv_.notify_all();
  }
}

void TRtSoundService::HandlePrepare(std::vector<TSoundImagePtr> images) {
  std::vector<TDecoded> decoded;
  if (EnsureStream()) {
    const uint32_t rate = device_rate_.load(std::memory_order_relaxed);
    for (TSoundImagePtr& image : images) {
      if (!image || image->empty()) continue;
      bool known = false;
      for (TDecoded& d : decoded_) {
        if (d.image == image && d.rate == rate) {
          decoded.push_back(std::move(d));
          known = true;
          break;
        }
      }
      if (!known) decoded.push_back({image, rate, Decode(*image)});
    }
  }
  decoded_ = std::move(decoded);
}

std::vector<float> TRtSoundService::Decode(const TSoundImage& image) {
  std::vector<float> samples;
  if (auto decoded = DecodeSoundImage(image.data(), image.size())) {
    samples = ToStereo(*decoded, device_rate_.load(std::memory_order_relaxed));
    if (out_channels_ == 1) {
      for (size_t i = 0; i < samples.size() / 2; ++i)
        samples[i] = 0.5f * (samples[2 * i] + samples[2 * i + 1]);
      samples.resize(samples.size() / 2);
    }
  }
  return samples;
}

void TRtSoundService::Handle(const TRequest& r) {
  std::vector<float> none;
  if (r.kind == TKind::kStop) {
    Swap(none, false);
    return;
  }
  if ((r.flags & kSndNoStop) && playing_.load(std::memory_order_acquire)) return;
  if (!r.image || r.image->empty()) return;

  std::vector<float> samples;
  if (EnsureStream()) {
    const uint32_t rate = device_rate_.load(std::memory_order_relaxed);
    auto ready = std::find_if(decoded_.begin(), decoded_.end(), [&](const TDecoded& d) {
      return d.image == r.image && d.rate == rate;
    });
    samples = ready != decoded_.end() ? ready->samples : Decode(*r.image);
  }
  // An image that does not decode plays as silence: the sound that played stops all the same.
  Swap(samples, (r.flags & kSndLoop) != 0);
}

void TRtSoundService::Swap(std::vector<float>& samples, bool loop) {
  {
    std::lock_guard lock(play_mutex_);
    sound_.swap(samples);
    pos_ = 0;
    loop_ = loop;
    playing_.store(!sound_.empty(), std::memory_order_release);
  }
  samples.clear();  // the old sound is freed here, on the worker, never in the audio callback
  samples.shrink_to_fit();
}

bool TRtSoundService::EnsureStream() {
  // A stream of a server that went away is gone even when RtAudio has not closed it yet.
  if (audio_ && audio_->isStreamOpen() && ServerStillThere(losses_at_open_)) return true;
  CloseStream();
  try {
    auto audio = std::make_unique<RtAudio>();
    audio->showWarnings(false);
    if (audio->getDeviceCount() == 0) return false;
    const unsigned int device = audio->getDefaultOutputDevice();
    const RtAudio::DeviceInfo info = audio->getDeviceInfo(device);
    if (!info.probed || info.outputChannels == 0) return false;
    unsigned int rate = info.preferredSampleRate;
    if (rate == 0 && !info.sampleRates.empty()) rate = info.sampleRates.back();
    if (rate == 0) rate = 44100;
    out_channels_ = std::min(2u, info.outputChannels);
    RtAudio::StreamParameters params;
    params.deviceId = device;
    params.nChannels = out_channels_;
    RtAudio::StreamOptions options;
    options.streamName = "Tocsin";
    unsigned int frames = 512;
    SilenceRtAudioNotices();
    losses_at_open_ = JackServerLosses();
    audio->openStream(&params, nullptr, RTAUDIO_FLOAT32, rate, &frames, &TRtSoundService::Callback,
                      this, &options);
    audio->startStream();
    device_rate_.store(audio->getStreamSampleRate(), std::memory_order_release);
    audio_ = std::move(audio);
    return true;
  } catch (...) {
    // No device now: this image plays as silence, and the next play tries again.
    return false;
  }
}

void TRtSoundService::CloseStream() {
  ReleaseRtAudio(audio_, losses_at_open_);
  device_rate_.store(0, std::memory_order_release);
}

int TRtSoundService::Callback(void* out, void*, unsigned int frames, double, unsigned int,
                              void* user) {
  static_cast<TRtSoundService*>(user)->Fill(static_cast<float*>(out), frames);
  return 0;
}

// Called on the audio device's thread: no allocation, no waiting.
void TRtSoundService::Fill(float* out, unsigned int frames) {
  const size_t wanted = static_cast<size_t>(frames) * out_channels_;
  std::fill(out, out + wanted, 0.0f);
  std::unique_lock lock(play_mutex_, std::try_to_lock);
  if (!lock || sound_.empty()) return;
  size_t done = 0;
  while (done < wanted && pos_ < sound_.size()) {
    const size_t n = std::min(wanted - done, sound_.size() - pos_);
    std::copy_n(sound_.data() + pos_, n, out + done);
    done += n;
    pos_ += n;
    if (pos_ == sound_.size() && loop_) pos_ = 0;
  }
  frames_played_.fetch_add(done / out_channels_, std::memory_order_relaxed);
  if (pos_ >= sound_.size()) playing_.store(false, std::memory_order_release);
}
