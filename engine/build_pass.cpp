#include "engine/build_pass.h"

#include "engine/allocation.h"
#include "engine/drag_solve.h"
#include "engine/pair_stretch.h"
#include "engine/pass_result.h"
#include "host/services.h"

namespace ep {
namespace {

// Every buffer entry reads as zero (zero flags and vectors, null IDs: zero
// bytes all) until a pass writes it: a recompute on fresh buffers reads the
// inversion flags, and an activate event after a failed first pass lets the
// overlay read positions and handle vectors no pass has written.
//
// Buffers allocated together by this pass ("fresh") come from the heap
// unfilled, and the pass clears what it does not write: a fresh stretch, the
// usual first build, clears each pair's entries just before it stretches the
// pair, while they are in the cache anyway, instead of a separate pass over 46
// bytes a point beforehand; every other way through the pass clears the rest
// where it leaves it. A buffer allocated beside ones that were kept (which a
// pass never leaves) is filled at once.
template <typename T>
void allocateIfAbsent(T *&buffer, int count, bool zeroFilled, bool &failed) {
  if (buffer != nullptr) return;
  const auto n = static_cast<std::size_t>(count);
  buffer = static_cast<T *>(zeroFilled ? allocateZeroed(n, sizeof(T)) : allocateRaw(n, sizeof(T)));
  if (buffer == nullptr) failed = true;
}

// All four buffers for the instance's point count, or none of them. `fresh`
// tells whether all four were allocated now, unfilled.
bool allocateBuffers(StretchToolState *state, bool &fresh) {
  const int n = state->pointCount;
  const bool noneKept = state->positions == nullptr && state->pointIds == nullptr &&
                        state->inverted == nullptr && state->handleVectors == nullptr;
  bool failed = false;
  allocateIfAbsent(state->positions, n, !noneKept, failed);
  allocateIfAbsent(state->pointIds, n, !noneKept, failed);
  allocateIfAbsent(state->inverted, n / 2, !noneKept, failed);
  allocateIfAbsent(state->handleVectors, n / 2, !noneKept, failed);
  fresh = noneKept && !failed;
  if (!failed) return true;
  releaseBuffers(*state);
  return false;
}

// Clears the entries of pairs `from` onward (both points' positions, the
// inversion flag, the handle vector).
void clearPairsFrom(StretchToolState *state, int from) {
  const int pairs = state->pointCount / 2;
  for (int i = from; i < pairs; ++i) {
    state->positions[2 * i] = {};
    state->positions[2 * i + 1] = {};
    state->inverted[i] = 0;
    state->handleVectors[i] = {};
  }
}

// Clears the IDs the scan did not store.
void clearUnscannedIds(StretchToolState *state) {
  for (int j = state->scanCount < 0 ? 0 : state->scanCount; j < state->pointCount; ++j)
    state->pointIds[j] = nullptr;
}

// How a loop over every pair runs: on `fresh` buffers (allocated unfilled by
// this pass) or kept ones, with a monitor step before each pair (a recompute)
// or without (a reset). The common loops are compiled for their flags, so no
// pair tests them; where gcc counts coverage one loop reads them at run time
// (every compiled copy would carry counters of its own for the same lines).
template <bool Fresh, bool StepMonitor>
struct FixedLoopFlags {
  static constexpr bool fresh = Fresh;
  static constexpr bool stepMonitor = StepMonitor;
};
struct LoopFlags {
  bool fresh;
  bool stepMonitor;
};

// Every pair stretched: a recompute steps the monitor before each pair; a
// reset clears every inversion flag (`fresh` buffers read as all clear). On
// fresh buffers each pair's entries are written as it is stretched, and those
// of the pairs a failure leaves unreached are cleared then. The stretcher is
// the loop's own copy: no host call can reach it, so its fields are not read
// again through a pointer after every call.
template <typename Flags, typename Stretcher>
int stretchPairs(Stretcher stretcher, StretchToolState *state, int pairs, Flags flags) {
  for (int i = 0; i < pairs; ++i) {
    if (flags.stepMonitor && monitorAborts()) {
      if (flags.fresh) clearPairsFrom(state, i);
      return kPassFailed;
    }
    if (flags.fresh) {
      if (stretcher.stretch(i, true) == 0) continue;
      clearPairsFrom(state, i + 1);
      return kPassFailed;
    }
    if (!flags.stepMonitor) state->inverted[i] = 0;
    if (stretcher.stretch(i, false) != 0) return kPassFailed;
  }
  return 0;
}

int stretchEveryPair(MeshEditOp *op, StretchToolState *state, bool fresh, bool stepMonitor) {
  const int pairs = state->pointCount / 2;
  return withPairStretcher(op, state, [&](const auto &stretcher) {
#ifdef EP_COVERAGE_COUNTERS
    return stretchPairs(stretcher, state, pairs, LoopFlags{fresh, stepMonitor});
#else
    if (fresh) {
      return stepMonitor ? stretchPairs(stretcher, state, pairs, FixedLoopFlags<true, true>{})
                         : stretchPairs(stretcher, state, pairs, FixedLoopFlags<true, false>{});
    }
    return stepMonitor ? stretchPairs(stretcher, state, pairs, FixedLoopFlags<false, true>{})
                       : stretchPairs(stretcher, state, pairs, FixedLoopFlags<false, false>{});
#endif
  });
}

// `fresh`: the buffers were allocated unfilled by this pass.
int dispatch(MeshEditOp *op, StretchToolState *state, bool fresh) {
  if (state->updateAll == kUpdateAllPairs) return stretchEveryPair(op, state, fresh, true);
  if (state->updateAll == kUpdateResetOrDrag && state->activeHandle == kNoHandle) {
    // A fresh stretch: every pair starts with its first point as handle end.
    if (stretchEveryPair(op, state, fresh, false) != 0) return kPassFailed;
  } else if (fresh) {
    clearPairsFrom(state, 0);
  }
  return solveHandleDrag(op, state) != 0 ? kPassFailed : 0;
}

}  // namespace

int buildPass(MeshEditOp *op, StretchToolState *state) {
  int n = op->pointCount(op->state, OPLYR_PRIMARY, EDCOUNT_SELECT);
  if (n < 2) {
    showWarning(texts::kNoDataTitle, texts::kNoDataText);
    return kPassFailed;
  }
  if (n % 2 != 0) n -= 1;  // the last selected point the scan delivers is left out

  if (state->pointCount != 0 && state->pointCount != n) {
    showError(texts::kSelectionChangedTitle);
    return 0;
  }
  state->pointCount = n;

  bool fresh = false;
  if (!allocateBuffers(state, fresh)) {
    showError(texts::kNoMemoryTitle, texts::kNoMemoryText);
    return 0;
  }

  const PassMonitor monitor(2u * static_cast<unsigned>(state->pointCount));

  state->scanCount = 0;
  const int scanResult = op->pointScan(op->state, collectSelectedPoint, state, OPLYR_PRIMARY);
  if (fresh) clearUnscannedIds(state);
  if (scanResult != 0) {
    if (fresh) clearPairsFrom(state, 0);
    showError(texts::kScanFailedTitle);
    return scanResult;
  }
  // The host delivered fewer selected points than it counted: the unfilled IDs
  // would be garbage passed back to it. Treat it as a failed scan.
  if (state->scanCount < state->pointCount) {
    if (fresh) clearPairsFrom(state, 0);
    showError(texts::kScanFailedTitle);
    return kPassFailed;
  }

  if (dispatch(op, state, fresh) != 0) return kPassFailed;

  op->done(op->state, EDERR_NONE, 0);
  return 0;  // the monitor closes as it goes out of scope, after done
}

}  // namespace ep

extern "C" const char *toolBuild(void *instance, MeshEditOp *op) {
  auto *state = static_cast<ep::StretchToolState *>(instance);
  if (state->active == 0) {
    state->testResult = LWT_TEST_UPDATE;
    return nullptr;
  }
  if (ep::buildPass(op, state) != 0) {
    state->testResult = LWT_TEST_UPDATE;
    state->drawState = ep::kDrawNothing;
    state->active = 0;
    return ep::texts::kBuildFailed;
  }
  state->testResult = LWT_TEST_NOTHING;
  state->drawState = ep::kDrawRedraw;
  return nullptr;
}

extern "C" int collectSelectedPoint(void *userData, const EDPointInfo *info) {
  auto *state = static_cast<ep::StretchToolState *>(userData);
  if (ep::monitorAborts()) return ep::kPassFailed;
  if ((info->flags & EDPF_SELECT) == 0) return 0;
  if (state->scanCount < state->pointCount) state->pointIds[state->scanCount] = info->pnt;
  ++state->scanCount;
  return 0;
}
