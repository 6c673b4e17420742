// Double-precision 3-vectors and the seven operations the stretch geometry
// needs. Pure: no host calls, no allocation. They are inline, common paths
// and all, because every pair of every build runs through them: only the rare
// paths (lengths whose squares leave the double range) are calls.
#pragma once

#include <cfloat>
#include <cmath>

namespace ep {

struct Vec3 {
  double x, y, z;
};

// A component counts as zero strictly inside (-kEpsilonZero, kEpsilonZero).
inline constexpr double kEpsilonZero = 1e-14;

inline constexpr bool isNearZero(double v) { return v > -kEpsilonZero && v < kEpsilonZero; }

inline Vec3 &vecCopy(const Vec3 &v, Vec3 &r) {
  r = v;
  return r;
}

inline double vecDot(const Vec3 &a, const Vec3 &b) { return (a.x * b.x + a.y * b.y) + a.z * b.z; }

inline Vec3 &vecAdd(const Vec3 &a, const Vec3 &b, Vec3 &r) {
  r = {a.x + b.x, a.y + b.y, a.z + b.z};
  return r;
}

// r = a - b: the first operand minus the second.
inline Vec3 &vecSub(const Vec3 &a, const Vec3 &b, Vec3 &r) {
  r = {a.x - b.x, a.y - b.y, a.z - b.z};
  return r;
}

inline double sumOfSquares(const Vec3 &v) { return (v.x * v.x + v.y * v.y) + v.z * v.z; }

namespace detail {
// Below this the plain sum of squares may have lost bits to underflow
// (DBL_MIN * 2^53): its smallest terms could be as large as its rounding.
inline constexpr double kSmallestSafeSum = 0x1p-969;
// vecLength where the sum of squares `sum` of v is not safe (see vec3.cpp).
double lengthOutsideSafeRange(const Vec3 &v, double sum);
// r = the unit vector of a finite v whose length is past DBL_MAX.
Vec3 &unitBeyondRange(const Vec3 &v, Vec3 &r);
}  // namespace detail

// sqrt((x*x + y*y) + z*z), without overflow or underflow in the squares: a
// finite vector's length is infinite only when it is past DBL_MAX. Where the
// sum of squares is safe this is exactly the plain square root.
inline double vecLength(const Vec3 &v) {
  const double sum = sumOfSquares(v);
  if (sum >= detail::kSmallestSafeSum && sum <= DBL_MAX) return std::sqrt(sum);
  return detail::lengthOutsideSafeRange(v, sum);
}

inline bool isFinite(const Vec3 &v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Every component strictly inside (-kEpsilonZero, kEpsilonZero).
inline bool isDegenerate(const Vec3 &v) { return isNearZero(v.x) && isNearZero(v.y) && isNearZero(v.z); }

// The scalar comes by address, as the engine passes it.
inline Vec3 &vecScale(const Vec3 &v, const double *s, Vec3 &r) {
  r = {*s * v.x, *s * v.y, *s * v.z};
  return r;
}

// r = v / length: the unit vector of a v that is not degenerate, given its
// length (vecLength(v)), so a caller that needs both computes the length once.
// The same result as vecNormalize on a copy of v.
inline Vec3 &vecUnit(const Vec3 &v, double length, Vec3 &r) {
  if (std::isinf(length) && isFinite(v)) [[unlikely]]
    return detail::unitBeyondRange(v, r);
  r = {v.x / length, v.y / length, v.z / length};
  return r;
}

// Normalizes v in place and returns 0, or returns 1 and leaves v unchanged when
// every component is near zero. The test is on the components, not the length.
// A finite v always gives a finite unit vector.
inline int vecNormalize(Vec3 &v) {
  if (isDegenerate(v)) return 1;
  vecUnit(v, vecLength(v), v);
  return 0;
}

}  // namespace ep
