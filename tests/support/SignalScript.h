// Builds the stereo signal a JackTestClient plays: tone bursts at chosen levels, silences, full-
// scale clips and negative-only bursts, and remembers where each burst starts and ends, so that a
// test can tell which MIDI event each burst must cause.
#pragma once

#include <cstdint>
#include <vector>

class TSignalScript {
 public:
  enum class TKind { Burst, NegativeBurst, Clip };
  // One burst on one channel: frames [Start, Start + Length) of the script.
  struct TBurst {
    int Channel = 0;
    TKind Kind = TKind::Burst;
    double Db = 0;  // peak level; 0 for a clip
    uint64_t Start = 0;
    uint64_t Length = 0;
    uint64_t End() const { return Start + Length; }
  };

  // Appends silence on both channels.
  TSignalScript& Silence(uint64_t frames);
  // A burst whose positive peak reads exactly db on the 16-bit capture (db <= 0): samples
  // alternate +a and -a, so the negative peak has the same size.
  TSignalScript& Burst(int channel, double db, uint64_t frames);
  // Samples alternating 0 and -a: loud, yet the positive peak is silence.
  TSignalScript& NegativeBurst(int channel, double db, uint64_t frames);
  // Alternating +1 and -1: the capture saturates at both ends of the 16-bit range.
  TSignalScript& Clip(int channel, uint64_t frames);
  // The next burst starts at this frame instead of the end of the script, so that bursts on the
  // two channels can overlap; silence fills any gap.
  TSignalScript& At(uint64_t frame);

  const std::vector<float>& Left() const { return ch_[0]; }
  const std::vector<float>& Right() const { return ch_[1]; }
  const std::vector<TBurst>& Bursts() const { return bursts_; }
  uint64_t Length() const { return ch_[0].size(); }

  // The float a sample must have to be captured as round(32767 * 10^(db/20)): an exact k/32768.
  static float Amplitude(double db);
  // The 16-bit sample that float becomes in the capture.
  static int32_t Captured(float x);

 private:
  TSignalScript& Add(int channel, TKind kind, double db, uint64_t frames, float high, float low);
  std::vector<float> ch_[2];
  std::vector<TBurst> bursts_;
  uint64_t next_ = UINT64_MAX;  // start of the next burst when At was called
};
