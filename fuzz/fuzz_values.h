// Numbers for the fuzz targets from the whole double range: mostly small
// values a user would type, which keep the tool on its usual paths, and often
// the edges (the largest and smallest doubles, denormals, -0.0, the limits
// the tool compares with), arbitrary bit patterns and, where asked for, NaN
// and the infinities.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace fuzz {

// Finite values at the edges of what the tool and the host compute with.
// clang-format off
inline constexpr double kEdgeValues[] = {
    0.0, -0.0, 1.0, -1.0, 0.5, 1.5, 3.0,
    1e-14, -1e-14, 9.9e-15, 0.99999999999999, 1.0000000000001,  // the tool's zero and factor windows
    DBL_MIN, -DBL_MIN, 4.9e-324, -4.9e-324, 1e-300,              // the smallest, denormals
    DBL_MAX, -DBL_MAX, 1e308, -1e308, 1e300, -1e300, 1e200, -1e200,
    1.3e154, -1.3e154, 1e154,                                    // where squares overflow
    21000000.0, -21000000.0, 0.1, 1e16, 0x1p53};
// clang-format on

inline double bitsToDouble(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A finite double: three times in four a small one (whole numbers and halves
// from -8 to 8), else an edge value or arbitrary bits (a non-finite pattern
// becomes the largest double of its sign).
inline double consumeFiniteDouble(FuzzedDataProvider &input) {
  const auto kind = input.ConsumeIntegral<std::uint8_t>();
  if (kind < 192) return static_cast<double>(static_cast<int>(kind % 33) - 16) / 2.0;
  if (kind < 232)
    return kEdgeValues[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kEdgeValues) - 1)];
  const double value = bitsToDouble(input.ConsumeIntegral<std::uint64_t>());
  if (std::isfinite(value)) return value;
  return std::signbit(value) ? -DBL_MAX : DBL_MAX;
}

// NaN, -NaN, +infinity or -infinity, chosen by `which` (modulo 4).
inline double nonFinite(unsigned which) {
  switch (which % 4) {
    case 0:
      return std::numeric_limits<double>::quiet_NaN();
    case 1:
      return -std::numeric_limits<double>::quiet_NaN();
    case 2:
      return HUGE_VAL;
    default:
      return -HUGE_VAL;
  }
}

// Any double: one time in sixteen NaN or an infinity, else consumeFiniteDouble.
inline double consumeAnyDouble(FuzzedDataProvider &input) {
  const auto kind = input.ConsumeIntegral<std::uint8_t>();
  if (kind >= 16) return consumeFiniteDouble(input);
  return nonFinite(kind);
}

}  // namespace fuzz
