#include "IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "IniValues.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// "[name]": the name between the first "[" and the last "]", spaces removed.
std::optional<std::string_view> HeaderName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  size_t close = line.rfind(']');
  if (close == std::string_view::npos || close == 0) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

struct TKeyLine {
  std::string_view Key;
  std::string_view Value;
};

std::optional<TKeyLine> KeyLine(std::string_view line) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  std::string_view key = Trim(line.substr(0, eq));
  if (key.empty()) return std::nullopt;
  return TKeyLine{key, Trim(line.substr(eq + 1))};
}

std::string_view CutAtAny(std::string_view s, std::string_view stops) {
  size_t p = s.find_first_of(stops);
  return p == std::string_view::npos ? s : s.substr(0, p);
}

TIniWriteResult Failure(int err) {
  return {false, std::error_code(err, std::generic_category())};
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

TIniFile::TIniFile(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) {
    byte_order_mark_ = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    // Every "\r" before the line end goes: a value cannot end in one, and the text written
    // back must read the same.
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    if (nl == std::string_view::npos) break;
    text.remove_prefix(nl + 1);
  }
}

TIniFile TIniFile::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return TIniFile();
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0 || static_cast<uint64_t>(size) > kMaxFileBytes) return TIniFile();
  in.seekg(0, std::ios::beg);
  std::string bytes(static_cast<size_t>(size), '\0');
  if (!in.read(bytes.data(), size)) return TIniFile();
  return TIniFile(bytes);
}

std::optional<size_t> TIniFile::FindSection(std::string_view section) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    auto name = HeaderName(lines_[i]);
    if (name && SameName(*name, section)) return i;
  }
  return std::nullopt;
}

std::optional<size_t> TIniFile::FindKey(size_t header, std::string_view key) const {
  for (size_t i = header + 1; i < lines_.size(); ++i) {
    if (HeaderName(lines_[i])) break;
    auto kl = KeyLine(lines_[i]);
    if (kl && SameName(kl->Key, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> TIniFile::Value(std::string_view section, std::string_view key) const {
  auto header = FindSection(section);
  if (!header) return std::nullopt;
  auto line = FindKey(*header, key);
  if (!line) return std::nullopt;
  std::string_view value = KeyLine(lines_[*line])->Value;
  return std::string(CutAtAny(value, std::string_view("\0", 1)));
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view fallback) const {
  auto value = Value(section, key);
  if (!value) return std::string(fallback);
  if (value->size() > kMaxStringLength) value->resize(kMaxStringLength);
  return *value;
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                              int32_t fallback) const {
  auto value = Value(section, key);
  if (!value) return fallback;
  return ParseIniInteger(*value).value_or(fallback);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

double TIniFile::ReadFloat(std::string_view section, std::string_view key, double fallback,
                           std::string_view decimal_separator) const {
  auto value = Value(section, key);
  if (!value) return fallback;
  return ParseIniFloat(*value, decimal_separator).value_or(fallback);
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  value = CutAtAny(value, std::string_view("\r\n\0", 3));
  auto header = FindSection(section);
  if (!header) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(section) + "]");
    header = lines_.size() - 1;
  }
  if (auto line = FindKey(*header, key)) {
    // Keeps the key as the file spells it.
    std::string spelt(KeyLine(lines_[*line])->Key);
    lines_[*line] = spelt + "=" + std::string(value);
    return;
  }
  // After the section's last non-blank line, so that a blank line before the next section stays.
  size_t insert_at = *header + 1;
  for (size_t i = *header + 1; i < lines_.size() && !HeaderName(lines_[i]); ++i) {
    if (!Trim(lines_[i]).empty()) insert_at = i + 1;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at),
                std::string(key) + "=" + std::string(value));
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int64_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TIniFile::WriteFloat(std::string_view section, std::string_view key, double value,
                          std::string_view decimal_separator) {
  WriteString(section, key, FormatIniFloat(value, decimal_separator));
}

std::string TIniFile::Text() const {
  std::string text(byte_order_mark_ ? kByteOrderMark : "");
  for (const auto& line : lines_) {
    text += line;
    text += '\n';
  }
  return text;
}

namespace {

// Rewrites an existing file through its own inode: owner, permissions and links stay. Used
// where no temporary file can be made beside it (a folder the user may not write) or where the
// replacement would change the file's owner. A write that fails part way puts the old bytes back
// as far as the system lets it.
TIniWriteResult WriteInPlace(const std::string& path, const std::string& text) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  const bool readable = fd >= 0;
  // A file the user may write but not read: written without a way back.
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return Failure(errno);
  std::string old;
  char chunk[4096];
  while (readable) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    old.append(chunk, static_cast<size_t>(n));
  }
  auto write_at_start = [fd](const std::string& data) {
    return ::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, data) &&
           ::ftruncate(fd, static_cast<off_t>(data.size())) == 0;
  };
  if (!write_at_start(text) || ::fsync(fd) != 0) {
    int err = errno;
    if (readable) (void)write_at_start(old);
    ::close(fd);
    return Failure(err);
  }
  if (::close(fd) != 0) return Failure(errno);
  return {};
}

}  // namespace

TIniWriteResult TIniFile::Save(const std::string& path) const {
  namespace fs = std::filesystem;
  std::error_code ec;
  // Through a link, the file it names is replaced and the link stays.
  fs::path target = path;
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::canonical(target, ec);
    if (!ec) target = resolved;
  }
  struct stat old_stat;
  bool exists = ::stat(target.c_str(), &old_stat) == 0;
  if (exists && ::access(target.c_str(), W_OK) != 0) return Failure(errno);
  const bool regular = exists && S_ISREG(old_stat.st_mode);

  // Unique among threads and processes; O_EXCL never reuses a stranger's file.
  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  int open_error = EEXIST;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target.string() + ".tmp" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      open_error = errno;
      if (open_error != EEXIST) break;
    }
  }
  // The file itself may be writable where its folder is not.
  if (fd < 0) return regular ? WriteInPlace(target, Text()) : Failure(open_error);

  auto abandon = [&](int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    return Failure(err);
  };
  if (exists) {
    // The replacement belongs to whoever owned the file; when that cannot be given away (an
    // ordinary user saving a file shared with them), the file is rewritten where it is.
    if ((old_stat.st_uid != ::geteuid() || old_stat.st_gid != ::getegid()) &&
        ::fchown(fd, old_stat.st_uid, old_stat.st_gid) != 0) {
      abandon(errno);
      return regular ? WriteInPlace(target, Text()) : Failure(EPERM);
    }
    (void)::fchmod(fd, old_stat.st_mode & 07777);
  }
  if (!WriteAll(fd, Text())) return abandon(errno);
  if (::fsync(fd) != 0) return abandon(errno);
  int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return abandon(errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    // A sticky folder refuses to replace another user's file that the user may still write.
    int err = errno;
    abandon(err);
    return regular && (err == EPERM || err == EACCES) ? WriteInPlace(target, Text()) : Failure(err);
  }

  // Best effort: makes the rename itself survive a power cut.
  fs::path folder = target.parent_path();
  int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
  return {};
}
