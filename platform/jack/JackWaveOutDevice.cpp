#include "JackWaveOutDevice.h"

#include <algorithm>

TJackWaveOutDevice::TJackWaveOutDevice(TJackClient& client, std::vector<std::string> destinations,
                                       const TWaveOutFormat& format, TWaveOutCallback callback)
    : client_(client),
      format_(format),
      callback_(std::move(callback)),
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
  queue_.Push(block);  // the callback waits for no lock: it skips this cycle instead
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
    queue_.TakeAll(returned);
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
  queue_.Drop();
  callback_ = nullptr;
}

void TJackWaveOutDevice::Cycle(const TJackCycle& cycle) {
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock || closed_) return;
  // Blocks used up in an earlier cycle have been handed to the server by now: only now may
  // they be reported, since a report can lead to the close that would cut this cycle short.
  if (pulled_pos_ == pulled_count_) queue_.ReportDeferred(this, callback_);
  if (paused_.load(std::memory_order_acquire)) return;
  const size_t channels = format_.channels;
  const bool convert = cycle.SampleRate != 0 && cycle.SampleRate != format_.sample_rate;
  jack_nframes_t done = 0;
  while (done < cycle.Frames) {
    const unsigned want = static_cast<unsigned>(std::min<size_t>(kChunk, cycle.Frames - done));
    unsigned produced = 0;
    if (!convert) {
      produced = queue_.Pull(mixed_.data(), want, format_, this, callback_);
    } else {
      while (produced < want) {
        if (pulled_pos_ == pulled_count_) {
          pulled_pos_ = 0;
          pulled_count_ = queue_.Pull(pulled_.data(), kChunk, format_, this, callback_);
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
