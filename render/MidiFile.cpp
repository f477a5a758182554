#include "MidiFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// Variable-length quantity: seven bits a byte, most significant first. Deltas beyond its 28
// bits (over an hour and a half at 48 kHz between two messages) are split by empty text events
// by the caller.
void PutVarLen(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t bytes[4];
  int n = 0;
  do {
    bytes[n++] = static_cast<uint8_t>(v & 0x7F);
    v >>= 7;
  } while (v && n < 4);
  while (n-- > 0) out.push_back(static_cast<uint8_t>(bytes[n] | (n ? 0x80 : 0)));
}

constexpr uint32_t kMaxDelta = 0x0FFFFFFF;

void PutDelta(std::vector<uint8_t>& out, uint64_t delta) {
  while (delta > kMaxDelta) {
    PutVarLen(out, kMaxDelta);
    out.insert(out.end(), {0xFF, 0x01, 0x00});  // an empty text event carries the rest of the wait
    delta -= kMaxDelta;
  }
  PutVarLen(out, static_cast<uint32_t>(delta));
}
}  // namespace

uint64_t FrameToTick(uint64_t frame, uint32_t sample_rate) {
  if (sample_rate == 0) return 0;
  // Exact in 64 bits for takes of up to a century at 48 kHz.
  const uint64_t scaled = frame * kMidiFileTickRate * 2;
  return (scaled + sample_rate) / (2 * static_cast<uint64_t>(sample_rate));
}

std::vector<uint8_t> BuildMidiFile(const std::vector<TRenderMessage>& messages,
                                   uint64_t total_frames, uint32_t sample_rate,
                                   const std::string& track_name) {
  std::vector<uint8_t> track;
  // Tempo.
  track.insert(track.end(),
               {0x00, 0xFF, 0x51, 0x03, static_cast<uint8_t>(kMidiFileTempo >> 16),
                static_cast<uint8_t>(kMidiFileTempo >> 8), static_cast<uint8_t>(kMidiFileTempo)});
  const std::string name = track_name.substr(0, 127);
  track.insert(track.end(), {0x00, 0xFF, 0x03, static_cast<uint8_t>(name.size())});
  track.insert(track.end(), name.begin(), name.end());

  uint64_t now = 0;
  for (const TRenderMessage& m : messages) {
    const uint64_t tick = FrameToTick(m.Frame, sample_rate);
    PutDelta(track, tick > now ? tick - now : 0);
    now = std::max(now, tick);
    track.insert(track.end(), m.Bytes.begin(), m.Bytes.end());
  }
  const uint64_t end = FrameToTick(total_frames, sample_rate);
  PutDelta(track, end > now ? end - now : 0);
  track.insert(track.end(), {0xFF, 0x2F, 0x00});

  std::vector<uint8_t> file = {'M', 'T', 'h', 'd'};
  Put32(file, 6);
  file.insert(file.end(), {0x00, 0x00, 0x00, 0x01, static_cast<uint8_t>(kMidiFileDivision >> 8),
                           static_cast<uint8_t>(kMidiFileDivision & 0xFF)});
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  Put32(file, static_cast<uint32_t>(track.size()));
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

std::error_code WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return {errno, std::generic_category()};
  auto fail = [&](int err) {
    close(fd);
    unlink(temp.c_str());
    return std::error_code(err, std::generic_category());
  };
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    done += static_cast<size_t>(n);
  }
  // mkstemp makes the file private; a MIDI file is as readable as any file the user makes.
  const mode_t mask = umask(0);
  umask(mask);
  if (fchmod(fd, 0666 & ~mask) != 0) return fail(errno);
  if (fsync(fd) != 0) return fail(errno);
  if (close(fd) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    return {err, std::generic_category()};
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    return {err, std::generic_category()};
  }
  return {};
}
