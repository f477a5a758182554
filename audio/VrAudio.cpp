#include "VrAudio.h"

#include <algorithm>
#include <fstream>
#include <limits>

#include "platform/RealtimeThread.h"

namespace {

void WriteU32(std::ostream& s, uint32_t v) {
  const char b[4] = {char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff),
                     char((v >> 24) & 0xff)};
  s.write(b, 4);
}

uint32_t ReadU32(std::istream& s) {
  unsigned char b[4];
  if (!s.read(reinterpret_cast<char*>(b), 4)) throw EVrAudioError("Stream read error");
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// The stream's total size and how much of it lies ahead.
void Measure(std::istream& s, uint64_t& total, uint64_t& remaining) {
  const auto pos = s.tellg();
  if (pos < 0) throw EVrAudioError("Stream read error");
  s.seekg(0, std::ios::end);
  const auto end = s.tellg();
  s.seekg(pos);
  if (end < 0 || !s) throw EVrAudioError("Stream read error");
  total = static_cast<uint64_t>(end);
  remaining = static_cast<uint64_t>(end - pos);
}

}  // namespace

uint32_t TVrAudioData::Size() const {
  std::lock_guard lock(mutex_);
  return image_ ? static_cast<uint32_t>(image_->size()) : 0;
}

const uint8_t* TVrAudioData::Data() const {
  std::lock_guard lock(mutex_);
  return image_ ? image_->data() : nullptr;
}

TSoundImagePtr TVrAudioData::Image() const {
  if (InRealtimeThread()) return ImageNoWait();
  std::lock_guard lock(mutex_);
  return image_;
}

TSoundImagePtr TVrAudioData::ImageNoWait() const {
  // Others hold the lock only to swap the pointer: a few tries, never a wait. Still taken after
  // them (the sound being replaced at this very moment), this hit plays nothing.
  for (int i = 0; i < 64; ++i) {
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (lock.owns_lock()) return image_;
  }
  return nullptr;
}

void TVrAudioData::Publish(TSoundImagePtr image) {
  if (image && image->empty()) image.reset();
  {
    std::lock_guard lock(mutex_);
    image_.swap(image);
  }
  // the previous image is released here, outside the lock
}

void TVrAudioData::SetSize(uint32_t n) {
  auto old = Image();
  const uint32_t size = old ? static_cast<uint32_t>(old->size()) : 0;
  if (n == size) return;
  auto image = std::make_shared<TSoundImage>(n);
  if (old) std::copy_n(old->begin(), std::min(n, size), image->begin());
  Publish(std::move(image));
}

void TVrAudioData::SetData(const uint8_t* data, uint32_t size) {
  Publish(size ? std::make_shared<const TSoundImage>(data, data + size) : nullptr);
}

void TVrAudioData::Clear() {
  SetSize(0);
}

void TVrAudioData::WriteData(std::ostream& stream, bool with_header) const {
  auto image = Image();
  if (!image) return;
  if (with_header) {
    WriteU32(stream, kSignature);
    WriteU32(stream, static_cast<uint32_t>(image->size()));
  }
  stream.write(reinterpret_cast<const char*>(image->data()),
               static_cast<std::streamsize>(image->size()));
  if (!stream) throw EVrAudioError("Stream write error");
}

void TVrAudioData::ReadData(std::istream& stream, bool with_header) {
  uint64_t count = 0;
  uint64_t remaining = 0;
  Measure(stream, count, remaining);
  if (with_header) {
    if (ReadU32(stream) != kSignature) throw EVrAudioError("Unknown audio streaming format.");
    count = ReadU32(stream);
    remaining -= 8;
  }
  // Check before allocating: a damaged header or an oversized file must not reserve gigabytes
  // for bytes that are not there.
  if (count > remaining || count > std::numeric_limits<uint32_t>::max())
    throw EVrAudioError("Stream read error");
  auto image = std::make_shared<TSoundImage>(static_cast<size_t>(count));
  if (count &&
      !stream.read(reinterpret_cast<char*>(image->data()), static_cast<std::streamsize>(count)))
    throw EVrAudioError("Stream read error");
  Publish(std::move(image));
}

void TVrAudioData::LoadFromFile(const std::string& file_name) {
  std::ifstream file(file_name, std::ios::binary);
  if (!file) throw EVrAudioError("Cannot open file \"" + file_name + "\"");
  ReadData(file, false);
}

void TVrAudioData::SaveToFile(const std::string& file_name) const {
  std::ofstream file(file_name, std::ios::binary | std::ios::trunc);
  if (!file) throw EVrAudioError("Cannot create file \"" + file_name + "\"");
  WriteData(file, false);
}

void TVrAudioData::Assign(const TVrAudioData& source) {
  if (&source == this) return;
  // Images never change in place, so sharing the source's is a copy.
  Publish(source.Image());
}

TVrWave::TVrWave(ISoundService& service) : service_(service) {
  UpdatePlayFlags();
}

void TVrWave::SetOptions(TVrWaveOptions options) {
  if (options == options_) return;
  options_ = options;
  UpdatePlayFlags();
}

void TVrWave::UpdatePlayFlags() {
  uint32_t f = kSndMemory;
  if (options_.Has(TVrWaveOption::vwoAsync)) f |= kSndAsync;
  if (options_.Has(TVrWaveOption::vwoNoDefault)) f |= kSndNoDefault;
  if (options_.Has(TVrWaveOption::vwoLoop)) f |= kSndLoop;
  if (options_.Has(TVrWaveOption::vwoNoStop)) f |= kSndNoStop;
  if (options_.Has(TVrWaveOption::vwoNoWait)) f |= kSndNoWait;
  play_flags_.store(f, std::memory_order_relaxed);
}

void TVrWave::Play() {
  // The screen cursor is the window's business; this may run on the capture thread.
  auto image = sound_.Image();
  if (!image) return;
  service_.Play(std::move(image), PlayFlags());
}

void TVrWave::PlayAt(uint64_t frame) {
  auto image = sound_.ImageNoWait();
  if (!image) return;
  service_.PlayAt(std::move(image), PlayFlags(), frame);
}

void TVrWave::Stop() {
  service_.Stop();
}
