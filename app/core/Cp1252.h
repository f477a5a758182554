// Conversion between the Windows-1252 bytes in which note names are stored and the UTF-8 text
// the window shows.
#pragma once

#include <string>
#include <string_view>

// Bytes that Windows-1252 leaves undefined (81, 8D, 8F, 90, 9D) become the code points of the
// same value, so every byte string converts back unchanged.
std::string Cp1252ToUtf8(std::string_view bytes);
// Characters that Windows-1252 cannot hold, and malformed UTF-8, become "?".
std::string Utf8ToCp1252(std::string_view text);
