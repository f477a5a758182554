#include "JackTestClient.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {
bool WaitFor(int timeout_ms, auto pred) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
}  // namespace

JackTestClient::JackTestClient(const std::string& name)
    : starts_{std::vector<uint64_t>(kMaxSoundStarts), std::vector<uint64_t>(kMaxSoundStarts)},
      midi_(kMaxMidi) {
  jack_status_t status;
  client_ = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (!client_) return;
  out_[0] = jack_port_register(client_, "out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  out_[1] = jack_port_register(client_, "out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  midi_in_ = jack_port_register(client_, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  in_[0] = jack_port_register(client_, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  in_[1] = jack_port_register(client_, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  jack_set_process_callback(client_, &JackTestClient::Process, this);
  jack_set_xrun_callback(client_, &JackTestClient::Xrun, this);
  if (!out_[0] || !out_[1] || !midi_in_ || !in_[0] || !in_[1] || jack_activate(client_) != 0) {
    jack_client_close(client_);
    client_ = nullptr;
  }
}

JackTestClient::~JackTestClient() {
  if (client_) {
    jack_deactivate(client_);
    jack_client_close(client_);
  }
}

std::string JackTestClient::Name() const {
  return client_ ? jack_get_client_name(client_) : "";
}
uint32_t JackTestClient::SampleRate() const {
  return client_ ? jack_get_sample_rate(client_) : 0;
}
uint32_t JackTestClient::Period() const {
  return client_ ? jack_get_buffer_size(client_) : 0;
}
std::string JackTestClient::AudioOutPort(int channel) const {
  return Name() + ":out_" + std::to_string(channel + 1);
}
std::string JackTestClient::MidiInPort() const {
  return Name() + ":midi_in";
}
std::string JackTestClient::AudioInPort(int channel) const {
  return Name() + ":in_" + std::to_string(channel + 1);
}
uint64_t JackTestClient::FrameTime() const {
  return client_ ? jack_frame_time(client_) : 0;
}

bool JackTestClient::WaitForPorts(const std::vector<std::string>& ports, int timeout_ms) const {
  return client_ && WaitFor(timeout_ms, [&] {
           for (const auto& port : ports)
             if (!jack_port_by_name(client_, port.c_str())) return false;
           return true;
         });
}

bool JackTestClient::Connect(const std::string& from, const std::string& to, int timeout_ms) const {
  if (!WaitForPorts({from, to}, timeout_ms)) return false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const int r = jack_connect(client_, from.c_str(), to.c_str());
    if (r == 0 || r == EEXIST) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool JackTestClient::Play(std::vector<float> left, std::vector<float> right,
                          std::vector<uint64_t> marks) {
  if (playing_.load(std::memory_order_acquire)) return false;
  right.resize(left.size(), 0.0f);
  left_ = std::move(left);
  right_ = std::move(right);
  marks_ = std::move(marks);
  mark_frames_.assign(marks_.size(), 0);
  marks_played_.store(0, std::memory_order_relaxed);
  pos_ = 0;
  begun_.store(false, std::memory_order_relaxed);
  playing_.store(true, std::memory_order_release);
  return true;
}

std::vector<uint64_t> JackTestClient::MarkFrames() const {
  const size_t n = marks_played_.load(std::memory_order_acquire);
  return std::vector<uint64_t>(mark_frames_.begin(), mark_frames_.begin() + n);
}

bool JackTestClient::WaitPlayed(int timeout_ms) const {
  return WaitFor(timeout_ms, [&] { return !playing_.load(std::memory_order_acquire); });
}

bool JackTestClient::WaitCycles(int n, int timeout_ms) const {
  const uint64_t target = cycles_.load(std::memory_order_acquire) + static_cast<uint64_t>(n);
  return WaitFor(timeout_ms, [&] { return cycles_.load(std::memory_order_acquire) >= target; });
}

bool JackTestClient::Record(size_t max_frames) {
  if (recording_.load(std::memory_order_acquire)) return false;
  rec_[0].assign(max_frames, 0.0f);
  rec_[1].assign(max_frames, 0.0f);
  rec_count_.store(0, std::memory_order_release);
  recording_.store(true, std::memory_order_release);
  return true;
}

std::vector<float> JackTestClient::Recorded(int channel) const {
  const size_t n = rec_count_.load(std::memory_order_acquire);
  return std::vector<float>(rec_[channel].begin(), rec_[channel].begin() + n);
}

bool JackTestClient::WaitRecorded(size_t frames, int timeout_ms) const {
  return WaitFor(timeout_ms, [&] { return RecordedFrames() >= frames; });
}

bool JackTestClient::WaitMidiCount(size_t n, int timeout_ms) const {
  return WaitFor(timeout_ms, [&] { return MidiCount() >= n; });
}

std::vector<JackTestClient::MidiEvent> JackTestClient::Midi() const {
  size_t n = midi_count_.load(std::memory_order_acquire);
  std::vector<MidiEvent> out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    out.push_back(
        {midi_[i].frame, std::vector<uint8_t>(midi_[i].data, midi_[i].data + midi_[i].size)});
  }
  return out;
}

std::vector<uint64_t> JackTestClient::SoundStarts(int channel) const {
  const size_t n = start_count_[channel].load(std::memory_order_acquire);
  return std::vector<uint64_t>(starts_[channel].begin(), starts_[channel].begin() + n);
}

int JackTestClient::Xrun(void* arg) {
  static_cast<JackTestClient*>(arg)->xruns_.fetch_add(1, std::memory_order_acq_rel);
  return 0;
}

int JackTestClient::Process(jack_nframes_t nframes, void* arg) {
  return static_cast<JackTestClient*>(arg)->OnProcess(nframes);
}

int JackTestClient::OnProcess(jack_nframes_t nframes) {
  const uint64_t cycle_start = jack_last_frame_time(client_);
  if (next_cycle_start_ != 0 && cycle_start != next_cycle_start_)
    gaps_.fetch_add(1, std::memory_order_release);
  next_cycle_start_ = cycle_start + nframes;
  float* out0 = static_cast<float*>(jack_port_get_buffer(out_[0], nframes));
  float* out1 = static_cast<float*>(jack_port_get_buffer(out_[1], nframes));
  std::fill(out0, out0 + nframes, 0.0f);
  std::fill(out1, out1 + nframes, 0.0f);
  if (playing_.load(std::memory_order_acquire)) {
    if (!begun_.load(std::memory_order_relaxed)) {
      play_start_.store(cycle_start, std::memory_order_release);
      begun_.store(true, std::memory_order_relaxed);
    }
    size_t n = std::min<size_t>(nframes, left_.size() - pos_);
    size_t m = marks_played_.load(std::memory_order_relaxed);
    if (m < marks_.size() && marks_[m] < pos_ + n) {
      for (; m < marks_.size() && marks_[m] < pos_ + n; ++m)
        mark_frames_[m] = cycle_start + (marks_[m] - pos_);
      marks_played_.store(m, std::memory_order_release);
    }
    std::copy_n(left_.data() + pos_, n, out0);
    std::copy_n(right_.data() + pos_, n, out1);
    pos_ += n;
    if (pos_ >= left_.size()) playing_.store(false, std::memory_order_release);
  }

  if (recording_.load(std::memory_order_acquire)) {
    const size_t w = rec_count_.load(std::memory_order_relaxed);
    if (w == 0) rec_start_.store(cycle_start, std::memory_order_release);
    const size_t n = std::min<size_t>(nframes, rec_[0].size() - w);
    for (int c = 0; c < 2; ++c) {
      const float* in = static_cast<const float*>(jack_port_get_buffer(in_[c], nframes));
      std::copy_n(in, n, rec_[c].data() + w);
    }
    rec_count_.store(w + n, std::memory_order_release);
    if (w + n >= rec_[0].size()) recording_.store(false, std::memory_order_release);
  }

  for (int c = 0; c < 2; ++c) {
    const float* in = static_cast<const float*>(jack_port_get_buffer(in_[c], nframes));
    if (!in) continue;
    size_t n = start_count_[c].load(std::memory_order_relaxed);
    for (jack_nframes_t i = 0; i < nframes; ++i) {
      if (in[i] == 0.0f) {
        if (quiet_[c] < kQuietFrames) ++quiet_[c];
        continue;
      }
      if (quiet_[c] >= kQuietFrames && n < kMaxSoundStarts) {
        starts_[c][n] = cycle_start + i;
        start_count_[c].store(++n, std::memory_order_release);
      }
      quiet_[c] = 0;
    }
  }

  void* mbuf = jack_port_get_buffer(midi_in_, nframes);
  uint32_t count = jack_midi_get_event_count(mbuf);
  size_t w = midi_count_.load(std::memory_order_relaxed);
  for (uint32_t i = 0; i < count && w < kMaxMidi; ++i) {
    jack_midi_event_t ev;
    if (jack_midi_event_get(&ev, mbuf, i) != 0) continue;
    RawMidi& r = midi_[w];
    r.frame = cycle_start + ev.time;
    r.size = static_cast<uint8_t>(std::min<size_t>(ev.size, sizeof r.data));
    std::memcpy(r.data, ev.buffer, r.size);
    midi_count_.store(++w, std::memory_order_release);
  }
  cycles_.fetch_add(1, std::memory_order_release);
  return 0;
}
