#include "engine/vec3.h"

namespace ep {
namespace {

// Powers of two move a vector's squares into range exactly: with components
// at most DBL_MAX or at least the smallest denormal, the scaled squares
// neither overflow nor underflow where it matters.
constexpr double kScaleDown = 0x1p-600;
constexpr double kScaleUp = 0x1p600;

bool hasInfinity(const Vec3 &v) { return std::isinf(v.x) || std::isinf(v.y) || std::isinf(v.z); }

}  // namespace

namespace detail {

// Where the squares overflow (a component past about 1.3e154) or underflow,
// the vector is scaled by a power of two first and the length scaled back: the
// same result a wider exponent range would give, and infinite only when the
// length itself is past DBL_MAX. Non-finite input stays as it was.
double lengthOutsideSafeRange(const Vec3 &v, double sum) {
  if (std::isnan(sum) || hasInfinity(v)) return std::sqrt(sum);
  const double scale = sum > 1.0 ? kScaleDown : kScaleUp;
  const Vec3 scaled = {v.x * scale, v.y * scale, v.z * scale};
  return std::sqrt(sumOfSquares(scaled)) / scale;
}

// Finite components whose length is past DBL_MAX: divide a scaled copy.
Vec3 &unitBeyondRange(const Vec3 &v, Vec3 &r) {
  const Vec3 scaled = {v.x * kScaleDown, v.y * kScaleDown, v.z * kScaleDown};
  const double length = vecLength(scaled);
  r = {scaled.x / length, scaled.y / length, scaled.z / length};
  return r;
}

}  // namespace detail
}  // namespace ep
