#include "TextMatch.h"

#include "Cp1252.h"

namespace {

char32_t FoldCase(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;  // À..Þ, not ×
  if (c == 0x178) return 0xFF;                             // Ÿ
  if (c == 0x130 || c == 0x131) return c;                  // İ and ı are no case pair
  // Latin Extended-A pairs capital/small on even/odd code points, with the shifted runs
  // Ĺ..ň and Ź..ž pairing odd/even; ĸ and ŉ have no partner.
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
  return c;
}

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

}  // namespace

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    char32_t ca, cb;
    size_t i0 = i, j0 = j;
    bool va = DecodeUtf8(a, i, ca);
    bool vb = DecodeUtf8(b, j, cb);
    if (va && vb) {
      if (FoldCase(ca) != FoldCase(cb)) return false;
      continue;
    }
    // An invalid byte on either side: compare one byte each.
    i = i0 + 1;
    j = j0 + 1;
    if (FoldAscii(a[i0]) != FoldAscii(b[j0])) return false;
  }
  return i == a.size() && j == b.size();
}

int FindListEntry(const std::vector<std::string>& entries, std::string_view text) {
  for (size_t k = 0; k < entries.size(); ++k) {
    if (SameTextIgnoringCase(entries[k], text)) return static_cast<int>(k);
  }
  return -1;
}
