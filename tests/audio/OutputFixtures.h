// Test stand-ins for the output, meter and player tests: a source component whose upstream
// operations are recorded (and whose pump requests can be answered with buffers), a sink
// component that records what reaches it, and WAV files written through libsndfile.
#pragma once

#include <sndfile.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "audio/ALAudioBuffer.h"
#include "audio/OWPins.h"

// A 16-bit (or 8-bit) buffer holding samples[frame * channels + channel].
inline IALAudioBufferPtr MakeBuffer(const std::vector<int32_t>& samples, uint32_t channels,
                                    uint32_t bits = 16, uint32_t rate = 44100) {
  const uint32_t frames = static_cast<uint32_t>(samples.size() / channels);
  auto buffer = TALAudioBuffer::Create(bits, frames, channels);
  TWaveFormatEx::Pcm(static_cast<uint16_t>(channels), static_cast<uint16_t>(bits), rate)
      .WriteTo(buffer->Block()->Begin());
  auto access = buffer->GetAccess();
  for (uint32_t f = 0; f < frames; ++f)
    for (uint32_t c = 0; c < channels; ++c) access->SetSample(f, c, samples[f * channels + c]);
  return buffer;
}

// Every sample of a buffer, interleaved.
inline std::vector<int32_t> SamplesOf(const IALAudioBufferPtr& buffer) {
  auto access = buffer->GetAccess();
  const uint32_t channels = buffer->Header().nChannels;
  std::vector<int32_t> out;
  for (uint32_t f = 0; f < access->Count(); ++f)
    for (uint32_t c = 0; c < channels; ++c) out.push_back(access->GetSample(f, c));
  return out;
}

class TTestSource : public TOWComponentBase {
 public:
  TTestSource()
      : pin_(this, [this](const IOWNotifyOperationPtr& op, uint32_t) { return OnUpstream(op); }) {}
  ~TTestSource() override { pin_.DisconnectAll(); }
  TALOWAudioSourcePin& OutputPin() { return pin_; }

  // Called for each pump request that comes up (on the requesting thread).
  void SetOnPump(std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    on_pump_ = std::move(fn);
  }
  int Pumps() const { return pumps_.load(); }
  std::vector<IOWNotifyOperationPtr> Upstream() {
    std::lock_guard lock(mutex_);
    return upstream_;
  }

 private:
  bool OnUpstream(const IOWNotifyOperationPtr& op) {
    std::function<void()> fn;
    {
      std::lock_guard lock(mutex_);
      upstream_.push_back(op);
      if (op->Is<TOWMasterPumpOperation>()) fn = on_pump_;
    }
    if (op->Is<TOWMasterPumpOperation>()) {
      pumps_.fetch_add(1);
      if (fn) fn();
    }
    return true;
  }

  TALOWAudioSourcePin pin_;
  std::mutex mutex_;
  std::function<void()> on_pump_;
  std::vector<IOWNotifyOperationPtr> upstream_;
  std::atomic<int> pumps_{0};
};

class TTestSink : public TOWComponentBase {
 public:
  TTestSink()
      : pin_(this, [this](const IOWNotifyOperationPtr& op, uint32_t) { return OnOp(op); }) {}
  ~TTestSink() override { pin_.Disconnect(); }
  TALOWAudioSinkPin& InputPin() { return pin_; }

  // Makes the sink answer pump negotiations, as an output that drives the stream would.
  void SetAnswerPumpRequests(bool value) { answer_ = value; }
  std::vector<IOWNotifyOperationPtr> Ops() {
    std::lock_guard lock(mutex_);
    return ops_;
  }
  template <class T>
  int Count() {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto& op : ops_) n += op->Is<T>() ? 1 : 0;
    return n;
  }
  std::vector<IALAudioBufferPtr> Buffers() {
    std::lock_guard lock(mutex_);
    std::vector<IALAudioBufferPtr> out;
    for (const auto& op : ops_)
      if (auto* s = op->As<TOWSuppliedBufferOperation>()) out.push_back(s->Buffer());
    return out;
  }
  // The samples of every buffer received, in order.
  std::vector<int32_t> Samples() {
    std::vector<int32_t> out;
    for (const auto& b : Buffers()) {
      auto s = SamplesOf(b);
      out.insert(out.end(), s.begin(), s.end());
    }
    return out;
  }
  // Sends a pump request upstream as a master sink would.
  bool Pump() { return pin_.Notify(std::make_shared<TOWMasterPumpOperation>(this)); }

 private:
  bool OnOp(const IOWNotifyOperationPtr& op) {
    if (answer_)
      if (auto* request = op->As<TOWPumpRequestOperation>()) request->SetWinner(this);
    std::lock_guard lock(mutex_);
    ops_.push_back(op);
    return true;
  }

  TALOWAudioSinkPin pin_;
  std::atomic<bool> answer_{false};
  std::mutex mutex_;
  std::vector<IOWNotifyOperationPtr> ops_;
};

// A temporary folder removed with the object.
class TTempDir {
 public:
  TTempDir() {
    path_ = std::filesystem::temp_directory_path() /
            ("tocsin-output-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::create_directories(path_);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  static inline std::atomic<int> counter_{0};
  std::filesystem::path path_;
};

// Writes interleaved 16-bit samples in the given libsndfile format; false on failure.
inline bool WriteWave(const std::string& path, int format, int channels, int rate,
                      const std::vector<int16_t>& samples) {
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = rate;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return false;
  const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
  const bool ok = sf_writef_short(file, samples.data(), frames) == frames;
  sf_close(file);
  return ok;
}

// A ramp that tells every frame and channel apart: frame f, channel c -> (f * 7 + c * 1000) % 30000.
inline std::vector<int16_t> Ramp(int frames, int channels) {
  std::vector<int16_t> out;
  for (int f = 0; f < frames; ++f)
    for (int c = 0; c < channels; ++c) out.push_back(static_cast<int16_t>((f * 7 + c * 1000) % 30000));
  return out;
}
