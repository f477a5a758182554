// A sink component for capture tests: records every operation it receives (kind, samples of
// buffers, the thread), safe to read from the test thread while the wave thread delivers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/OWPins.h"

class CaptureProbe : public TOWComponentBase {
 public:
  struct Event {
    std::string kind;
    uint32_t frames = 0;
    std::vector<int32_t> samples;  // interleaved, buffers only
    TWaveFormatEx format{};        // starts only
    std::thread::id thread;
  };

  // Runs on the delivering thread for each buffer, after it was recorded (may block, for tests
  // about delivery in progress).
  std::function<void()> on_buffer;

  TALOWAudioSinkPin pin{this, [this](const IOWNotifyOperationPtr& op, uint32_t) {
                          Record(op);
                          return true;
                        }};

  ~CaptureProbe() override { pin.Disconnect(); }

  std::vector<Event> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  size_t Count(const std::string& kind) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto& e : events_) n += e.kind == kind;
    return n;
  }
  std::vector<std::string> Kinds() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& e : events_) out.push_back(e.kind);
    return out;
  }
  // Waits until pred holds on the events; false after timeout.
  bool WaitFor(const std::function<bool(const CaptureProbe&)>& pred,
               std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred(*this)) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  bool WaitCount(const std::string& kind, size_t n,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
    return WaitFor([&](const CaptureProbe& p) { return p.Count(kind) >= n; }, timeout);
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }

  static std::string Kind(const IOWNotifyOperationPtr& op) {
    if (op->Is<TOWPumpRequestOperation>()) return "pump";
    if (op->Is<TOWStartWaveOperation>()) return "start";
    if (op->Is<TOWSuppliedBufferOperation>()) return "buffer";
    if (op->Is<TOWSLResumeOperation>()) return "resume";
    if (op->Is<TOWEndStopOperation>()) return "endstop";
    if (op->Is<TOWStopOperation>()) return "stop";
    return "other";
  }

 private:
  void Record(const IOWNotifyOperationPtr& op) {
    if (op->Is<TOWPumpRequestOperation>()) return;  // asked before every start; tested apart
    Event e;
    e.kind = Kind(op);
    e.thread = std::this_thread::get_id();
    if (auto* start = op->As<TOWStartWaveOperation>()) e.format = *start->WaveFormat();
    if (auto* supplied = op->As<TOWSuppliedBufferOperation>()) {
      auto access = supplied->Buffer()->GetAccess();
      const uint32_t channels = supplied->Buffer()->Header().nChannels;
      e.frames = access->Count();
      e.samples.reserve(size_t{e.frames} * channels);
      for (uint32_t i = 0; i < e.frames; ++i)
        for (uint32_t c = 0; c < channels; ++c) e.samples.push_back(access->GetSample(i, c));
    }
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(e));
    }
    if (op->Is<TOWSuppliedBufferOperation>() && on_buffer) on_buffer();
  }

  mutable std::mutex mutex_;
  std::vector<Event> events_;
};
