#include "engine/pair_stretch.h"

namespace ep {

int stretchPair(MeshEditOp *op, StretchToolState *state, const int *pairIndex) {
  const int i = *pairIndex;
  const int H = handleEndOf(*state, i);
  const int A = anchorEndOf(*state, i);
  Vec3 a, h;
  if (!readPointPosition(op, state->pointIds[A], a)) return kPassFailed;
  if (!readPointPosition(op, state->pointIds[H], h)) return kPassFailed;
  return stretchReadPair(op, state, i, H, A, a, h);
}

int stretchReadPair(MeshEditOp *op, StretchToolState *state, int i, int H, int A, const Vec3 &a,
                    const Vec3 &h) {
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
