// Text forms of the settings file's values: integers (decimal, "0x"/"$" hexadecimal), floats in
// the user's decimal separator written in their shortest form, and the user's separator itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A decimal integer with an optional sign, or hexadecimal after "0x"/"0X" (text longer than two
// characters) or "$". Hexadecimal covers the full 32 bits, so "$FFFFFFFF" is -1. Anything else,
// including a decimal value outside 32 bits, is no integer.
std::optional<int32_t> ParseIniInteger(std::string_view text);

// A finite decimal number: optional sign, digits with at most one decimal separator, optional
// exponent ("E5", "e-3"). A "." is no separator unless `decimal_separator` is ".".
std::optional<double> ParseIniFloat(std::string_view text, std::string_view decimal_separator);

// Up to 15 significant digits, no trailing zeros: -45 -> "-45", 0.5 -> "0,5" with ",",
// 1e20 -> "1E20". Independent of the process's C locale, which the window toolkit may change.
std::string FormatIniFloat(double value, std::string_view decimal_separator);

// The decimal separator of the user's regional settings (LC_ALL, LC_NUMERIC, LANG), "." when
// the user's locale is not installed.
std::string UserDecimalSeparator();
// The same for a named locale ("fr_FR.UTF-8"); "." when it is not installed.
std::string DecimalSeparatorOfLocale(const char* locale_name);
