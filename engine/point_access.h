// Reading and moving points through the edit operation. Inline: every pair of
// every build reads two points and moves one or two.
#pragma once

#include "engine/tool_state.h"
#include "host/host_abi.h"

namespace ep {

// The host did not know a point: shows the scan-failure box.
void reportUnknownPoint();

// Copies the position of `id` into `out` and returns true. When the host does
// not know the point (pointInfo answers NULL) it shows the scan-failure box
// and returns false: going on would read through a null record. Callers then
// end their pass with kPassFailed.
inline bool readPointPosition(MeshEditOp *op, LWPntID id, Vec3 &out) {
  const EDPointInfo *info = op->pointInfo(op->state, id);
  if (info == nullptr) [[unlikely]] {
    reportUnknownPoint();
    return false;
  }
  // The record is only valid until the next call on the operation: copy now.
  out = {info->position[0], info->position[1], info->position[2]};
  return true;
}

// Moves `id` to `pos` through the host; returns the host's code (0 success).
inline int movePoint(MeshEditOp *op, LWPntID id, const Vec3 &pos) {
  const LWDVector xyz = {pos.x, pos.y, pos.z};
  return op->pntMove(op->state, id, xyz);
}

// For a pair whose new place is not a finite position although its points (and
// the drag target) were finite: a Factor of 1e300, a drag solving a factor past
// the largest double, coordinates near it. The pair is not moved; this shows
// the out-of-range box and returns kPassFailed, which ends the pass.
int refuseOutOfRange();

}  // namespace ep
