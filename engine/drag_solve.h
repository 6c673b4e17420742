// Turns a dragged handle into a new Factor or Offset and into point moves.
#pragma once

#include "engine/tool_state.h"
#include "host/host_abi.h"

namespace ep {

// Projects positions[activeHandle] onto its pair's line, stores the solved
// value, moves the pair and, with CTRL, stretches every other pair by it. With
// no handle in range it only reads every point's position back. Returns 0;
// kPassFailed on a monitor abort, a point the host cannot place, a failed pair
// stretch, or a finite drag with no finite answer (the out-of-range box; the
// value and the dragged pair stay); or the host's code of one of its own
// failed moves, after the error box. A drag to a non-finite place, or of a
// pair with an end at one, moves nothing and changes no value: it only reads
// every point back.
int solveHandleDrag(MeshEditOp *op, StretchToolState *state);

}  // namespace ep
