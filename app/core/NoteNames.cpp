#include "NoteNames.h"

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
