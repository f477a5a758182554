#include "RtWaveOutDevice.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "DeadServerRelease.h"
#include "RtServerMonitor.h"

namespace {
// Frames pulled per converter refill: small, so that little sits in the converter when the
// stream ends and the device is closed behind the last block reported.
constexpr size_t kConverterFrames = 64;
constexpr size_t kInitialRing = 64;

float SampleToFloat(const uint8_t* p, uint16_t bits) {
  if (bits == 8) return (static_cast<float>(p[0]) - 128.0f) / 128.0f;
  return static_cast<float>(static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)))) /
         32768.0f;
}
}  // namespace

TRtWaveOutDevice::TRtWaveOutDevice(std::unique_ptr<RtAudio> rt, unsigned rt_device,
                                   unsigned device_rate, const TWaveOutFormat& format,
                                   TWaveOutCallback callback)
    : rt_(std::move(rt)),
      format_(format),
      device_rate_(device_rate),
      callback_(std::move(callback)),
      ring_(kInitialRing, nullptr) {
  if (device_rate_ != format_.sample_rate) {
    int error = 0;
    src_ = src_new(SRC_SINC_FASTEST, format_.channels, &error);
    if (!src_) throw std::runtime_error(src_strerror(error));
    src_in_.resize(kConverterFrames * format_.channels);
  }
  RtAudio::StreamParameters params;
  params.deviceId = rt_device;
  params.nChannels = format_.channels;
  RtAudio::StreamOptions options;
  options.streamName = "Tocsin";
  unsigned buffer_frames = 256;
  try {
    SilenceRtAudioNotices();
    losses_at_open_ = JackServerLosses();
    rt_->openStream(&params, nullptr, RTAUDIO_FLOAT32, device_rate_, &buffer_frames, &Callback,
                    this, &options);
    rt_->startStream();
  } catch (...) {
    if (rt_->isStreamOpen()) rt_->closeStream();
    if (src_) src_delete(src_);
    throw;
  }
}

TRtWaveOutDevice::~TRtWaveOutDevice() {
  Close();
  if (src_) src_delete(src_);
}

void TRtWaveOutDevice::Write(TWaveOutBlock* block) {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  if (count_ == ring_.size()) {
    std::vector<TWaveOutBlock*> bigger(ring_.size() * 2, nullptr);
    for (size_t i = 0; i < count_; ++i) bigger[i] = ring_[(head_ + i) % ring_.size()];
    ring_.swap(bigger);
    head_ = 0;
  }
  ring_[(head_ + count_) % ring_.size()] = block;
  ++count_;
}

void TRtWaveOutDevice::Pause() { paused_.store(true, std::memory_order_release); }

void TRtWaveOutDevice::Restart() { paused_.store(false, std::memory_order_release); }

void TRtWaveOutDevice::Reset() {
  std::vector<TWaveOutBlock*> returned;
  TWaveOutCallback callback;
  {
    std::lock_guard lock(mutex_);
    returned.reserve(count_);
    for (size_t i = 0; i < deferred_count_; ++i) returned.push_back(deferred_[i]);
    deferred_count_ = 0;
    while (count_ > 0) returned.push_back(Pop());
    head_offset_ = 0;
    src_in_pos_ = src_in_count_ = 0;
    if (src_) src_reset(src_);
    callback = callback_;
  }
  if (callback)
    for (TWaveOutBlock* block : returned) callback(this, kWomDone, block);
}

void TRtWaveOutDevice::Close() {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
  }
  // Once the stream is closed the back-end calls no more: the queue can be dropped safely.
  ReleaseRtAudio(rt_, losses_at_open_);
  std::lock_guard lock(mutex_);
  closed_ = true;
  count_ = 0;
  deferred_count_ = 0;
  callback_ = nullptr;
}

int TRtWaveOutDevice::Callback(void* out, void*, unsigned frames, double, RtAudioStreamStatus,
                               void* self) {
  auto* device = static_cast<TRtWaveOutDevice*>(self);
  float* dst = static_cast<float*>(out);
  if (!device->mutex_.try_lock()) {
    std::fill(dst, dst + static_cast<size_t>(frames) * device->format_.channels, 0.0f);
    return 0;
  }
  std::lock_guard lock(device->mutex_, std::adopt_lock);
  return device->OnCallback(dst, frames);
}

int TRtWaveOutDevice::OnCallback(float* out, unsigned frames) {
  const size_t channels = format_.channels;
  // Blocks used up in an earlier cycle have reached the server by now (and, when converting,
  // have left the converter): only now may they be reported, since a report can lead to the
  // stream's close, which would drop the cycle still being handed over.
  if (!src_ || src_in_pos_ == src_in_count_) ReportDeferred();
  unsigned produced = 0;
  if (!paused_.load(std::memory_order_acquire) && !closed_) {
    if (!src_) {
      produced = Pull(out, frames);
    } else {
      while (produced < frames) {
        if (src_in_pos_ == src_in_count_) {
          src_in_pos_ = 0;
          src_in_count_ = Pull(src_in_.data(), kConverterFrames);
          if (src_in_count_ == 0) break;  // starved: the rest of the cycle is silence
        }
        SRC_DATA data{};
        data.data_in = src_in_.data() + src_in_pos_ * channels;
        data.input_frames = static_cast<long>(src_in_count_ - src_in_pos_);
        data.data_out = out + static_cast<size_t>(produced) * channels;
        data.output_frames = frames - produced;
        data.src_ratio = static_cast<double>(device_rate_) / format_.sample_rate;
        if (src_process(src_, &data) != 0) break;
        src_in_pos_ += static_cast<size_t>(data.input_frames_used);
        produced += static_cast<unsigned>(data.output_frames_gen);
        if (data.input_frames_used == 0 && data.output_frames_gen == 0) break;
      }
    }
  }
  std::fill(out + static_cast<size_t>(produced) * channels, out + frames * channels, 0.0f);
  return 0;
}

void TRtWaveOutDevice::ReportDeferred() {
  for (size_t i = 0; i < deferred_count_; ++i)
    if (callback_) callback_(this, kWomDone, deferred_[i]);
  deferred_count_ = 0;
}

unsigned TRtWaveOutDevice::Pull(float* dst, unsigned frames) {
  const uint32_t align = format_.BlockAlign();
  const uint16_t bytes_per_sample = format_.bits / 8;
  unsigned done = 0;
  while (done < frames && count_ > 0) {
    TWaveOutBlock* block = ring_[head_];
    const uint32_t whole = block->bytes - block->bytes % align;
    while (done < frames && head_offset_ < whole) {
      const uint8_t* p = block->data + head_offset_;
      for (size_t c = 0; c < format_.channels; ++c)
        *dst++ = SampleToFloat(p + c * bytes_per_sample, format_.bits);
      head_offset_ += align;
      ++done;
    }
    if (head_offset_ >= whole) {
      Pop();
      head_offset_ = 0;
      if (deferred_count_ < kMaxDeferred)
        deferred_[deferred_count_++] = block;
      else if (callback_)
        callback_(this, kWomDone, block);
    }
  }
  return done;
}

TWaveOutBlock* TRtWaveOutDevice::Pop() {
  TWaveOutBlock* block = ring_[head_];
  ring_[head_] = nullptr;
  head_ = (head_ + 1) % ring_.size();
  --count_;
  return block;
}
