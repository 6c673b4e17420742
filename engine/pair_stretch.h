// Recomputes one pair from the tool's mode, value and Symmetry.
#pragma once

#include "engine/pass_result.h"
#include "engine/point_access.h"
#include "engine/tool_state.h"
#include "host/host_abi.h"
#include "host/services.h"

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
inline PairPlacement placePair(const StretchToolState &state, const Vec3 &a, const Vec3 &h, double L,
                               const Vec3 &u) {
  PairPlacement placed{h, a};
  // The signed distance from the anchor: f * L (L*u scaled by f) or L + o.
  Vec3 along;
  if (state.mode == static_cast<int>(Mode::Factor) && factorApplies(state.factor)) {
    Vec3 scaled;
    vecScale(vecScale(u, &L, scaled), &state.factor, along);
  } else if (state.mode == static_cast<int>(Mode::Offset) && offsetApplies(state.offset)) {
    const double length = L + state.offset;
    vecScale(u, &length, along);
  } else {
    return placed;
  }
  vecAdd(a, along, placed.handle);
  if (state.symmetry == 1) vecSub(h, along, placed.anchor);
  return placed;
}
// True when both new ends are finite: only then may a pair read at finite
// positions be moved.
inline bool placementIsFinite(const PairPlacement &placed) {
  return isFinite(placed.handle) && isFinite(placed.anchor);
}

// Places the handle end of pair *pairIndex (and with Symmetry the anchor end),
// records both positions and the handle vector, and moves the points through
// the host. Returns 0 (also for a pair with an end at a non-finite place,
// which stays); kPassFailed when the host cannot place one of the two points,
// or when a pair read at finite positions would go to a non-finite one (the
// out-of-range box; the pair stays); or the host's code of a failed move after
// its error box.
// The caller guarantees a valid pair index and present, filled buffers.
// Inline: the pair loops of the build pass and the drag solve run it for every
// pair.
inline int stretchPair(MeshEditOp *op, StretchToolState *state, const int *pairIndex) {
  const int i = *pairIndex;
  const int H = handleEndOf(*state, i);
  const int A = anchorEndOf(*state, i);

  Vec3 a, h;
  if (!readPointPosition(op, state->pointIds[A], a)) return kPassFailed;
  if (!readPointPosition(op, state->pointIds[H], h)) return kPassFailed;

  Vec3 d, u;
  vecSub(h, a, d);
  if (isDegenerate(d)) {
    state->positions[H] = h;
    state->positions[A] = a;
    state->handleVectors[i] = {0.0, 0.0, 0.0};
    return 0;
  }
  const double L = vecLength(d);  // once: the unit vector divides by it too
  vecUnit(d, L, u);

  const PairPlacement placed = placePair(*state, a, h, L, u);
  if (!placementIsFinite(placed)) {  // the pair is left where it is
    state->positions[H] = h;
    state->positions[A] = a;
    // Read at finite places, it would leave the range of a double: the box
    // says so and the pass ends. An end the host reports at a non-finite place
    // (which always gives a non-finite placement) leaves the pair no length or
    // direction: it is passed over, as a pair whose ends coincide, so that no
    // finite end goes to a non-finite place.
    if (isFinite(a) && isFinite(h)) return refuseOutOfRange();
    state->handleVectors[i] = {0.0, 0.0, 0.0};
    return 0;
  }
  state->positions[H] = placed.handle;
  state->positions[A] = placed.anchor;
  vecScale(u, &kHandleVectorLength, state->handleVectors[i]);

  int rc = movePoint(op, state->pointIds[H], state->positions[H]);
  if (rc != 0) {
    showError(texts::kMoveHandleEndTitle);
    return rc;
  }
  if (state->symmetry == 1) {
    rc = movePoint(op, state->pointIds[A], state->positions[A]);
    if (rc != 0) {
      showError(texts::kMoveAnchorEndTitle);
      return rc;
    }
  }
  return 0;
}

}  // namespace ep
