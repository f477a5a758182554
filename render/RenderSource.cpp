#include "RenderSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "RenderError.h"
#include "platform/CaptureSamples.h"

namespace {
[[noreturn]] void Fail(const std::string& name, const std::string& reason) {
  throw ERenderError(kExitBadFile, name + ": " + reason);
}

// Why a path cannot be a take, checked before libsndfile tries, whose own texts are vaguer.
void CheckPath(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (ec || !fs::exists(st)) Fail(path, std::strerror(ENOENT));
  if (fs::is_directory(st)) Fail(path, "is a directory, not an audio file");
  if (!fs::is_regular_file(st)) Fail(path, "is not a regular file");
  if (fs::file_size(path, ec) == 0 && !ec) Fail(path, "the file is empty");
}
uint32_t Le32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The frames a RIFF WAV file's data chunk announces beyond the file's end. libsndfile quietly
// reads what is there, so a take whose recorder stopped writing would pass for a whole one.
// Sizes of 0 and 0xFFFFFFFF are the placeholders of recorders that never fill them in.
uint64_t FramesMissing(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char head[12];
  if (!in.read(reinterpret_cast<char*>(head), 12)) return 0;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return 0;
  in.seekg(0, std::ios::end);
  const uint64_t file_size = static_cast<uint64_t>(in.tellg());
  uint64_t offset = 12;
  uint32_t block_align = 0;
  while (offset + 8 <= file_size) {
    unsigned char chunk[8];
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in.read(reinterpret_cast<char*>(chunk), 8)) return 0;
    const uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 14) {
      unsigned char fmt[14];
      if (!in.read(reinterpret_cast<char*>(fmt), 14)) return 0;
      block_align = fmt[12] | fmt[13] << 8;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (size == 0 || size == 0xFFFFFFFF || block_align == 0) return 0;
      const uint64_t end = offset + 8 + size;
      return end > file_size ? (end - file_size + block_align - 1) / block_align : 0;
    }
    offset += 8 + uint64_t{size} + (size & 1);
  }
  return 0;
}
}  // namespace

TRenderSource::TRenderSource(const std::string& path, uint16_t bits, bool allow_cut)
    : name_(path), bits_(bits) {
  CheckPath(path);
  SF_INFO info{};
  file_ = sf_open(path.c_str(), SFM_READ, &info);
  if (!file_) {
    Fail(path, std::string("unreadable or unsupported audio file (") + sf_strerror(nullptr) + ")");
  }
  cut_short_by_ = FramesMissing(path);
  if (cut_short_by_ && !allow_cut) {
    sf_close(file_);
    file_ = nullptr;
    Fail(path, "the file is cut short: its header announces " +
                   std::to_string(static_cast<uint64_t>(info.frames) + cut_short_by_) +
                   " frames, only " + std::to_string(info.frames) +
                   " are there (--partial renders those)");
  }
  Init(info);
}

TRenderSource::TRenderSource(SNDFILE* handle, const SF_INFO& info, const std::string& name,
                             uint16_t bits)
    : name_(name), file_(handle), bits_(bits) {
  Init(info);
}

TRenderSource::~TRenderSource() {
  if (file_) sf_close(file_);
}

void TRenderSource::Init(const SF_INFO& info) {
  if (info.channels < 1) Fail(name_, "the file has no audio channel");
  if (info.samplerate < 1) Fail(name_, "the file has no valid sample rate");
  if (info.frames < 0) Fail(name_, "the file's length is unknown");
  rate_ = static_cast<uint32_t>(info.samplerate);
  file_channels_ = static_cast<uint16_t>(std::min(info.channels, 0xFFFF));
  channels_ = info.channels >= 2 ? 2 : 1;
  frames_ = static_cast<uint64_t>(info.frames);
  read_shorts_ = bits_ == 16 && (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
  // The conversion of floats follows the capture, which clips at full scale; no normalisation
  // beyond the one every format has.
  sf_command(file_, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
}

std::shared_ptr<TALAudioBuffer> TRenderSource::BufferFor(uint32_t frames) {
  if (!buffer_ || buffer_->FrameCount() != frames) {
    buffer_ = TALAudioBuffer::Create(bits_, frames, channels_);
  }
  return buffer_;
}

IALAudioBufferPtr TRenderSource::Next(uint32_t frames) {
  if (frames == 0 || position_ >= frames_) return nullptr;
  const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(frames, frames_ - position_));
  const size_t samples = static_cast<size_t>(want) * file_channels_;
  sf_count_t got;
  if (read_shorts_) {
    if (shorts_.size() < samples) shorts_.resize(samples);
    got = sf_readf_short(file_, shorts_.data(), want);
  } else {
    if (floats_.size() < samples) floats_.resize(samples);
    got = sf_readf_float(file_, floats_.data(), want);
  }
  if (got <= 0) {
    const int err = sf_error(file_);
    Fail(name_, "cannot read past frame " + std::to_string(position_) + " of " +
                    std::to_string(frames_) +
                    (err ? std::string(" (") + sf_strerror(file_) + ")"
                         : std::string(" (the file is cut short)")));
  }
  const uint32_t n = static_cast<uint32_t>(got);
  for (uint32_t c = 0; c < channels_ && keep_samples_; ++c) {
    planes_[c].resize(n);
    for (uint32_t i = 0; i < n; ++i) {
      const size_t at = size_t{i} * file_channels_ + c;
      planes_[c][i] = read_shorts_ ? static_cast<float>(shorts_[at]) / 32768.0f : floats_[at];
    }
  }
  auto buffer = BufferFor(n);
  uint8_t* out = buffer->GetDataAccess()->Data();
  const uint32_t step = file_channels_;
  if (read_shorts_) {
    const short* in = shorts_.data();
    for (uint32_t i = 0; i < n; ++i, in += step) {
      for (uint32_t c = 0; c < channels_; ++c) {
        const uint16_t v = static_cast<uint16_t>(in[c]);
        *out++ = static_cast<uint8_t>(v & 0xFF);
        *out++ = static_cast<uint8_t>(v >> 8);
      }
    }
  } else if (bits_ == 8) {
    const float* in = floats_.data();
    for (uint32_t i = 0; i < n; ++i, in += step) {
      for (uint32_t c = 0; c < channels_; ++c) *out++ = CaptureSampleToUInt8(in[c]);
    }
  } else {
    const float* in = floats_.data();
    for (uint32_t i = 0; i < n; ++i, in += step) {
      for (uint32_t c = 0; c < channels_; ++c) {
        const uint32_t v = static_cast<uint32_t>(CaptureSampleToInt16(in[c]));
        *out++ = static_cast<uint8_t>(v & 0xFF);
        *out++ = static_cast<uint8_t>((v >> 8) & 0xFF);
      }
    }
  }
  position_ += n;
  return buffer;
}
