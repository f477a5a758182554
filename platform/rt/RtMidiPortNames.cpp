#include "RtMidiPortNames.h"

#include <set>

std::string CutUtf8(std::string_view name, size_t max_bytes) {
  if (name.size() <= max_bytes) return std::string(name);
  size_t end = max_bytes;
  // Step back over continuation bytes to the start of the character that would be split.
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return std::string(name.substr(0, end));
}

std::vector<std::string> DistinctPortNames(const std::vector<std::string>& names, size_t max_bytes) {
  std::vector<std::string> plain;
  std::set<std::string> taken_plain;
  for (const auto& n : names) {
    plain.push_back(CutUtf8(n, max_bytes));
    taken_plain.insert(plain.back());
  }
  std::vector<std::string> out;
  std::set<std::string> used;
  for (size_t i = 0; i < names.size(); ++i) {
    std::string name = plain[i];
    if (used.count(name)) {
      for (unsigned k = 2;; ++k) {
        const std::string suffix = " " + std::to_string(k);
        const size_t room = max_bytes > suffix.size() ? max_bytes - suffix.size() : 0;
        std::string candidate = CutUtf8(names[i], room) + suffix;
        if (!used.count(candidate) && !taken_plain.count(candidate)) {
          name = std::move(candidate);
          break;
        }
      }
    }
    used.insert(name);
    out.push_back(std::move(name));
  }
  return out;
}
