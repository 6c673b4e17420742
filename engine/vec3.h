// Double-precision 3-vectors and the seven operations the stretch geometry
// needs. Pure: no host calls, no allocation.
#pragma once

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

// sqrt((x*x + y*y) + z*z), without overflow or underflow in the squares: a
// finite vector's length is infinite only when it is past DBL_MAX.
double vecLength(const Vec3 &v);

inline bool isFinite(const Vec3 &v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The scalar comes by address, as the engine passes it.
inline Vec3 &vecScale(const Vec3 &v, const double *s, Vec3 &r) {
  r = {*s * v.x, *s * v.y, *s * v.z};
  return r;
}

// Normalizes v in place and returns 0, or returns 1 and leaves v unchanged when
// every component is near zero. The test is on the components, not the length.
// A finite v always gives a finite unit vector.
int vecNormalize(Vec3 &v);

}  // namespace ep
