// Numbers as text, the one way the stand-in host reads and writes them: in
// mesh files, session scripts, the panel's text, SVG pictures and the trace.
// Always the "C" conventions (a point, never a comma), whatever the locale.
//
// Two kinds of output: text a program reads back (mesh files, scripts
// printed back, the trace) is exact, the shortest form that reads back to the
// same double (formatNumber); text a person reads (the summary line, the
// panel, printed points) is rounded for reading (formatReadable), so that
// arithmetic's last-digit noise (5.499999999999999) does not show.
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

// A number for a person to read: 12 significant digits at most, without
// trailing zeros, and 0 for a negative zero ("5.5" for 5.499999999999999,
// "0.3" for 0.1 + 0.2, "1e+20"). Far more digits than a person compares, and
// far fewer than the noise of a few roundings.
std::string formatReadable(double value);

// A Factor for reading with its percentage: "1.5 (150%)"; a Factor whose
// percentage is past the largest double (after a very large drag) is shown
// without one: "1e+307".
std::string formatFactorReadable(double factor);

// A Factor as the user may write it: a number ("1.5") or a percentage
// ("150%", the same). Otherwise as parseNumber.
NumberParse parseFactor(std::string_view text, double &value);

// At most `digits` significant digits, as printf's "%.<digits>g" in the "C"
// locale ("0.10000000000000001" with 17 digits; "1.5" with 10).
std::string formatSignificant(double value, int digits);

// Exactly `decimals` digits after the point, as printf's "%.<decimals>f" in
// the "C" locale ("12.50" with 2).
std::string formatFixed(double value, int decimals);

// The same, appended to `out`; a number that rounds to zero is written
// without a sign ("0.00" for -0.004 with 2), as a mesh file would have it.
void appendFixed(std::string &out, double value, int decimals);

// A 32-bit word as eight upper-case hexadecimal digits: "0x04121994".
std::string formatHex32(std::uint32_t value);

}  // namespace standin
