#include "engine/pair_stretch.h"

#include "engine/pass_result.h"
#include "engine/point_access.h"
#include "host/services.h"

namespace ep {

PairPlacement placePair(const StretchToolState &state, const Vec3 &a, const Vec3 &h, double L, const Vec3 &u) {
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

int stretchPair(MeshEditOp *op, StretchToolState *state, const int *pairIndex) {
  const int i = *pairIndex;
  const int H = handleEndOf(*state, i);
  const int A = anchorEndOf(*state, i);

  Vec3 a, h;
  if (!readPointPosition(op, state->pointIds[A], a)) return kPassFailed;
  if (!readPointPosition(op, state->pointIds[H], h)) return kPassFailed;

  Vec3 d, u;
  vecSub(h, a, d);
  const double L = vecLength(d);
  vecCopy(d, u);
  if (vecNormalize(u) == 1) {
    state->positions[H] = h;
    state->positions[A] = a;
    state->handleVectors[i] = {0.0, 0.0, 0.0};
    return 0;
  }

  const PairPlacement placed = placePair(*state, a, h, L, u);
  if (isFinite(a) && isFinite(h) && !placementIsFinite(placed)) {
    state->positions[H] = h;  // left where it is
    state->positions[A] = a;
    return refuseOutOfRange();
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
