#include "engine/vec3.h"

#include <cfloat>
#include <cmath>

namespace ep {
namespace {

// Below this the plain sum of squares may have lost bits to underflow
// (DBL_MIN * 2^53): its smallest terms could be as large as its rounding.
constexpr double kSmallestSafeSum = 0x1p-969;
// Powers of two move a vector's squares into range exactly: with components
// at most DBL_MAX or at least the smallest denormal, the scaled squares
// neither overflow nor underflow where it matters.
constexpr double kScaleDown = 0x1p-600;
constexpr double kScaleUp = 0x1p600;

double sumOfSquares(const Vec3 &v) { return (v.x * v.x + v.y * v.y) + v.z * v.z; }

bool hasInfinity(const Vec3 &v) { return std::isinf(v.x) || std::isinf(v.y) || std::isinf(v.z); }

}  // namespace

// The plain square root of the sum of squares wherever that sum is safe, so
// results there are exactly as before. Where the squares overflow (a
// component past about 1.3e154) or underflow, the vector is scaled by a power
// of two first and the length scaled back: the same result a wider exponent
// range would give, and infinite only when the length itself is past DBL_MAX.
double vecLength(const Vec3 &v) {
  const double sum = sumOfSquares(v);
  if (sum >= kSmallestSafeSum && sum <= DBL_MAX) return std::sqrt(sum);
  if (std::isnan(sum) || hasInfinity(v)) return std::sqrt(sum);  // non-finite input stays as it was
  const double scale = sum > 1.0 ? kScaleDown : kScaleUp;
  const Vec3 scaled = {v.x * scale, v.y * scale, v.z * scale};
  return std::sqrt(sumOfSquares(scaled)) / scale;
}

int vecNormalize(Vec3 &v) {
  if (isNearZero(v.x) && isNearZero(v.y) && isNearZero(v.z)) return 1;
  double length = vecLength(v);
  if (std::isinf(length) && isFinite(v)) {
    // Finite components whose length is past DBL_MAX: divide a scaled copy.
    v = {v.x * kScaleDown, v.y * kScaleDown, v.z * kScaleDown};
    length = vecLength(v);
  }
  v = {v.x / length, v.y / length, v.z / length};
  return 0;
}

}  // namespace ep
