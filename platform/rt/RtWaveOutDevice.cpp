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
}  // namespace

TRtWaveOutDevice::TRtWaveOutDevice(std::unique_ptr<RtAudio> rt, unsigned rt_device,
                                   unsigned device_rate, const TWaveOutFormat& format,
                                   TWaveOutCallback callback)
    : rt_(std::move(rt)),
      format_(format),
      device_rate_(device_rate),
      callback_(std::move(callback)) {
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
  queue_.Push(block);
}

void TRtWaveOutDevice::Pause() {
  paused_.store(true, std::memory_order_release);
}

void TRtWaveOutDevice::Restart() {
  paused_.store(false, std::memory_order_release);
}

void TRtWaveOutDevice::Reset() {
  std::vector<TWaveOutBlock*> returned;
  TWaveOutCallback callback;
  {
    std::lock_guard lock(mutex_);
    queue_.TakeAll(returned);
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
  queue_.Drop();
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
  if (!src_ || src_in_pos_ == src_in_count_) queue_.ReportDeferred(this, callback_);
  unsigned produced = 0;
  if (!paused_.load(std::memory_order_acquire) && !closed_) {
    if (!src_) {
      produced = queue_.Pull(out, frames, format_, this, callback_);
    } else {
      while (produced < frames) {
        if (src_in_pos_ == src_in_count_) {
          src_in_pos_ = 0;
          src_in_count_ = queue_.Pull(src_in_.data(), kConverterFrames, format_, this, callback_);
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
