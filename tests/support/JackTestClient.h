// A JACK client for end-to-end tests: two audio output ports that play a scripted stereo signal
// (telling the frame each marked position left at), two audio input ports that record what
// reaches them and where each sound on them starts, and one MIDI input port that records every
// event it receives with its frame time.
// The process callback runs on JACK's thread: no allocation, no locks; tests talk to it through
// atomics and buffers prepared before playback starts.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class JackTestClient {
 public:
  struct MidiEvent {
    uint64_t frame = 0;  // absolute JACK frame time at which the event arrived
    std::vector<uint8_t> bytes;
  };

  // Opens the client on the server named by JACK_DEFAULT_SERVER and activates it.
  explicit JackTestClient(const std::string& name);
  ~JackTestClient();
  JackTestClient(const JackTestClient&) = delete;
  JackTestClient& operator=(const JackTestClient&) = delete;

  bool Ok() const { return client_ != nullptr; }
  std::string Name() const;
  uint32_t SampleRate() const;
  uint32_t Period() const;
  jack_client_t* Handle() const { return client_; }
  // Full port names, for example "client:out_1".
  std::string AudioOutPort(int channel) const;
  std::string MidiInPort() const;
  std::string AudioInPort(int channel) const;

  // Starts playing left/right (same length; samples in -1..1) at the next cycle; silence after.
  // Returns false while an earlier signal is still playing. marks: positions in the signal, in
  // order, whose frame times MarkFrames tells once played.
  bool Play(std::vector<float> left, std::vector<float> right, std::vector<uint64_t> marks = {});
  bool Playing() const { return playing_.load(std::memory_order_acquire); }
  // Frame time of the first played sample, valid once playback has begun.
  uint64_t PlayStartFrame() const { return play_start_.load(std::memory_order_acquire); }
  // The frame time at which each mark was played, as far as played. A cycle the server skipped
  // for this client leaves its signal behind the frame clock: these frames still hold.
  std::vector<uint64_t> MarkFrames() const;
  // Waits until the signal has been played completely; false on timeout.
  bool WaitPlayed(int timeout_ms) const;

  // Events recorded so far, and the count, lock-free.
  std::vector<MidiEvent> Midi() const;
  size_t MidiCount() const { return midi_count_.load(std::memory_order_acquire); }
  bool WaitMidiCount(size_t n, int timeout_ms) const;

  // Records both audio inputs from the next cycle on, up to max_frames frames (the memory is
  // taken here, not on JACK's thread). Returns false while an earlier recording is running.
  bool Record(size_t max_frames);
  size_t RecordedFrames() const { return rec_count_.load(std::memory_order_acquire); }
  // Frame time of the first recorded frame, valid once recording has begun.
  uint64_t RecordStartFrame() const { return rec_start_.load(std::memory_order_acquire); }
  // The frames recorded so far on one input.
  std::vector<float> Recorded(int channel) const;
  bool WaitRecorded(size_t frames, int timeout_ms) const;

  // Frame times at which an audio input began to sound: its first non-zero sample after at
  // least kQuietFrames zero ones (or since the client opened). Kept from activation on, for as
  // many as kMaxSoundStarts per input, lock-free.
  static constexpr uint32_t kQuietFrames = 64;
  static constexpr size_t kMaxSoundStarts = 4096;
  std::vector<uint64_t> SoundStarts(int channel) const;
  size_t SoundStartCount(int channel) const {
    return start_count_[channel].load(std::memory_order_acquire);
  }

  // Cycles the server reported late (xruns) since the client opened: what a client wrote in
  // such a cycle may never reach the others.
  uint64_t Xruns() const { return xruns_.load(std::memory_order_acquire); }

  // Cycles of ours that did not begin where the one before ended on the frame clock: the server
  // ran the graph without us in between (PipeWire does so without an xrun callback).
  uint64_t Gaps() const { return gaps_.load(std::memory_order_acquire); }

  // Connects two ports by their full names once this client sees both (PipeWire shows another
  // client's new ports a moment after they were made); false when they did not appear, or the
  // server kept refusing, within timeout_ms.
  bool Connect(const std::string& from, const std::string& to, int timeout_ms = 10000) const;
  // Waits until this client sees every port named; false after timeout_ms.
  bool WaitForPorts(const std::vector<std::string>& ports, int timeout_ms = 10000) const;
  // Waits until the process callback has run n more times: a connection made now is in the
  // graph of the cycles after it, never for sure in the one under way.
  bool WaitCycles(int n, int timeout_ms) const;
  uint64_t FrameTime() const;

 private:
  static int Process(jack_nframes_t nframes, void* arg);
  static int Xrun(void* arg);
  int OnProcess(jack_nframes_t nframes);

  static constexpr size_t kMaxMidi = 8192;
  struct RawMidi {
    uint64_t frame;
    uint8_t size;
    uint8_t data[6];
  };

  jack_client_t* client_ = nullptr;
  jack_port_t* out_[2] = {nullptr, nullptr};
  jack_port_t* midi_in_ = nullptr;
  jack_port_t* in_[2] = {nullptr, nullptr};

  std::vector<float> rec_[2];
  std::atomic<bool> recording_{false};
  std::atomic<size_t> rec_count_{0};
  std::atomic<uint64_t> rec_start_{0};
  std::atomic<uint64_t> xruns_{0};

  std::vector<float> left_, right_;
  size_t pos_ = 0;  // process thread only while playing
  std::vector<uint64_t> marks_, mark_frames_;
  std::atomic<size_t> marks_played_{0};
  std::atomic<bool> playing_{false};
  std::atomic<bool> begun_{false};
  std::atomic<uint64_t> play_start_{0};

  std::vector<uint64_t> starts_[2];
  std::atomic<size_t> start_count_[2] = {0, 0};
  uint32_t quiet_[2] = {kQuietFrames, kQuietFrames};  // process thread only

  std::atomic<uint64_t> cycles_{0};
  std::atomic<uint64_t> gaps_{0};
  uint64_t next_cycle_start_ = 0;  // process thread only; 0 before the first cycle
  std::vector<RawMidi> midi_;
  std::atomic<size_t> midi_count_{0};
};
