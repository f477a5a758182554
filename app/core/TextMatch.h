// Finding a list entry by its text the way the window's lists do: letter case ignored, first
// match wins. Plain functions over strings so that the window's lists stay thin.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Equal ignoring letter case: ASCII, Latin-1 (é = É) and Latin Extended-A (œ = Œ), plus ÿ = Ÿ,
// which covers every letter of Windows-1252. Texts that are not valid UTF-8 compare byte by
// byte, ignoring ASCII case only.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

// Index of the first entry equal to `text` ignoring case, -1 when none is.
int FindListEntry(const std::vector<std::string>& entries, std::string_view text);
