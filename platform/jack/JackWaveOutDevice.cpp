#include "JackWaveOutDevice.h"

#include <algorithm>

namespace {
constexpr size_t kInitialRing = 64;

float SampleToFloat(const uint8_t* p, uint16_t bits) {
  if (bits == 8) return (static_cast<float>(p[0]) - 128.0f) / 128.0f;
  return static_cast<float>(static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)))) /
         32768.0f;
}
}  // namespace

TJackWaveOutDevice::TJackWaveOutDevice(TJackClient& client, std::vector<std::string> destinations,
                                       const TWaveOutFormat& format, TWaveOutCallback callback)
    : client_(client),
      format_(format),
      callback_(std::move(callback)),
      ring_(kInitialRing, nullptr),
      pulled_(kChunk * format.channels, 0.0f),
      mixed_(kChunk * format.channels, 0.0f) {
  int error = 0;
  src_ = src_new(SRC_SINC_FASTEST, format_.channels, &error);
  if (!src_ || !client_.Attach(TJackPart::kOutput, this)) return;
  ok_ = true;
  const std::string out[2] = {client_.PortName(TJackPort::kOut1),
                              client_.PortName(TJackPort::kOut2)};
  for (size_t i = 0; i < 2 && !destinations.empty(); ++i) {
    const std::string& destination = destinations[std::min(i, destinations.size() - 1)];
    if (client_.Connect(out[i], destination)) connections_.emplace_back(out[i], destination);
  }
}

TJackWaveOutDevice::~TJackWaveOutDevice() {
  Close();
  if (src_) src_delete(src_);
}

void TJackWaveOutDevice::Write(TWaveOutBlock* block) {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  if (count_ == ring_.size()) {
    std::vector<TWaveOutBlock*> bigger(ring_.size() * 2, nullptr);
    for (size_t i = 0; i < count_; ++i) bigger[i] = ring_[(head_ + i) % ring_.size()];
    ring_.swap(bigger);  // the callback waits for no lock: it skips this cycle instead
    head_ = 0;
  }
  ring_[(head_ + count_) % ring_.size()] = block;
  ++count_;
}

void TJackWaveOutDevice::Pause() {
  paused_.store(true, std::memory_order_release);
}

void TJackWaveOutDevice::Restart() {
  paused_.store(false, std::memory_order_release);
}

void TJackWaveOutDevice::Reset() {
  std::vector<TWaveOutBlock*> returned;
  TWaveOutCallback callback;
  {
    std::lock_guard lock(mutex_);
    returned.reserve(count_ + deferred_count_);
    for (size_t i = 0; i < deferred_count_; ++i) returned.push_back(deferred_[i]);
    deferred_count_ = 0;
    while (count_ > 0) returned.push_back(Pop());
    head_offset_ = 0;
    pulled_pos_ = pulled_count_ = 0;
    if (src_) src_reset(src_);
    callback = callback_;
  }
  if (callback)
    for (TWaveOutBlock* block : returned) callback(this, kWomDone, block);
}

void TJackWaveOutDevice::Close() {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
  }
  if (ok_) client_.Detach(TJackPart::kOutput, this);
  for (const auto& [source, destination] : connections_) client_.Disconnect(source, destination);
  connections_.clear();
  std::lock_guard lock(mutex_);
  count_ = 0;
  deferred_count_ = 0;
  callback_ = nullptr;
}

void TJackWaveOutDevice::Cycle(const TJackCycle& cycle) {
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock || closed_) return;
  // Blocks used up in an earlier cycle have been handed to the server by now: only now may
  // they be reported, since a report can lead to the close that would cut this cycle short.
  if (pulled_pos_ == pulled_count_) ReportDeferred();
  if (paused_.load(std::memory_order_acquire)) return;
  const size_t channels = format_.channels;
  const bool convert = cycle.SampleRate != 0 && cycle.SampleRate != format_.sample_rate;
  jack_nframes_t done = 0;
  while (done < cycle.Frames) {
    const unsigned want = static_cast<unsigned>(std::min<size_t>(kChunk, cycle.Frames - done));
    unsigned produced = 0;
    if (!convert) {
      produced = Pull(mixed_.data(), want);
    } else {
      while (produced < want) {
        if (pulled_pos_ == pulled_count_) {
          pulled_pos_ = 0;
          pulled_count_ = Pull(pulled_.data(), kChunk);
          if (pulled_count_ == 0) break;
        }
        SRC_DATA data{};
        data.data_in = pulled_.data() + pulled_pos_ * channels;
        data.input_frames = static_cast<long>(pulled_count_ - pulled_pos_);
        data.data_out = mixed_.data() + static_cast<size_t>(produced) * channels;
        data.output_frames = want - produced;
        data.src_ratio = static_cast<double>(cycle.SampleRate) / format_.sample_rate;
        if (src_process(src_, &data) != 0) break;
        pulled_pos_ += static_cast<size_t>(data.input_frames_used);
        produced += static_cast<unsigned>(data.output_frames_gen);
        if (data.input_frames_used == 0 && data.output_frames_gen == 0) break;
      }
    }
    if (produced == 0) break;  // starved: the rest of the cycle stays silent
    for (unsigned i = 0; i < produced; ++i) {
      const float* frame = mixed_.data() + i * channels;
      for (int out = 0; out < 2; ++out) {
        if (!cycle.Out[out]) continue;
        cycle.Out[out][done + i] += frame[std::min<size_t>(out, channels - 1)];
      }
    }
    done += produced;
  }
}

void TJackWaveOutDevice::ReportDeferred() {
  for (size_t i = 0; i < deferred_count_; ++i)
    if (callback_) callback_(this, kWomDone, deferred_[i]);
  deferred_count_ = 0;
}

unsigned TJackWaveOutDevice::Pull(float* dst, unsigned frames) {
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

TWaveOutBlock* TJackWaveOutDevice::Pop() {
  TWaveOutBlock* block = ring_[head_];
  ring_[head_] = nullptr;
  head_ = (head_ + 1) % ring_.size();
  --count_;
  return block;
}
