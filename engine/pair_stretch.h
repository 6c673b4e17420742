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
// True when both new ends are finite: only then may a pair read at finite
// positions be moved.
inline bool placementIsFinite(const PairPlacement &placed) {
  return isFinite(placed.handle) && isFinite(placed.anchor);
}

// Places the handle end of pair *pairIndex (and with Symmetry the anchor end),
// records both positions and the handle vector, and moves the points through
// the host. Returns 0; kPassFailed when the host cannot place one of the two
// points, or when a pair read at finite positions would go to a non-finite
// one (the out-of-range box; the pair stays); or the host's code of a failed
// move after its error box.
// The caller guarantees a valid pair index and present, filled buffers.
int stretchPair(MeshEditOp *op, StretchToolState *state, const int *pairIndex);

}  // namespace ep
