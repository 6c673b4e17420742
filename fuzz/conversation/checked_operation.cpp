#include "fuzz/conversation/checked_operation.h"

#include <algorithm>
#include <cmath>

#include "fuzz/conversation/planted_fault.h"
#include "fuzz/invariant.h"

namespace fuzz {

struct OperationCalls {
  static CheckedOperation &self(void *state) { return *static_cast<CheckedOperation *>(state); }

  static void done(void *state, int error, int selm) {
    CheckedOperation &op = self(state);
    op.checkOpen("done");
    op.doneCalled_ = true;
    op.operation_.done(error, selm);
  }

  static int pointCount(void *state, int layer, int mode) {
    CheckedOperation &op = self(state);
    op.checkOpen("pointCount");
    int count = op.operation_.pointCount(layer, mode);
    if (layer == OPLYR_PRIMARY && mode == EDCOUNT_SELECT) {
      count += op.countError_;
      op.counted_ = count;
    }
    return count;
  }

  // Between the host's scan and the module's callback: notes each selected
  // point delivered.
  static int scanned(void *userData, const EDPointInfo *info) {
    CheckedOperation &op = self(userData);
    if ((info->flags & EDPF_SELECT) != 0) op.selectedDelivered_.push_back(info->pnt);
    return op.moduleScan_(op.moduleScanData_, info);
  }

  static int pointScan(void *state, EDPointScanFunc scan, void *userData, int layer) {
    CheckedOperation &op = self(state);
    op.checkOpen("pointScan");
    if (scan == nullptr) violated("pointScan without a callback");
    op.moduleScan_ = scan;
    op.moduleScanData_ = userData;
    op.selectedDelivered_.clear();
    return op.operation_.pointScan(scanned, &op, layer);
  }

  static EDPointInfo *pointInfo(void *state, LWPntID point) {
    CheckedOperation &op = self(state);
    op.checkUsable("pointInfo", point);
    return op.operation_.pointInfo(point);
  }

  static int pntMove(void *state, LWPntID point, const LWDVector pos) {
    CheckedOperation &op = self(state);
    op.checkUsable("pntMove", point);
    if (pos == nullptr) violated("pntMove without a position");
    std::array<double, 3> position = {pos[0], pos[1], pos[2]};
    applyPlantedFault(op.instance_, point, position.data());
    pos = position.data();
    if (op.finiteInputs_ && !(std::isfinite(pos[0]) && std::isfinite(pos[1]) && std::isfinite(pos[2])))
      violated("pntMove(%p) to (%g, %g, %g) although every input was finite", point, pos[0], pos[1], pos[2]);
    op.moved_.push_back(point);
    const int result = op.operation_.pntMove(point, pos);
    op.moves_.push_back(MoveCall{point, position, result});
    return result;
  }
};

CheckedOperation::CheckedOperation(standin::EditOperation &operation, int countError, bool finiteInputs,
                                   const void *instance)
    : operation_(operation),
      op_{this,
          OperationCalls::done,
          OperationCalls::pointCount,
          OperationCalls::pointScan,
          OperationCalls::pointInfo,
          OperationCalls::pntMove},
      countError_(countError),
      finiteInputs_(finiteInputs),
      instance_(instance) {}

void CheckedOperation::checkOpen(const char *call) {
  ++calls_;
  if (buildReturned_) violated("%s called on an operation whose build has returned", call);
  if (doneCalled_) violated("%s called on an operation after its done", call);
}

void CheckedOperation::checkUsable(const char *call, LWPntID point) {
  checkOpen(call);
  const std::size_t used =
      std::min(selectedDelivered_.size(), static_cast<std::size_t>(std::max(counted_, 0) / 2 * 2));
  const auto last = selectedDelivered_.begin() + static_cast<std::ptrdiff_t>(used);
  if (std::find(selectedDelivered_.begin(), last, point) == last)
    violated("%s(%p): not one of the %zu points of this build's scan the tool uses", call, point, used);
}

}  // namespace fuzz
