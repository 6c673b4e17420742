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

}  // namespace ep
