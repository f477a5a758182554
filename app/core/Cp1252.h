// Windows-1252 <-> UTF-8 for the texts the settings file keeps in that character set (the note
// names: "Ré" is the bytes 52 E9), so files written by any build of the program read back alike.
#pragma once

#include <string>
#include <string_view>

// Every byte maps to one character; the five bytes 1252 leaves undefined map to U+0081, U+008D,
// U+008F, U+0090 and U+009D, as the platform's own conversion does, so nothing is lost.
std::string Cp1252ToUtf8(std::string_view bytes);
// Characters 1252 cannot hold, and bytes that are not valid UTF-8, become "?".
std::string Utf8ToCp1252(std::string_view text);

// Decodes one UTF-8 character at text[pos]; false (and pos unchanged) for an invalid sequence.
// Overlong forms, surrogates and values above U+10FFFF are invalid.
bool DecodeUtf8(std::string_view text, size_t& pos, char32_t& out);
void AppendUtf8(std::string& out, char32_t c);
// Drops an incomplete UTF-8 sequence left at the end of a text cut to a byte length.
std::string_view WithoutPartialUtf8Tail(std::string_view text);
