// Whether two session commands are the same: every field the parser fills,
// the line number aside, doubles compared bit for bit.
#pragma once

#include <cstddef>
#include <cstring>

#include "standin/session/command.h"

namespace fuzz {

inline bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool sameCommand(const standin::Command &a, const standin::Command &b) {
  for (std::size_t axis = 0; axis < 3; ++axis)
    if (!sameBits(a.position[axis], b.position[axis])) return false;
  return a.op == b.op && a.atPoint == b.atPoint && a.point == b.point && a.ctrl == b.ctrl &&
         a.right == b.right && a.code == b.code && sameBits(a.value, b.value) && a.view == b.view &&
         a.zoom == b.zoom && a.text == b.text && a.grab == b.grab && a.handle == b.handle &&
         a.preset == b.preset;
}

}  // namespace fuzz
