// Reading point positions through the edit operation.
#pragma once

#include "engine/tool_state.h"
#include "host/host_abi.h"

namespace ep {

// Copies the position of `id` into `out` and returns true. When the host does
// not know the point (pointInfo answers NULL) it shows the scan-failure box
// and returns false: going on would read through a null record. Callers then
// end their pass with kPassFailed.
bool readPointPosition(MeshEditOp *op, LWPntID id, Vec3 &out);

// Moves `id` to `pos` through the host; returns the host's code (0 success).
int movePoint(MeshEditOp *op, LWPntID id, const Vec3 &pos);

// For a pair whose new place is not a finite position although its points (and
// the drag target) were finite: a Factor of 1e300, a drag solving a factor past
// the largest double, coordinates near it. The pair is not moved; this shows
// the out-of-range box and returns kPassFailed, which ends the pass.
int refuseOutOfRange();

}  // namespace ep
