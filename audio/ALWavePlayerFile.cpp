#include "ALWavePlayerFile.h"

#include <sndfile.h>

namespace {
struct TCoding {
  int subtype;
  uint16_t tag;
  uint16_t bits;
};
// WAVE format tags and nominal sample widths of the codings libsndfile decodes.
constexpr TCoding kCodings[] = {
    {SF_FORMAT_PCM_U8, 1, 8},        {SF_FORMAT_PCM_S8, 1, 8},     {SF_FORMAT_PCM_16, 1, 16},
    {SF_FORMAT_PCM_24, 1, 24},       {SF_FORMAT_PCM_32, 1, 32},    {SF_FORMAT_FLOAT, 3, 32},
    {SF_FORMAT_DOUBLE, 3, 64},       {SF_FORMAT_ULAW, 7, 8},       {SF_FORMAT_ALAW, 6, 8},
    {SF_FORMAT_IMA_ADPCM, 0x11, 4},  {SF_FORMAT_MS_ADPCM, 2, 4},   {SF_FORMAT_GSM610, 0x31, 0},
    {SF_FORMAT_G721_32, 0x40, 4},    {SF_FORMAT_G723_24, 0x14, 3},
};

TCoding CodingOf(int format) {
  const int subtype = format & SF_FORMAT_SUBMASK;
  for (const auto& c : kCodings)
    if (c.subtype == subtype) return c;
  return {subtype, 0, 0};
}
}  // namespace

TALWaveFileReader::~TALWaveFileReader() { Close(); }

bool TALWaveFileReader::Open(const std::string& path) {
  Close();
  if (path.empty()) return false;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) return false;
  if (info.channels <= 0 || info.channels > 0xFFFF || info.samplerate <= 0 || info.frames < 0) {
    sf_close(file);
    return false;
  }
  const TCoding coding = CodingOf(info.format);
  const int major = info.format & SF_FORMAT_TYPEMASK;
  const bool riff = major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX;
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  const bool stored_pcm = riff && (subtype == SF_FORMAT_PCM_U8 || subtype == SF_FORMAT_PCM_16);

  const auto channels = static_cast<uint16_t>(info.channels);
  const auto rate = static_cast<uint32_t>(info.samplerate);
  source_ = TWaveFormatEx::Pcm(channels, coding.bits, rate);
  source_.wFormatTag = coding.tag;
  converted_ = !stored_pcm;
  output_ = TWaveFormatEx::Pcm(channels, stored_pcm ? coding.bits : 16, rate);
  frames_ = info.frames;
  file_ = file;
  return true;
}

void TALWaveFileReader::Close() {
  if (file_) sf_close(file_);
  file_ = nullptr;
  frames_ = 0;
  converted_ = false;
}

bool TALWaveFileReader::Seek(int64_t frame) {
  if (!file_) return false;
  return sf_seek(file_, frame, SEEK_SET) >= 0;
}

int64_t TALWaveFileReader::Read(uint8_t* dst, int64_t frames) {
  if (!file_) return -1;
  if (frames <= 0) return 0;
  if (!converted_) {
    const sf_count_t align = output_.nBlockAlign;
    const sf_count_t bytes = sf_read_raw(file_, dst, frames * align);
    if (bytes < 0) return -1;
    return bytes / align;
  }
  // Decoded samples are native shorts; the buffers hold little-endian ones, as on every target.
  const sf_count_t got = sf_readf_short(file_, reinterpret_cast<short*>(dst), frames);
  if (got < 0) return -1;
  if (got == 0 && sf_error(file_) != SF_ERR_NO_ERROR) return -1;
  return got;
}
