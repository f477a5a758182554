// A WAV file read for the player through libsndfile: 8- and 16-bit PCM in a RIFF/WAVE container
// is passed as stored; anything else libsndfile can decode (ADPCM, mu-law, A-law, GSM, 24/32-bit
// and float PCM, other containers) comes out as 16-bit PCM with the file's channels and rate.
// Used under the player's lock, on whichever thread produces blocks.
#pragma once

#include <cstdint>
#include <string>

#include "WaveFormat.h"

struct sf_private_tag;

class TALWaveFileReader {
 public:
  TALWaveFileReader() = default;
  ~TALWaveFileReader();
  TALWaveFileReader(const TALWaveFileReader&) = delete;
  TALWaveFileReader& operator=(const TALWaveFileReader&) = delete;

  // False when the file cannot be opened or holds no audio.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  // The file's own format; the tag is 1 for PCM or the WAVE tag of the coding.
  const TWaveFormatEx& SourceFormat() const { return source_; }
  // The format of the frames Read returns.
  const TWaveFormatEx& OutputFormat() const { return output_; }
  // Whether frames are decoded (to 16-bit PCM) rather than passed as stored.
  bool Converted() const { return converted_; }
  int64_t Frames() const { return frames_; }

  bool Seek(int64_t frame);
  // Reads up to frames frames of the output format into dst; returns the frames read (0 at the
  // end) or -1 when reading fails.
  int64_t Read(uint8_t* dst, int64_t frames);

 private:
  sf_private_tag* file_ = nullptr;
  TWaveFormatEx source_{};
  TWaveFormatEx output_{};
  bool converted_ = false;
  int64_t frames_ = 0;
};
