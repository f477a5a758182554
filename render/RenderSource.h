// A recorded take read with libsndfile and cut into the blocks the live capture would have
// handed to the block handler: BufferSize frames each, in the capture's sample format.
// The file's samples stand for what the audio server delivered: they are converted exactly as
// the capture converts the server's floating-point frames (16-bit by default, 8-bit when the
// settings ask for it). The file's own rate is the capture rate; a mono file is a mono capture;
// of more than two channels only the first two (left, right) are read.
// Single-threaded.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/ALAudioBuffer.h"

class TRenderSource {
 public:
  // Opens a file; raises ERenderError (kExitBadFile) naming it when it cannot be read, or when
  // it is a WAV file cut short of the length its header announces, unless `allow_cut` (then
  // the frames that are there are rendered and CutShortBy() says what is missing).
  TRenderSource(const std::string& path, uint16_t bits, bool allow_cut = false);
  // Reads through libsndfile's virtual I/O (the benchmark's generated file); takes `handle`.
  TRenderSource(SNDFILE* handle, const SF_INFO& info, const std::string& name, uint16_t bits);
  ~TRenderSource();
  TRenderSource(const TRenderSource&) = delete;
  TRenderSource& operator=(const TRenderSource&) = delete;

  uint32_t SampleRate() const { return rate_; }
  uint16_t Channels() const { return channels_; }  // 1 or 2: what the capture delivers
  uint64_t Frames() const { return frames_; }      // as the file's header says
  const std::string& Name() const { return name_; }
  // Frames the header announces beyond the end of the file; 0 for a whole file.
  uint64_t CutShortBy() const { return cut_short_by_; }

  // The next block of up to `frames` frames; null at the end of the file. The last block is
  // shorter when the file ends inside it. The buffer is reused by the next call.
  // Raises ERenderError when the file cannot be read on.
  IALAudioBufferPtr Next(uint32_t frames);
  // Frames delivered so far.
  uint64_t Position() const { return position_; }
  // The last block's samples as the audio server would have handed them to the capture's tap,
  // before any conversion: floats, full scale 1.0, one input after the other (Channels()).
  // Kept only when asked for (KeepSamples, the default); null otherwise.
  const float* Samples(int channel) const { return planes_[channel].data(); }
  // Whether Next keeps the float samples as well: a render without hit detection needs none.
  void KeepSamples(bool keep) { keep_samples_ = keep; }

 private:
  void Init(const SF_INFO& info);
  std::shared_ptr<TALAudioBuffer> BufferFor(uint32_t frames);

  std::string name_;
  SNDFILE* file_ = nullptr;
  uint16_t bits_;
  uint32_t rate_ = 0;
  uint16_t channels_ = 0;
  uint16_t file_channels_ = 0;
  uint64_t frames_ = 0;
  uint64_t position_ = 0;
  uint64_t cut_short_by_ = 0;
  bool read_shorts_ = false;  // 16-bit PCM read as it is stored: no conversion at all
  bool keep_samples_ = true;
  std::vector<float> floats_;
  std::vector<short> shorts_;
  std::vector<float> planes_[2];
  std::shared_ptr<TALAudioBuffer> buffer_;
};
