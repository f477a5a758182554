#include "JackWaveInDevice.h"

#include <algorithm>
#include <cmath>

#include "platform/CaptureSamples.h"

namespace {
// The device whose cycle runs on this thread now, if any.
thread_local const TJackWaveInDevice* tl_in_cycle = nullptr;

class TCycleMark {
 public:
  explicit TCycleMark(const TJackWaveInDevice* device) { tl_in_cycle = device; }
  ~TCycleMark() { tl_in_cycle = nullptr; }
};
}  // namespace

TJackWaveInDevice::TJackWaveInDevice(TJackClient& client, std::vector<std::string> sources,
                                     const TWaveInFormat& format, TWaveInCallback callback,
                                     ICaptureTap* tap)
    : client_(client), format_(format), callback_(std::move(callback)), tap_(tap) {
  if (format_.channels == 0 || (format_.bits != 8 && format_.bits != 16) ||
      format_.sample_rate == 0)
    return;
  int error = 0;
  converter_ = src_new(SRC_SINC_FASTEST, format_.channels, &error);
  if (!converter_) return;
  interleaved_.assign(kChunk * format_.channels, 0.0f);
  converted_.assign(2 * kChunk * format_.channels, 0.0f);
  if (!client_.Attach(TJackPart::kCapture, this)) return;
  ok_ = true;
  const std::string in[2] = {client_.PortName(TJackPort::kIn1), client_.PortName(TJackPort::kIn2)};
  for (size_t i = 0; i < 2 && !sources.empty(); ++i) {
    const std::string& source = sources[std::min(i, sources.size() - 1)];
    // A refused connection (the server's policy) is no failure: the user may connect by hand.
    if (client_.Connect(source, in[i])) connections_.emplace_back(source, in[i]);
  }
}

TJackWaveInDevice::~TJackWaveInDevice() {
  Close();
  if (converter_) src_delete(converter_);
}

bool TJackWaveInDevice::InRealtimeCycle() const {
  return tl_in_cycle == this;
}

void TJackWaveInDevice::AddBuffer(TWaveInBlock* block) {
  // From our own callback: the queue's producer side belongs to other threads.
  if (tl_in_cycle == this) {
    if (own_count_ < kMaxOwn) own_[own_count_++] = block;
    return;
  }
  bool queued;
  {
    std::lock_guard lock(add_mutex_);
    queued = !closed_ && blocks_.Push(block);
  }
  if (!queued) {
    block->recorded = 0;
    callback_(this, kWimData, block);
  }
}

void TJackWaveInDevice::Start() {
  if (ok_ && !closed_) running_.store(true, std::memory_order_seq_cst);
}

void TJackWaveInDevice::Reset() {
  running_.store(false, std::memory_order_seq_cst);
  client_.WaitOutOfCycle();
  // The callback no longer touches the blocks: this thread takes its place as their reader.
  std::lock_guard lock(add_mutex_);
  if (current_) {
    TWaveInBlock* block = current_;
    current_ = nullptr;
    block->recorded = filled_;
    callback_(this, kWimData, block);
  }
  filled_ = 0;
  while (own_count_ > 0) {
    TWaveInBlock* block = own_[--own_count_];
    block->recorded = 0;
    callback_(this, kWimData, block);
  }
  TWaveInBlock* block = nullptr;
  while (blocks_.Pop(block)) {
    block->recorded = 0;
    callback_(this, kWimData, block);
  }
  if (converter_) src_reset(converter_);
}

void TJackWaveInDevice::Close() {
  if (closed_) return;
  running_.store(false, std::memory_order_seq_cst);
  if (ok_) client_.Detach(TJackPart::kCapture, this);
  for (const auto& [source, destination] : connections_) client_.Disconnect(source, destination);
  connections_.clear();
  std::lock_guard lock(add_mutex_);
  closed_ = true;
}

void TJackWaveInDevice::Cycle(const TJackCycle& cycle) {
  if (!running_.load(std::memory_order_acquire)) return;
  const TCycleMark mark(this);
  if (tap_) {
    // The frame time wraps after 2^32 frames (a day at 48 kHz); the tap's count does not.
    frame_time_ = have_frame_time_ ? frame_time_ + (cycle.FirstFrame - last_first_)
                                   : uint64_t{cycle.FirstFrame};
    last_first_ = cycle.FirstFrame;
    have_frame_time_ = true;
    tap_->Capture(cycle.In, format_.channels < 2 ? 1u : 2u, cycle.Frames, frame_time_,
                  cycle.SampleRate ? cycle.SampleRate : format_.sample_rate);
  }
  const size_t channels = format_.channels;
  block_first_ = 0;  // a block under way began in an earlier cycle
  const bool convert = cycle.SampleRate != 0 && cycle.SampleRate != format_.sample_rate;
  if (convert) step_ = static_cast<double>(cycle.SampleRate) / format_.sample_rate;
  for (jack_nframes_t done = 0; done < cycle.Frames;) {
    const size_t n = std::min<size_t>(kChunk, cycle.Frames - done);
    float* p = interleaved_.data();
    for (size_t i = 0; i < n; ++i) {
      for (size_t c = 0; c < channels; ++c)
        *p++ = c < 2 && cycle.In[c] ? cycle.In[c][done + i] : 0.0f;
    }
    const jack_nframes_t at = done;
    done += static_cast<jack_nframes_t>(n);
    if (!convert) {
      Push(interleaved_.data(), n, at, true);
      continue;
    }
    SRC_DATA data{};
    data.data_in = interleaved_.data();
    data.input_frames = static_cast<long>(n);
    data.src_ratio = static_cast<double>(format_.sample_rate) / cycle.SampleRate;
    while (data.input_frames > 0) {
      data.data_out = converted_.data();
      data.output_frames = static_cast<long>(converted_.size() / channels);
      if (src_process(converter_, &data) != 0) return;
      Push(converted_.data(), static_cast<size_t>(data.output_frames_gen), done - 1, false);
      if (data.input_frames_used == 0 && data.output_frames_gen == 0) break;
      data.data_in += data.input_frames_used * static_cast<long>(channels);
      data.input_frames -= data.input_frames_used;
    }
  }
}

void TJackWaveInDevice::Push(const float* in, size_t frames, jack_nframes_t at, bool exact) {
  const uint32_t align = format_.BlockAlign();
  const size_t channels = format_.channels;
  while (frames > 0) {
    if (!current_) {
      if (own_count_ > 0) {
        current_ = own_[--own_count_];
      } else if (!blocks_.Pop(current_)) {
        dropped_.fetch_add(frames, std::memory_order_relaxed);
        return;
      }
      filled_ = 0;
      block_first_ = at;
    }
    const uint32_t room = (current_->bytes - filled_) / align;
    const size_t n = std::min<size_t>(room, frames);
    uint8_t* p = current_->data + filled_;
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
    const jack_nframes_t block_last = exact ? at + static_cast<jack_nframes_t>(n) - 1 : at;
    if (exact) at += static_cast<jack_nframes_t>(n);
    filled_ += static_cast<uint32_t>(n * align);
    if (current_->bytes - filled_ < align) {
      TWaveInBlock* block = current_;
      current_ = nullptr;
      block->recorded = filled_;
      filled_ = 0;
      TJackClient::SetBlockFrames(block_first_, block_last, block->recorded / align,
                                  exact ? 1.0 : step_);
      // Into the capture's wave thread: a preallocated queue, no lock, no allocation.
      callback_(this, kWimData, block);
    }
  }
}
