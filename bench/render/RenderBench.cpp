// How much faster than real time a take renders: one hour of stereo 44.1 kHz 16-bit audio in
// blocks of 256 frames, read through libsndfile from a WAV file generated on the fly (so no disk
// is involved), through the detection and note trigger into a MIDI file in memory. Prints the
// ratio of the take's length to the CPU time used (one thread, so one core).
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "MidiFile.h"
#include "RenderChain.h"
#include "RenderSettings.h"
#include "RenderSource.h"
#include "RenderTake.h"

namespace {
constexpr uint32_t kRate = 44100;
constexpr uint64_t kFrames = uint64_t{kRate} * 3600;
constexpr uint32_t kBlock = 256;

// A WAV file of kFrames frames repeating one second of drumming: low noise, a left hit every
// half second and a right hit every third of a second, each decaying over 50 ms.
class TGeneratedWav {
 public:
  TGeneratedWav() {
    pattern_.resize(size_t{kRate} * 4);
    uint32_t seed = 12345;
    for (uint32_t i = 0; i < kRate; ++i) {
      for (int c = 0; c < 2; ++c) {
        seed = seed * 1664525u + 1013904223u;
        double v = static_cast<int>(seed >> 24) - 128;  // about -52 dB of noise
        const uint32_t since = i % (c == 0 ? kRate / 2 : kRate / 3);
        if (since < kRate / 20) v += 20000 * std::exp(-since / 300.0) * std::sin(since * 0.3);
        const auto s = static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
        std::memcpy(&pattern_[(size_t{i} * 2 + c) * 2], &s, 2);
      }
    }
    const uint32_t data = static_cast<uint32_t>(kFrames * 4);
    auto put32 = [&](uint32_t v) {
      for (int k = 0; k < 4; ++k) header_.push_back(static_cast<uint8_t>(v >> (8 * k)));
    };
    auto put16 = [&](uint16_t v) {
      header_.push_back(static_cast<uint8_t>(v));
      header_.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto tag = [&](const char* t) { header_.insert(header_.end(), t, t + 4); };
    tag("RIFF");
    put32(36 + data);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1);
    put16(2);
    put32(kRate);
    put32(kRate * 4);
    put16(4);
    put16(16);
    tag("data");
    put32(data);
  }

  SF_VIRTUAL_IO Io() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void* self) -> sf_count_t {
      return static_cast<TGeneratedWav*>(self)->Length();
    };
    io.seek = [](sf_count_t offset, int whence, void* self) -> sf_count_t {
      auto* w = static_cast<TGeneratedWav*>(self);
      if (whence == SEEK_SET) w->pos_ = offset;
      if (whence == SEEK_CUR) w->pos_ += offset;
      if (whence == SEEK_END) w->pos_ = w->Length() + offset;
      return w->pos_;
    };
    io.read = [](void* ptr, sf_count_t count, void* self) -> sf_count_t {
      return static_cast<TGeneratedWav*>(self)->Read(static_cast<uint8_t*>(ptr), count);
    };
    io.write = [](const void*, sf_count_t, void*) -> sf_count_t { return 0; };
    io.tell = [](void* self) -> sf_count_t { return static_cast<TGeneratedWav*>(self)->pos_; };
    return io;
  }

 private:
  sf_count_t Length() const { return static_cast<sf_count_t>(header_.size() + kFrames * 4); }
  sf_count_t Read(uint8_t* out, sf_count_t count) {
    sf_count_t done = 0;
    while (done < count && pos_ < Length()) {
      const auto pos = static_cast<uint64_t>(pos_);
      size_t n;
      if (pos < header_.size()) {
        n = std::min<size_t>(header_.size() - pos, static_cast<size_t>(count - done));
        std::memcpy(out + done, header_.data() + pos, n);
      } else {
        const uint64_t at = (pos - header_.size()) % pattern_.size();
        n = std::min<size_t>(pattern_.size() - at, static_cast<size_t>(count - done));
        n = std::min<uint64_t>(n, static_cast<uint64_t>(Length()) - pos);
        std::memcpy(out + done, pattern_.data() + at, n);
      }
      done += static_cast<sf_count_t>(n);
      pos_ += static_cast<sf_count_t>(n);
    }
    return done;
  }

  std::vector<uint8_t> header_;
  std::vector<uint8_t> pattern_;
  sf_count_t pos_ = 0;
};

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}
}  // namespace

int main() {
  TGeneratedWav wav;
  SF_VIRTUAL_IO io = wav.Io();
  SF_INFO info{};
  SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &wav);
  if (!file) {
    std::fprintf(stderr, "generated take: %s\n", sf_strerror(nullptr));
    return 1;
  }
  TRenderSettings settings;  // the window's defaults: -45 dB, velocity following the level
  const double start = CpuSeconds();
  TRenderSource source(file, info, "generated take", 16);
  TRenderChain chain(settings.Controls, source.Channels(), 16, source.SampleRate(), false);
  RenderTake(source, kBlock, chain);
  const auto bytes = BuildMidiFile(chain.Messages(), chain.Frames(), kRate, "bench");
  const double cpu = CpuSeconds() - start;

  const double seconds = static_cast<double>(chain.Frames()) / kRate;
  std::printf(
      "rendered %.0f s of stereo 44.1 kHz 16-bit audio in blocks of %u: %zu notes, %zu "
      "bytes of MIDI, %.3f s of CPU\n",
      seconds, kBlock, chain.Notes().size(), bytes.size(), cpu);
  std::printf("render speed: %.0fx real time (target 500x)\n", seconds / cpu);
  return 0;
}
