#include "engine/drag_solve.h"

#include <cmath>

#include "engine/pair_stretch.h"
#include "engine/pass_result.h"
#include "engine/point_access.h"
#include "host/services.h"

namespace ep {
namespace {

// Re-reads every point but `skip` into positions (skip -1: every point).
bool refreshPositions(MeshEditOp *op, StretchToolState *state, int skip) {
  for (int j = 0; j < state->pointCount; ++j) {
    if (j == skip) continue;
    if (!readPointPosition(op, state->pointIds[j], state->positions[j])) return false;
  }
  return true;
}

// The dragged pair's two points were at the same place: the drag itself gives
// the direction, the dragged point follows the mouse exactly and, with CTRL,
// every other pair is carried along by the drag vector. b and c are the
// partner and the dragged point as read; they and the drag target are finite.
int solveZeroLength(MeshEditOp *op, StretchToolState *state, int k, int p, const Vec3 &b, const Vec3 &c) {
  const Vec3 q = state->positions[k];
  Vec3 w, u;
  vecSub(q, b, w);
  if (!isFinite(w)) {  // the drag vector itself is past the largest double
    state->positions[k] = c;
    return refuseOutOfRange();
  }
  if (isDegenerate(w)) {
    state->handleVectors[p] = {0.0, 0.0, 0.0};
    return 0;
  }
  const double L = vecLength(w);
  vecUnit(w, L, u);

  state->factor = 1.0;
  state->offset = 0.0;
  Vec3 handleVector;
  vecScale(u, &kHandleVectorLength, handleVector);
  state->handleVectors[p] = handleVector;
  if (int rc = movePoint(op, state->pointIds[k], state->positions[k]); rc != 0) {
    showError(texts::kDragZeroLengthTitle);
    return rc;
  }

  if (state->allHandles != 1) return 0;
  Vec3 carry;
  vecScale(u, &L, carry);
  const int pairs = state->pointCount / 2;
  for (int j = 0; j < pairs; ++j) {
    if (monitorAborts()) return kPassFailed;
    if (j == p) continue;
    const int H = handleEndOf(*state, j);
    const int A = anchorEndOf(*state, j);
    state->handleVectors[j] = handleVector;
    if (!readPointPosition(op, state->pointIds[A], state->positions[A])) return kPassFailed;
    Vec3 h;
    if (!readPointPosition(op, state->pointIds[H], h)) return kPassFailed;
    if (!isFinite(h) || !isFinite(state->positions[A])) {
      // An end the host reports at a non-finite place: the pair is passed
      // over, as a stretch passes it over.
      state->positions[H] = h;
      state->handleVectors[j] = {0.0, 0.0, 0.0};
      continue;
    }
    vecAdd(h, carry, state->positions[H]);
    if (!isFinite(state->positions[H])) {
      state->positions[H] = h;  // left where it is
      return refuseOutOfRange();
    }
    if (int rc = movePoint(op, state->pointIds[H], state->positions[H]); rc != 0) {
      showError(texts::kCarryHandleEndTitle);
      return rc;
    }
    if (int rc = movePoint(op, state->pointIds[A], state->positions[A]); rc != 0) {
      showError(texts::kCarryAnchorEndTitle);
      return rc;
    }
  }
  return 0;
}

}  // namespace

int solveHandleDrag(MeshEditOp *op, StretchToolState *state) {
  const int k = state->activeHandle;
  const int n = state->pointCount;
  if (k < 0 || k >= n) return refreshPositions(op, state, -1) ? 0 : kPassFailed;

  if (state->allHandles == 0 && !refreshPositions(op, state, k)) return kPassFailed;

  const int p = k / 2;
  const int B = (k % 2 == 1) ? k - 1 : k + 1;  // the partner, by parity alone
  Vec3 b, c;
  if (!readPointPosition(op, state->pointIds[B], b)) return kPassFailed;
  if (!readPointPosition(op, state->pointIds[k], c)) return kPassFailed;
  const Vec3 q = state->positions[k];
  // A drag with no place to go: the host's mouse position is not finite, or
  // it reports an end of the pair at a non-finite place. Nothing moves and no
  // value changes (a NaN would show in the panel); every point is read back,
  // as when no handle is active.
  if (!isFinite(q) || !isFinite(b) || !isFinite(c)) return refreshPositions(op, state, -1) ? 0 : kPassFailed;

  Vec3 d, u;
  vecSub(c, b, d);
  if (isDegenerate(d)) return solveZeroLength(op, state, k, p, b, c);
  const double L = vecLength(d);
  vecUnit(d, L, u);

  // Solve the value from the drag's projection onto the pair's line.
  Vec3 e, v;
  vecSub(q, b, e);
  const bool isFactorMode = state->mode == static_cast<int>(Mode::Factor);
  const bool isOffsetMode = state->mode == static_cast<int>(Mode::Offset);
  const double previousFactor = state->factor;
  const double previousOffset = state->offset;
  if (isDegenerate(e)) {  // dragged onto the partner
    if (isFactorMode) state->factor = 0.0;
    if (isOffsetMode) state->offset = 0 - L;
  } else {
    const double M = vecLength(e);
    vecUnit(e, M, v);
    const double s = M * vecDot(u, v);
    if (isFactorMode) state->factor = s / L;
    if (isOffsetMode) state->offset = s - L;
  }

  const PairPlacement placed = placePair(*state, b, c, L, u);
  const double solved = isFactorMode ? state->factor : isOffsetMode ? state->offset : 0.0;
  if (!std::isfinite(solved) || !placementIsFinite(placed)) {
    // No finite answer to a finite drag: the value and the pair stay.
    state->factor = previousFactor;
    state->offset = previousOffset;
    state->positions[k] = c;
    state->positions[B] = b;
    return refuseOutOfRange();
  }
  state->positions[k] = placed.handle;
  state->positions[B] = placed.anchor;
  vecScale(u, &kHandleVectorLength, state->handleVectors[p]);

  if (int rc = movePoint(op, state->pointIds[k], state->positions[k]); rc != 0) {
    showError(texts::kDragPointTitle);
    return rc;
  }
  if (state->symmetry == 1) {
    if (int rc = movePoint(op, state->pointIds[B], state->positions[B]); rc != 0) {
      showError(texts::kDragPartnerTitle);
      return rc;
    }
  }

  if (state->allHandles != 1) return 0;
  // Every other pair takes the solved value.
  const int pairs = n / 2;
  return withPairStretcher(op, state, [&](auto &stretcher) {
    for (int j = 0; j < pairs; ++j) {
      if (monitorAborts()) return kPassFailed;
      if (j != p && stretcher.stretch(j, false) != 0) return kPassFailed;
    }
    return 0;
  });
}

}  // namespace ep
