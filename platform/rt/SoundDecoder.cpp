#include "SoundDecoder.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// libsndfile's view of the image: a read-only file in memory.
struct TMemoryFile {
  const uint8_t* data;
  sf_count_t size;
  sf_count_t pos = 0;
};

sf_count_t GetLength(void* user) { return static_cast<TMemoryFile*>(user)->size; }

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
  auto* f = static_cast<TMemoryFile*>(user);
  sf_count_t base = 0;
  switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = f->pos; break;
    case SEEK_END: base = f->size; break;
    default: return -1;
  }
  sf_count_t target;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) return -1;
  f->pos = target;  // past the end is allowed, as for a file; reads there return nothing
  return f->pos;
}

sf_count_t Read(void* ptr, sf_count_t count, void* user) {
  auto* f = static_cast<TMemoryFile*>(user);
  if (count <= 0 || f->pos >= f->size) return 0;
  const sf_count_t n = std::min(count, f->size - f->pos);
  std::memcpy(ptr, f->data + f->pos, static_cast<size_t>(n));
  f->pos += n;
  return n;
}

sf_count_t Write(const void*, sf_count_t, void*) { return 0; }

sf_count_t Tell(void* user) { return static_cast<TMemoryFile*>(user)->pos; }

}  // namespace

std::optional<TDecodedSound> DecodeSoundImage(const uint8_t* data, size_t size) {
  if (!data || size == 0) return std::nullopt;
  TMemoryFile file{data, static_cast<sf_count_t>(size)};
  SF_VIRTUAL_IO io{GetLength, Seek, Read, Write, Tell};
  SF_INFO info{};
  SNDFILE* snd = sf_open_virtual(&io, SFM_READ, &info, &file);
  if (!snd) return std::nullopt;

  std::optional<TDecodedSound> result;
  if (info.channels > 0 && info.samplerate > 0) {
    TDecodedSound sound;
    sound.SampleRate = static_cast<uint32_t>(info.samplerate);
    sound.Channels = static_cast<uint32_t>(info.channels);
    // Read in chunks up to the cap rather than sizing the buffer from the header's claim.
    const sf_count_t chunk_frames = 4096;
    const size_t max_frames = kMaxDecodedSamples / sound.Channels;
    std::vector<float> chunk(static_cast<size_t>(chunk_frames) * sound.Channels);
    for (;;) {
      const size_t have = sound.Frames();
      if (have >= max_frames) break;
      const sf_count_t want =
          std::min<sf_count_t>(chunk_frames, static_cast<sf_count_t>(max_frames - have));
      const sf_count_t got = sf_readf_float(snd, chunk.data(), want);
      if (got <= 0) break;
      sound.Samples.insert(sound.Samples.end(), chunk.begin(),
                           chunk.begin() + static_cast<ptrdiff_t>(got * sound.Channels));
    }
    // A broken stream may decode to anything: keep the output device's input in range.
    for (float& s : sound.Samples) s = std::isfinite(s) ? std::clamp(s, -1.0f, 1.0f) : 0.0f;
    if (sound.Frames() > 0) result = std::move(sound);
  }
  sf_close(snd);
  return result;
}

std::vector<float> ToStereo(const TDecodedSound& sound, uint32_t rate) {
  const size_t frames = sound.Frames();
  if (frames == 0 || rate == 0) return {};
  std::vector<float> stereo(frames * 2);
  for (size_t i = 0; i < frames; ++i) {
    const float* in = &sound.Samples[i * sound.Channels];
    stereo[2 * i] = in[0];
    stereo[2 * i + 1] = sound.Channels > 1 ? in[1] : in[0];
  }
  if (rate == sound.SampleRate) return stereo;

  const double ratio = static_cast<double>(rate) / sound.SampleRate;
  // libsamplerate accepts ratios up to 256 either way.
  if (ratio > 256.0 || ratio < 1.0 / 256.0) return {};
  const double out_frames_d = std::ceil(static_cast<double>(frames) * ratio) + 16;
  if (out_frames_d * 2 > static_cast<double>(kMaxDecodedSamples) * 4) return {};
  std::vector<float> out(static_cast<size_t>(out_frames_d) * 2);
  SRC_DATA src{};
  src.data_in = stereo.data();
  src.input_frames = static_cast<long>(frames);
  src.data_out = out.data();
  src.output_frames = static_cast<long>(out_frames_d);
  src.src_ratio = ratio;
  if (src_simple(&src, SRC_SINC_MEDIUM_QUALITY, 2) != 0) return {};
  out.resize(static_cast<size_t>(src.output_frames_gen) * 2);
  return out;
}
