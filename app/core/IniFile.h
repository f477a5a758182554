// An INI text file held in memory: sections of "key=value" lines, read with the settings file's
// rules (first section and first key of a name, letter case ignored) and updated in place like
// the platform's private-profile service, then written whole through a temporary file and a
// rename so that a crash or a full disk never leaves half a file (in place where no temporary
// file can be made). UI thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// The outcome of writing a file; on failure, what the system said.
struct TIniWriteResult {
  bool Ok = true;
  std::error_code Error;
};

class TIniFile {
 public:
  // Longest string value read back, in bytes.
  static constexpr size_t kMaxStringLength = 2047;
  // A file larger than this is no settings file: it reads as empty.
  static constexpr size_t kMaxFileBytes = 1 << 20;

  TIniFile() = default;
  // Any bytes: lines end at "\n" (any "\r" before it is dropped), a UTF-8 byte-order mark is
  // skipped, lines that are neither "[section]" nor "key=value" are kept but never read.
  explicit TIniFile(std::string_view text);
  // A missing, unreadable or oversized file reads as empty.
  static TIniFile Load(const std::string& path);

  // The value text of the first `key` in the first `section`, spaces around it removed, cut at
  // a NUL byte; none when the section or key is missing.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;

  // Value cut to kMaxStringLength bytes; `fallback` when missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  // ParseIniInteger / ParseIniFloat of the value; `fallback` when missing or unparsable.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const;
  // An integer; any non-zero value is true.
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
  double ReadFloat(std::string_view section, std::string_view key, double fallback,
                   std::string_view decimal_separator) const;

  // Replaces the value of the first `key` in the first `section`, or adds the key at the end of
  // that section, or adds the section at the end of the file. A value stops at its first line
  // break or NUL, which the file could not hold.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int64_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  void WriteFloat(std::string_view section, std::string_view key, double value,
                  std::string_view decimal_separator);

  // The whole file, one "\n" after each line.
  std::string Text() const;

  // Writes Text() to `path` through a temporary file in the same folder, flushed to disk and
  // renamed over it; a file that exists keeps its owner and permissions. Where the folder takes
  // no temporary file, or the owner could not be kept, an existing file is rewritten in place.
  // On any failure `path` is left as it was (in place: as far as the system lets the old bytes
  // back) and the temporary file removed. A file the user may not write is refused, although
  // the rename could replace it.
  TIniWriteResult Save(const std::string& path) const;

 private:
  // Line index of the first header naming `section`, or none.
  std::optional<size_t> FindSection(std::string_view section) const;
  // Line index of `key` in the section whose header is at `header`, or none.
  std::optional<size_t> FindKey(size_t header, std::string_view key) const;

  std::vector<std::string> lines_;
  bool byte_order_mark_ = false;  // written back, so that the file reads the same again
};
