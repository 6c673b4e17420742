#include "engine/build_pass.h"

#include <algorithm>

#include "engine/allocation.h"
#include "engine/drag_solve.h"
#include "engine/pair_stretch.h"
#include "engine/pass_result.h"
#include "host/services.h"

namespace ep {
namespace {

// A buffer allocated here starts with defined contents (zero flags, zero
// vectors): a recompute on fresh buffers reads the inversion flags, and an
// activate event after a failed first pass lets the overlay read positions
// and handle vectors before any pass has written them.
template <typename T>
void allocateIfAbsent(T *&buffer, int count, bool &failed) {
  if (buffer != nullptr) return;
  buffer = static_cast<T *>(allocateRaw(static_cast<std::size_t>(count), sizeof(T)));
  if (buffer == nullptr) {
    failed = true;
    return;
  }
  std::fill_n(buffer, count, T{});
}

// All four buffers for the instance's point count, or none of them.
bool allocateBuffers(StretchToolState *state) {
  const int n = state->pointCount;
  bool failed = false;
  allocateIfAbsent(state->positions, n, failed);
  allocateIfAbsent(state->pointIds, n, failed);
  allocateIfAbsent(state->inverted, n / 2, failed);
  allocateIfAbsent(state->handleVectors, n / 2, failed);
  if (!failed) return true;
  releaseBuffers(*state);
  return false;
}

int recomputeEveryPair(MeshEditOp *op, StretchToolState *state) {
  const int pairs = state->pointCount / 2;
  for (int i = 0; i < pairs; ++i) {
    if (monitorAborts()) return kPassFailed;
    if (stretchPair(op, state, &i) != 0) return kPassFailed;
  }
  return 0;
}

int dispatch(MeshEditOp *op, StretchToolState *state) {
  if (state->updateAll == kUpdateAllPairs) return recomputeEveryPair(op, state);
  if (state->activeHandle == kNoHandle && state->updateAll == kUpdateResetOrDrag) {
    // A fresh stretch: every pair starts with its first point as handle end.
    const int pairs = state->pointCount / 2;
    for (int i = 0; i < pairs; ++i) {
      state->inverted[i] = 0;
      if (stretchPair(op, state, &i) != 0) return kPassFailed;
    }
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

  if (!allocateBuffers(state)) {
    showError(texts::kNoMemoryTitle, texts::kNoMemoryText);
    return 0;
  }

  const PassMonitor monitor(2u * static_cast<unsigned>(state->pointCount));

  state->scanCount = 0;
  const int scanResult = op->pointScan(op->state, collectSelectedPoint, state, OPLYR_PRIMARY);
  if (scanResult != 0) {
    showError(texts::kScanFailedTitle);
    return scanResult;
  }
  // The host delivered fewer selected points than it counted: the unfilled IDs
  // would be garbage passed back to it. Treat it as a failed scan.
  if (state->scanCount < state->pointCount) {
    showError(texts::kScanFailedTitle);
    return kPassFailed;
  }

  if (dispatch(op, state) != 0) return kPassFailed;

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
