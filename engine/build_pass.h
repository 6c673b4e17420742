// The host's build call: count and collect the selection under a progress
// monitor, then recompute every pair or solve the dragged handle.
#pragma once

#include "engine/tool_state.h"
#include "host/host_abi.h"

namespace ep {

// 0 success (also after the reported selection-size and memory failures);
// kPassFailed for too few points, a user abort or a failure inside a pair
// loop; otherwise the non-zero code of a failed point scan.
int buildPass(MeshEditOp *op, StretchToolState *state);

}  // namespace ep

extern "C" {
// The binding's build slot: NULL, or "Failed" when the pass fails.
const char *toolBuild(void *instance, MeshEditOp *op);
// The point-scan callback: stores the IDs of the first pointCount selected
// points. 0 goes on; kPassFailed, the operation's user-abort code, ends the
// scan when the user aborts at the monitor.
int collectSelectedPoint(void *userData, const EDPointInfo *info);
}
