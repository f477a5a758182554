#include "RtWaveInDevice.h"

#include <algorithm>
#include <cmath>

#include "DeadServerRelease.h"
#include "RtServerMonitor.h"
#include "platform/CaptureSamples.h"

namespace {
constexpr size_t kRingCapacity = 4096;
// Frames asked of RtAudio per callback; servers with a fixed period (JACK) use their own.
constexpr unsigned kRequestedPeriod = 256;
}  // namespace

TRtWaveInDevice::TRtWaveInDevice(RtAudio::Api api, unsigned device_id, const TWaveInFormat& format,
                                 TWaveInCallback callback, ICaptureTap* tap)
    : format_(format), callback_(std::move(callback)), tap_(tap), ring_(kRingCapacity, nullptr) {
  if (format_.channels == 0 || (format_.bits != 8 && format_.bits != 16)) return;
  try {
    audio_ = std::make_unique<RtAudio>(api);
    audio_->showWarnings(false);
  } catch (const std::exception&) {
    audio_.reset();
    return;
  }
  if (TryOpen(device_id, format_.sample_rate)) {
    ok_ = true;
    return;
  }
  // A server with a fixed rate refuses any other: capture at its rate and convert.
  unsigned native = 0;
  try {
    RtAudio::DeviceInfo info = audio_->getDeviceInfo(device_id);
    native = info.preferredSampleRate;
    if (native == 0 && !info.sampleRates.empty()) native = info.sampleRates.front();
  } catch (const std::exception&) {
    return;
  }
  if (native == 0 || native == format_.sample_rate || !TryOpen(device_id, native)) return;
  int error = 0;
  converter_ = src_new(SRC_SINC_FASTEST, format_.channels, &error);
  if (!converter_) {
    Close();
    return;
  }
  ratio_ = static_cast<double>(format_.sample_rate) / native;
  ok_ = true;
}

bool TRtWaveInDevice::TryOpen(unsigned device_id, unsigned rate) {
  RtAudio::StreamParameters input;
  input.deviceId = device_id;
  input.nChannels = format_.channels;
  input.firstChannel = 0;
  RtAudio::StreamOptions options;
  options.streamName = "Tocsin";
  unsigned frames = kRequestedPeriod;
  SilenceRtAudioNotices();
  losses_at_open_ = JackServerLosses();
  try {
    audio_->openStream(nullptr, &input, RTAUDIO_FLOAT32, rate, &frames, &TRtWaveInDevice::OnAudio,
                       this, &options);
  } catch (const std::exception&) {
    return false;
  }
  if (!audio_->isStreamOpen()) return false;
  stream_rate_ = rate;
  // Room for one period converted at the highest ratio anyone asks for, plus the filter's slack.
  const double ratio = static_cast<double>(format_.sample_rate) / rate;
  converted_.assign(
      (static_cast<size_t>(std::ceil(frames * std::max(1.0, ratio))) + 64) * format_.channels,
      0.0f);
  if (tap_) {
    for (auto& samples : tap_samples_) samples.assign(std::max(frames, 1u), 0.0f);
  }
  return true;
}

TRtWaveInDevice::~TRtWaveInDevice() {
  Close();
  if (converter_) src_delete(converter_);
}

void TRtWaveInDevice::AddBuffer(TWaveInBlock* block) {
  bool full;
  {
    std::lock_guard lock(queue_mutex_);
    full = count_ >= ring_.size();
    if (!full) {
      ring_[(head_ + count_) % ring_.size()] = block;
      ++count_;
    }
  }
  if (full) {
    block->recorded = 0;
    callback_(this, kWimData, block);
  }
}

void TRtWaveInDevice::Start() {
  std::lock_guard lock(call_mutex_);
  if (!audio_) return;
  try {
    if (audio_->isStreamOpen() && !audio_->isStreamRunning()) audio_->startStream();
  } catch (const std::exception&) {
  }
}

void TRtWaveInDevice::Reset() {
  {
    std::lock_guard lock(call_mutex_);
    // A dead server's stream is RtAudio's to close (it does so by itself): never call into it.
    try {
      if (audio_ && ServerStillThere(losses_at_open_) && audio_->isStreamOpen() &&
          audio_->isStreamRunning())
        audio_->abortStream();
    } catch (const std::exception&) {
    }
  }
  std::lock_guard lock(queue_mutex_);
  while (count_ > 0) {
    TWaveInBlock* block = ring_[head_];
    head_ = (head_ + 1) % ring_.size();
    --count_;
    block->recorded = filled_;
    filled_ = 0;
    callback_(this, kWimData, block);
  }
  filled_ = 0;
  if (converter_) src_reset(converter_);
}

void TRtWaveInDevice::Close() {
  std::lock_guard lock(call_mutex_);
  ReleaseRtAudio(audio_, losses_at_open_);
}

int TRtWaveInDevice::OnAudio(void*, void* in, unsigned frames, double, RtAudioStreamStatus,
                             void* self) {
  auto* device = static_cast<TRtWaveInDevice*>(self);
  if (in && device->tap_) device->Tap(static_cast<const float*>(in), frames);
  if (in) device->Consume(static_cast<const float*>(in), frames);
  return 0;
}

void TRtWaveInDevice::Tap(const float* in, unsigned frames) {
  const uint32_t channels = format_.channels;
  const uint32_t inputs = std::min<uint32_t>(channels, 2);
  const size_t room = tap_samples_[0].size();
  if (room == 0) return;
  // The stream's frames, one input after the other, a period at a time.
  for (unsigned done = 0; done < frames;) {
    const unsigned n = static_cast<unsigned>(std::min<size_t>(room, frames - done));
    const float* p = in + size_t{done} * channels;
    for (unsigned i = 0; i < n; ++i, p += channels)
      for (uint32_t c = 0; c < inputs; ++c) tap_samples_[c][i] = p[c];
    const float* planes[2] = {tap_samples_[0].data(), tap_samples_[1].data()};
    tap_->Capture(planes, inputs, n, tap_frame_, stream_rate_);
    tap_frame_ += n;
    done += n;
  }
}

void TRtWaveInDevice::Consume(const float* in, unsigned frames) {
  if (!converter_) {
    Push(in, frames);
    return;
  }
  const size_t out_frames = converted_.size() / format_.channels;
  SRC_DATA data{};
  data.data_in = in;
  data.input_frames = static_cast<long>(frames);
  data.src_ratio = ratio_;
  data.end_of_input = 0;
  while (data.input_frames > 0) {
    data.data_out = converted_.data();
    data.output_frames = static_cast<long>(out_frames);
    if (src_process(converter_, &data) != 0) return;
    Push(converted_.data(), static_cast<size_t>(data.output_frames_gen));
    if (data.input_frames_used == 0 && data.output_frames_gen == 0) return;
    data.data_in += data.input_frames_used * format_.channels;
    data.input_frames -= data.input_frames_used;
  }
}

void TRtWaveInDevice::Push(const float* in, size_t frames) {
  const uint32_t align = format_.BlockAlign();
  const uint32_t channels = format_.channels;
  std::lock_guard lock(queue_mutex_);
  while (frames > 0) {
    if (count_ == 0) {
      dropped_.fetch_add(frames, std::memory_order_relaxed);
      return;
    }
    TWaveInBlock* block = ring_[head_];
    const uint32_t room = (block->bytes - filled_) / align;
    const size_t n = std::min<size_t>(room, frames);
    uint8_t* p = block->data + filled_;
    for (size_t i = 0; i < n * channels; ++i) {
      if (format_.bits == 8) {
        *p++ = CaptureSampleToUInt8(in[i]);
      } else {
        const int32_t v = CaptureSampleToInt16(in[i]);
        *p++ = static_cast<uint8_t>(v & 0xFF);
        *p++ = static_cast<uint8_t>((v >> 8) & 0xFF);
      }
    }
    in += n * channels;
    frames -= n;
    filled_ += static_cast<uint32_t>(n * align);
    if (block->bytes - filled_ < align) {
      block->recorded = filled_;
      filled_ = 0;
      head_ = (head_ + 1) % ring_.size();
      --count_;
      callback_(this, kWimData, block);
    }
  }
}
