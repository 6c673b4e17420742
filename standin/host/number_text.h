// Numbers as text, the one way the stand-in host reads and writes them: in
// mesh files, session scripts, the panel's text, SVG pictures and the trace.
// Always the "C" conventions (a point, never a comma), whatever the locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace standin {

enum class NumberParse {
  Ok,
  NotANumber,  // not a decimal number, or text after it
  NotFinite,   // infinity, NaN, or too large for a double
};

// Parses the whole of `text` as a decimal double ("1", "-2.5", "+3", "1e-3").
// A leading '+' is accepted; blanks, hexadecimal and partial matches are not.
// On Ok `value` holds the number; otherwise it is left unspecified.
NumberParse parseNumber(std::string_view text, double &value);

// The shortest text that reads back to the same double ("0.1", "3", "1e+300").
std::string formatNumber(double value);
// The same, appended to `out` (for writers that build one large text).
void appendNumber(std::string &out, double value);

// At most `digits` significant digits, as printf's "%.<digits>g" in the "C"
// locale ("0.10000000000000001" with 17 digits; "1.5" with 10).
std::string formatSignificant(double value, int digits);

// Exactly `decimals` digits after the point, as printf's "%.<decimals>f" in
// the "C" locale ("12.50" with 2).
std::string formatFixed(double value, int decimals);

// A 32-bit word as eight upper-case hexadecimal digits: "0x04121994".
std::string formatHex32(std::uint32_t value);

}  // namespace standin
