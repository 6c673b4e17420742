// Recomputes pairs from the tool's mode, value and Symmetry: one pair at a
// time (stretchPair), or a whole loop of pairs with the rule read once
// (PairStretcher, used by the build pass and the drag solve).
#pragma once

#include <cstdint>

#include "engine/pass_result.h"
#include "engine/point_access.h"
#include "engine/tool_state.h"
#include "host/host_abi.h"
#include "host/services.h"

// The per-pair stretch is forced inline into its loops, except where gcc
// counts coverage: there every inlined copy would carry counters of its own
// for the same lines.
#ifdef EP_COVERAGE_COUNTERS
#define EP_PAIR_STRETCH_INLINE inline
#else
#define EP_PAIR_STRETCH_INLINE [[gnu::always_inline]] inline
#endif

namespace ep {

// The factor counts as unchanged strictly inside this window.
inline constexpr double kFactorWindowLow = 0.99999999999999;
inline constexpr double kFactorWindowHigh = 1.0000000000001;
// Length of a pair's handle vector, drawn as the end marks.
inline constexpr double kHandleVectorLength = 3.0;

inline constexpr bool factorApplies(double f) { return f <= kFactorWindowLow || f >= kFactorWindowHigh; }
inline constexpr bool offsetApplies(double o) { return o <= -kEpsilonZero || o >= kEpsilonZero; }

// How every pair of one pass is placed: decided once from mode and value.
enum class Placement : std::int32_t {
  Stay,    // a value inside the factor window, a near-zero offset, an unknown mode
  Factor,  // the handle end at factor times the length from the anchor end
  Offset,  // the handle end at the length plus the offset from the anchor end
};
inline Placement placementOf(const StretchToolState &state) {
  if (state.mode == static_cast<int>(Mode::Factor) && factorApplies(state.factor)) return Placement::Factor;
  if (state.mode == static_cast<int>(Mode::Offset) && offsetApplies(state.offset)) return Placement::Offset;
  return Placement::Stay;
}

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
  const Placement placement = placementOf(state);
  if (placement == Placement::Stay) return placed;
  Vec3 along;
  if (placement == Placement::Factor) {
    Vec3 scaled;
    vecScale(vecScale(u, &L, scaled), &state.factor, along);
  } else {
    const double length = L + state.offset;
    vecScale(u, &length, along);
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
int stretchPair(MeshEditOp *op, StretchToolState *state, const int *pairIndex);

// stretchPair after its two reads: pair i with handle end H at h and anchor
// end A at a, as the host reported them.
int stretchReadPair(MeshEditOp *op, StretchToolState *state, int i, int H, int A, const Vec3 &a,
                    const Vec3 &h);

// One loop over pairs, each stretched as stretchPair does, bit for bit and
// with the same host calls, but with what every pair shares taken out of the
// loop: the placement, the value, Symmetry and the buffers. A pair the plain
// arithmetic cannot place (ends that coincide, a length whose square leaves
// the double range, a place past the largest double) goes to stretchReadPair.
//
// The rule of a pass, when it is one of the common ones: Factor without
// Symmetry (most builds), Factor with Symmetry, or any other (General: read
// from the state, a branch a pair).
enum class PassRule { Factor, FactorSymmetric, General };
inline PassRule passRuleOf(const StretchToolState &state) {
  if (placementOf(state) != Placement::Factor) return PassRule::General;
  return state.symmetry == 1 ? PassRule::FactorSymmetric : PassRule::Factor;
}

// Each of the common rules is compiled on its own, with no branch for the
// rest. The rule is read when the object is made: make it after whatever sets
// mode, value or Symmetry (the drag solve's solved value).
template <PassRule Rule>
class PairStretcher {
 public:
  PairStretcher(MeshEditOp *op, StretchToolState *state)
      : op_(op),
        state_(state),
        ids_(state->pointIds),
        positions_(state->positions),
        handleVectors_(state->handleVectors),
        inverted_(state->inverted),
        placement_(placementOf(*state)),
        value_(placement_ == Placement::Offset ? state->offset : state->factor),
        symmetric_(state->symmetry == 1) {}

  // Stretches pair i, as stretchPair. With `fresh` the pair's entries were
  // never written: its inversion flag is cleared first, and every way out
  // leaves its entries as a stretch of zeroed entries would. Inlined into
  // every loop: as a call of its own it costs a fifth more instructions a pair.
  EP_PAIR_STRETCH_INLINE int stretch(int i, bool fresh) {
    int H, A;
    if (fresh) {
      inverted_[i] = 0;
      H = 2 * i;
      A = H + 1;
    } else {
      const int odd = inverted_[i] != 0 ? 1 : 0;
      H = 2 * i + odd;
      A = 2 * i + 1 - odd;
    }
    Vec3 a, h;
    if (!readPointPosition(op_, ids_[A], a) || !readPointPosition(op_, ids_[H], h)) {
      if (fresh) clearPair(i);
      return kPassFailed;
    }
    const Vec3 d = {h.x - a.x, h.y - a.y, h.z - a.z};
    const double sum = sumOfSquares(d);
    // A sum in the safe range means a finite d, so finite ends, and a length
    // that is the plain square root (see vecLength).
    if (isDegenerate(d) || !(sum >= detail::kSmallestSafeSum && sum <= DBL_MAX)) [[unlikely]]
      return unusual(i, H, A, a, h, fresh);
    const double L = std::sqrt(sum);
    const Vec3 u = {d.x / L, d.y / L, d.z / L};

    Vec3 handle = h, anchor = a;
    if (kFactor || placement_ != Placement::Stay) {
      // f * (L * u), or (L + o) * u: the order vecScale gives. The general
      // rule is never Factor, so a pair it places is placed by Offset.
      Vec3 along;
      if constexpr (kFactor)
        along = {value_ * (L * u.x), value_ * (L * u.y), value_ * (L * u.z)};
      else
        along = {(L + value_) * u.x, (L + value_) * u.y, (L + value_) * u.z};
      handle = {a.x + along.x, a.y + along.y, a.z + along.z};
      if (symmetric()) anchor = {h.x - along.x, h.y - along.y, h.z - along.z};
      // p - p is 0 for a finite p and NaN otherwise, and a sum of the new
      // coordinates is finite only if every one is: one test for all three
      // (or six). A sum of finite coordinates that overflows only sends the
      // pair the slow way, which places it the same. The ends as read are
      // finite.
      double placed = handle.x + handle.y + handle.z;
      if (symmetric()) placed += anchor.x + anchor.y + anchor.z;
      if (placed - placed != 0.0) [[unlikely]]
        return unusual(i, H, A, a, h, fresh);
    }
    positions_[H] = handle;
    positions_[A] = anchor;
    handleVectors_[i] = {kHandleVectorLength * u.x, kHandleVectorLength * u.y, kHandleVectorLength * u.z};

    if (const int rc = movePoint(op_, ids_[H], handle); rc != 0) [[unlikely]]
      return moveFailed(texts::kMoveHandleEndTitle, rc);
    if (symmetric()) {
      if (const int rc = movePoint(op_, ids_[A], anchor); rc != 0) [[unlikely]]
        return moveFailed(texts::kMoveAnchorEndTitle, rc);
    }
    return 0;
  }

 private:
  // Factor placement known from the rule; Symmetry from the rule or the state.
  static constexpr bool kFactor = Rule != PassRule::General;
  bool symmetric() const { return Rule == PassRule::FactorSymmetric || (Rule == PassRule::General && symmetric_); }

  void clearPair(int i) {
    positions_[2 * i] = {};
    positions_[2 * i + 1] = {};
    handleVectors_[i] = {};
  }
  int unusual(int i, int H, int A, const Vec3 &a, const Vec3 &h, bool fresh) {
    if (fresh) clearPair(i);
    return stretchReadPair(op_, state_, i, H, A, a, h);
  }
  static int moveFailed(const char *title, int rc) {
    showError(title);
    return rc;
  }

  MeshEditOp *op_;
  StretchToolState *state_;
  LWPntID *ids_;
  Vec3 *positions_;
  Vec3 *handleVectors_;
  std::int32_t *inverted_;
  Placement placement_;
  double value_;
  bool symmetric_;
};

// Calls body(stretcher) with the stretcher compiled for the state's rule.
template <typename Body>
inline int withPairStretcher(MeshEditOp *op, StretchToolState *state, Body &&body) {
  const PassRule rule = passRuleOf(*state);
  if (rule == PassRule::Factor) {
    PairStretcher<PassRule::Factor> stretcher(op, state);
    return body(stretcher);
  }
  if (rule == PassRule::FactorSymmetric) {
    PairStretcher<PassRule::FactorSymmetric> stretcher(op, state);
    return body(stretcher);
  }
  PairStretcher<PassRule::General> stretcher(op, state);
  return body(stretcher);
}

}  // namespace ep
