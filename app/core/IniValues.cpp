#include "IniValues.h"

#include <langinfo.h>
#include <locale.h>

#include <charconv>
#include <cmath>

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::optional<int32_t> ParseHex(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (ec != std::errc() || end != digits.data() + digits.size() || value > 0xFFFFFFFFu) {
    return std::nullopt;
  }
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

}  // namespace

std::optional<int32_t> ParseIniInteger(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return ParseHex(text.substr(2));
  }
  if (!text.empty() && text[0] == '$') return ParseHex(text.substr(1));

  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // from_chars would take a second sign; digits only from here.
  if (text.empty() || !IsDigit(text[0])) return std::nullopt;
  uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, 10);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (negative ? magnitude > 2147483648u : magnitude > 2147483647u) return std::nullopt;
  int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return static_cast<int32_t>(value);
}

std::optional<double> ParseIniFloat(std::string_view text, std::string_view decimal_separator) {
  // Rewritten with "." so that from_chars, which knows no locale, can read it.
  std::string plain;
  size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    if (text[i] == '-') plain += '-';
    ++i;
  }
  size_t mantissa_digits = 0;
  auto take_digits = [&](size_t& count) {
    while (i < text.size() && IsDigit(text[i])) {
      plain += text[i++];
      ++count;
    }
  };
  take_digits(mantissa_digits);
  if (!decimal_separator.empty() && text.substr(i).starts_with(decimal_separator)) {
    plain += '.';
    i += decimal_separator.size();
    take_digits(mantissa_digits);
  }
  if (mantissa_digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) plain += text[i++];
    size_t exponent_digits = 0;
    take_digits(exponent_digits);
    if (exponent_digits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;

  double value = 0;
  auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (ec != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::string FormatIniFloat(double value, std::string_view decimal_separator) {
  if (value == 0) value = 0;  // no "-0"
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  if (ec != std::errc()) return "0";
  std::string_view general(buf, end - buf);

  std::string out;
  std::string_view exponent;
  if (size_t e = general.find('e'); e != std::string_view::npos) {
    exponent = general.substr(e + 1);
    general = general.substr(0, e);
  }
  for (char c : general) {
    if (c == '.') {
      out += decimal_separator;
    } else {
      out += c;
    }
  }
  if (!exponent.empty()) {
    // "e+05" -> "E5", "e-05" -> "E-5".
    out += 'E';
    if (exponent[0] == '-') out += '-';
    if (exponent[0] == '-' || exponent[0] == '+') exponent.remove_prefix(1);
    while (exponent.size() > 1 && exponent[0] == '0') exponent.remove_prefix(1);
    out += exponent;
  }
  return out;
}

std::string DecimalSeparatorOfLocale(const char* locale_name) {
  locale_t loc = newlocale(LC_NUMERIC_MASK, locale_name, static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return ".";
  std::string separator = nl_langinfo_l(RADIXCHAR, loc);
  freelocale(loc);
  return separator.empty() ? "." : separator;
}

std::string UserDecimalSeparator() {
  return DecimalSeparatorOfLocale("");
}
