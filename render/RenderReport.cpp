#include "RenderReport.h"

#include <cstdio>

#include "NoteNames.h"

namespace {
std::string Seconds(uint64_t frame, uint32_t rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", rate ? static_cast<double>(frame) / rate : 0.0);
  return text;
}

std::string NoteName(uint8_t note) {
  static const std::vector<std::string> names = NoteEntryNamesUtf8();
  return note < names.size() ? names[note] : std::string("?");
}

// Note names are letters, digits, '#' and '-' (and "é"): nothing JSON must escape.

// Padded to `columns` characters as a terminal shows them: "Ré3" takes three columns although
// it is four bytes, so printf's byte count would shift the columns after it.
std::string PadToColumns(const std::string& text, size_t columns) {
  size_t shown = 0;
  for (unsigned char c : text) shown += (c & 0xC0) != 0x80;
  return shown >= columns ? text : text + std::string(columns - shown, ' ');
}
}  // namespace

std::string NoteListHeader() {
  return "    time_s     frame  ch  note     nr  vel  side      off_s  off_frame";
}

std::string NoteListLine(const TRenderNote& n, uint32_t rate) {
  char text[160];
  std::snprintf(text, sizeof text, "%10s %9llu  %2d  %s %3d  %3d  %-4s %10s  %9llu",
                Seconds(n.OnFrame, rate).c_str(), static_cast<unsigned long long>(n.OnFrame),
                n.Channel + 1, PadToColumns(NoteName(n.Note), 7).c_str(), n.Note, n.Velocity,
                n.Side ? "D" : "G",
                Seconds(n.OffFrame, rate).c_str(), static_cast<unsigned long long>(n.OffFrame));
  return text;
}

std::string NoteJsonLine(const TRenderNote& n, uint32_t rate) {
  char text[256];
  std::snprintf(text, sizeof text,
                "{\"time\": %s, \"frame\": %llu, \"channel\": %d, \"note\": %d, \"name\": \"%s\", "
                "\"velocity\": %d, \"side\": \"%s\", \"off_time\": %s, \"off_frame\": %llu}",
                Seconds(n.OnFrame, rate).c_str(), static_cast<unsigned long long>(n.OnFrame),
                n.Channel + 1, n.Note, NoteName(n.Note).c_str(), n.Velocity,
                n.Side ? "right" : "left", Seconds(n.OffFrame, rate).c_str(),
                static_cast<unsigned long long>(n.OffFrame));
  return text;
}
