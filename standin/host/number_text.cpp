#include "standin/host/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace standin {

namespace {

// Room for any double in any of the formats below: the longest fixed form of
// a double is about 310 digits before the point.
constexpr int kBufferSize = 400;

template <typename... Format>
std::string format(double value, Format... format) {
  char buffer[kBufferSize];
  const auto [end, ec] = std::to_chars(buffer, buffer + kBufferSize, value, format...);
  if (ec != std::errc()) return "?";  // cannot happen with this buffer size
  return std::string(buffer, end);
}

}  // namespace

NumberParse parseNumber(std::string_view text, double &value) {
  if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
  const char *first = text.data();
  const char *last = first + text.size();
  const auto [end, ec] = std::from_chars(first, last, value);
  // Out of range means beyond what a double holds (value is then untouched).
  if (ec == std::errc::result_out_of_range) return NumberParse::NotFinite;
  if (ec != std::errc() || end != last) return NumberParse::NotANumber;
  if (!std::isfinite(value)) return NumberParse::NotFinite;
  return NumberParse::Ok;
}

std::string formatNumber(double value) { return format(value); }

void appendNumber(std::string &out, double value) {
  char buffer[kBufferSize];
  const auto [end, ec] = std::to_chars(buffer, buffer + kBufferSize, value);
  // A pointer and a length: the two-iterator append takes a slower path.
  out.append(buffer, ec == std::errc() ? static_cast<std::size_t>(end - buffer) : 0);
}

std::string formatFactorReadable(double factor) {
  const double percent = factor * 100.0;
  if (!std::isfinite(percent) && std::isfinite(factor)) return formatReadable(factor);
  return formatReadable(factor) + " (" + formatReadable(percent) + "%)";
}

std::string formatReadable(double value) {
  constexpr int kReadableDigits = 12;
  std::string text = formatSignificant(value, kReadableDigits);
  return text == "-0" ? "0" : text;
}

NumberParse parseFactor(std::string_view text, double &value) {
  const bool percent = !text.empty() && text.back() == '%';
  if (percent) text.remove_suffix(1);
  const NumberParse result = parseNumber(text, value);
  if (result == NumberParse::Ok && percent) value /= 100.0;
  return result;
}

std::string formatSignificant(double value, int digits) {
  return format(value, std::chars_format::general, digits);
}

std::string formatFixed(double value, int decimals) {
  return format(value, std::chars_format::fixed, decimals);
}

void appendFixed(std::string &out, double value, int decimals) {
  char buffer[kBufferSize];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + kBufferSize, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return;  // cannot happen for the decimals the program allows
  const char *first = buffer;
  const auto zero = [](char c) { return c == '0' || c == '.'; };
  if (*first == '-' && std::all_of(first + 1, static_cast<const char *>(end), zero)) ++first;
  out.append(first, static_cast<std::size_t>(end - first));
}

std::string formatHex32(std::uint32_t value) {
  char digits[8];
  const auto [end, ec] = std::to_chars(digits, digits + 8, value, 16);
  std::string text(digits, ec == std::errc() ? end : digits);
  for (char &c : text) c = c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c;
  return "0x" + std::string(8 - text.size(), '0') + text;
}

}  // namespace standin
