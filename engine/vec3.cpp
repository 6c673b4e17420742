#include "engine/vec3.h"

#include <cmath>

namespace ep {

double vecLength(const Vec3 &v) { return std::sqrt((v.x * v.x + v.y * v.y) + v.z * v.z); }

int vecNormalize(Vec3 &v) {
  if (isNearZero(v.x) && isNearZero(v.y) && isNearZero(v.z)) return 1;
  const double length = vecLength(v);
  v = {v.x / length, v.y / length, v.z / length};
  return 0;
}

}  // namespace ep
