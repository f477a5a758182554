// Port names as the MIDI back-ends report them, cut to the length a product name may have and
// kept distinct, so that a port can be found again by its name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The longest prefix of name of at most max_bytes bytes that does not split a UTF-8 character.
std::string CutUtf8(std::string_view name, size_t max_bytes);

// Cuts every name to max_bytes; a name equal to an earlier one gets " 2", " 3", ... in place of
// its last characters. Earlier ports keep their plain names, so the order of the list decides.
std::vector<std::string> DistinctPortNames(const std::vector<std::string>& names, size_t max_bytes);
