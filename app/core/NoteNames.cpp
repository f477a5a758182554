#include "NoteNames.h"

#include <cctype>
#include <charconv>

#include "Cp1252.h"

namespace {
// Windows-1252: "R\xE9" is "Ré".
constexpr const char* kSemitones[12] = {"Do",  "Do#", "R\xE9", "R\xE9#", "Mi",  "Fa",
                                        "Fa#", "Sol", "Sol#",  "La",     "La#", "Si"};
}  // namespace

std::string NoteEntryName(int k) {
  if (k < 0 || k >= kNoteEntryCount) return "";
  return std::string(kSemitones[k % 12]) + std::to_string(k / 12 - 2);
}

std::vector<std::string> NoteEntryNames() {
  std::vector<std::string> out;
  out.reserve(kNoteEntryCount);
  for (int octave = -2; octave <= 8; ++octave)
    for (const char* name : kSemitones) out.push_back(std::string(name) + std::to_string(octave));
  return out;
}

std::vector<std::string> NoteEntryNamesUtf8() {
  std::vector<std::string> out;
  for (const auto& n : NoteEntryNames()) out.push_back(Cp1252ToUtf8(n));
  return out;
}

int NoteEntryIndex(const std::string& name) {
  for (int k = 0; k < kNoteEntryCount; ++k)
    if (NoteEntryName(k) == name) return k;
  return -1;
}

int MidiNoteForEntry(int k) {
  if (k < 0 || k >= kNoteEntryCount) return -1;
  return k < 128 ? k : k - 12;
}

std::vector<std::string> MidiChannelEntries() {
  std::vector<std::string> out;
  for (int i = 1; i <= kMidiChannelCount; ++i) out.push_back(std::to_string(i));
  return out;
}

namespace {
// Lower-case ASCII, with "é"/"É" (UTF-8) read as "e": "Ré", "RÉ" and "re" are one name.
std::string Folded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == 0xC3 && i + 1 < text.size() &&
        (static_cast<unsigned char>(text[i + 1]) == 0xA9 ||
         static_cast<unsigned char>(text[i + 1]) == 0x89)) {
      out += 'e';
      ++i;
      continue;
    }
    out += static_cast<char>(std::tolower(c));
  }
  return out;
}

// The semitone (0 = Do/C) a name starts with, and its length; -1 when none does. French
// first: no English name is two letters before its accidental or octave.
int Semitone(const std::string& t, size_t& length) {
  static const struct {
    const char* name;
    int semitone;
  } kNames[] = {{"sol", 7}, {"do", 0}, {"re", 2}, {"mi", 4}, {"fa", 5}, {"la", 9}, {"si", 11},
                {"c", 0},   {"d", 2},  {"e", 4},  {"f", 5},  {"g", 7},  {"a", 9},  {"b", 11}};
  for (const auto& n : kNames) {
    const size_t len = std::char_traits<char>::length(n.name);
    if (t.compare(0, len, n.name) == 0) {
      length = len;
      return n.semitone;
    }
  }
  return -1;
}
}  // namespace

int NoteEntryForText(const std::string& text) {
  if (text.empty()) return -1;
  const char* end = text.data() + text.size();
  int number = 0;
  if (auto [ptr, ec] = std::from_chars(text.data(), end, number);
      ec == std::errc() && ptr == end && text[0] != '-') {
    return number <= 127 ? number : -1;
  }
  const std::string t = Folded(text);
  size_t at = 0;
  const int semitone = Semitone(t, at);
  if (semitone < 0) return -1;
  int shift = 0;
  if (at < t.size() && (t[at] == '#' || t[at] == 'b')) shift = t[at++] == '#' ? 1 : -1;
  int octave = 0;
  const char* digits = t.data() + at;
  auto [ptr, ec] = std::from_chars(digits, t.data() + t.size(), octave);
  if (at == t.size() || ec != std::errc() || ptr != t.data() + t.size()) return -1;
  if (octave < -2 || octave > 8) return -1;
  const int entry = (octave + 2) * 12 + semitone + shift;
  return entry >= 0 && entry < kNoteEntryCount ? entry : -1;
}

std::string EnglishNoteName(int note) {
  static const char* const kEnglish[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                           "F#", "G",  "G#", "A",  "A#", "B"};
  if (note < 0 || note > 127) return "";
  return std::string(kEnglish[note % 12]) + std::to_string(note / 12 - 2);
}
