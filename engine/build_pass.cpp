#include "engine/build_pass.h"

#include <algorithm>

#include "engine/allocation.h"
#include "engine/drag_solve.h"
#include "engine/messages.h"
#include "engine/pair_stretch.h"
#include "host/services.h"

namespace ep {

LWMonitor *currentMonitor = nullptr;

namespace {

constexpr int kFailed = 4;

// The monitor of one pass: created on construction, finished and destroyed on
// every way out, after the operation's own done.
class PassMonitor {
 public:
  explicit PassMonitor(unsigned total) {
    currentMonitor = monitorService->create(texts::kMonitorTitle, texts::kMonitorCaption);
    if (currentMonitor != nullptr) currentMonitor->init(currentMonitor->data, total);
  }
  PassMonitor(const PassMonitor &) = delete;
  PassMonitor &operator=(const PassMonitor &) = delete;
  ~PassMonitor() {
    if (currentMonitor == nullptr) return;
    LWMonitor *monitor = currentMonitor;
    currentMonitor = nullptr;
    monitor->done(monitor->data);
    monitorService->destroy(monitor);
  }
  bool aborts() const { return currentMonitor != nullptr && currentMonitor->step(currentMonitor->data, 1) != 0; }
};

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

template <typename T>
void releaseIfPresent(T *&buffer) {
  if (buffer == nullptr) return;
  release(buffer);
  buffer = nullptr;
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
  releaseIfPresent(state->positions);
  releaseIfPresent(state->pointIds);
  releaseIfPresent(state->inverted);
  releaseIfPresent(state->handleVectors);
  return false;
}

int recomputeEveryPair(MeshEditOp *op, StretchToolState *state, const PassMonitor *monitor) {
  const int pairs = state->pointCount / 2;
  for (int i = 0; i < pairs; ++i) {
    if (monitor != nullptr && monitor->aborts()) return kFailed;
    if (stretchPair(op, state, &i) != 0) return kFailed;
  }
  return 0;
}

int dispatch(MeshEditOp *op, StretchToolState *state, const PassMonitor &monitor) {
  if (state->updateAll == 1) return recomputeEveryPair(op, state, &monitor);
  if (state->activeHandle == -1 && state->updateAll == 0) {
    // A fresh stretch: every pair starts with its first point as handle end.
    const int pairs = state->pointCount / 2;
    for (int i = 0; i < pairs; ++i) {
      state->inverted[i] = 0;
      if (stretchPair(op, state, &i) != 0) return kFailed;
    }
  }
  return solveHandleDrag(op, state) != 0 ? kFailed : 0;
}

}  // namespace

int buildPass(MeshEditOp *op, StretchToolState *state) {
  int n = op->pointCount(op->state, OPLYR_PRIMARY, EDCOUNT_SELECT);
  if (n < 2) {
    showWarning(texts::kNoDataTitle, texts::kNoDataText);
    return kFailed;
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

  PassMonitor monitor(2u * static_cast<unsigned>(state->pointCount));

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
    return kFailed;
  }

  if (dispatch(op, state, monitor) != 0) return kFailed;

  op->done(op->state, EDERR_NONE, 0);
  return 0;  // the monitor closes as it goes out of scope, after done
}

}  // namespace ep

extern "C" const char *toolBuild(void *instance, MeshEditOp *op) {
  auto *state = static_cast<ep::StretchToolState *>(instance);
  if (state->active == 0) {
    state->testResult = 1;
    return nullptr;
  }
  if (ep::buildPass(op, state) != 0) {
    state->testResult = 1;
    state->drawState = -1;
    state->active = 0;
    return ep::texts::kBuildFailed;
  }
  state->testResult = 0;
  state->drawState = 1;
  return nullptr;
}

extern "C" int collectSelectedPoint(void *userData, const EDPointInfo *info) {
  auto *state = static_cast<ep::StretchToolState *>(userData);
  if (ep::currentMonitor != nullptr && ep::currentMonitor->step(ep::currentMonitor->data, 1) != 0) return 4;
  if ((info->flags & EDPF_SELECT) == 0) return 0;
  if (state->scanCount < state->pointCount) state->pointIds[state->scanCount] = info->pnt;
  ++state->scanCount;
  return 0;
}
