// Recomputes one pair from the tool's mode, value and Symmetry.
#pragma once

#include "engine/tool_state.h"
#include "host/host_abi.h"

namespace ep {

// The factor counts as unchanged strictly inside this window.
inline constexpr double kFactorWindowLow = 0.99999999999999;
inline constexpr double kFactorWindowHigh = 1.0000000000001;
// Length of a pair's handle vector, drawn as the end marks.
inline constexpr double kHandleVectorLength = 3.0;

inline constexpr bool factorApplies(double f) { return f <= kFactorWindowLow || f >= kFactorWindowHigh; }
inline constexpr bool offsetApplies(double o) { return o <= -kEpsilonZero || o >= kEpsilonZero; }

// Where a pair's ends go under the current mode and value: `a` is the anchor
// end and `h` the handle end as read, L and u the length and unit direction of
// h - a. Values inside the factor window or near-zero offsets leave both ends
// where they are; Symmetry places the anchor from h, not from the new handle.
struct PairPlacement {
  Vec3 handle;
  Vec3 anchor;
};
PairPlacement placePair(const StretchToolState &state, const Vec3 &a, const Vec3 &h, double L, const Vec3 &u);

// Places the handle end of pair *pairIndex (and with Symmetry the anchor end),
// records both positions and the handle vector, and moves the points through
// the host. Returns 0; kPassFailed when the host cannot place one of the two
// points; or the host's code of a failed move after its error box.
// The caller guarantees a valid pair index and present, filled buffers.
int stretchPair(MeshEditOp *op, StretchToolState *state, const int *pairIndex);

}  // namespace ep
