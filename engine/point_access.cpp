#include "engine/point_access.h"

#include "engine/pass_result.h"
#include "host/services.h"

namespace ep {

bool readPointPosition(MeshEditOp *op, LWPntID id, Vec3 &out) {
  const EDPointInfo *info = op->pointInfo(op->state, id);
  if (info == nullptr) {
    showError(texts::kScanFailedTitle);
    return false;
  }
  // The record is only valid until the next call on the operation: copy now.
  out = {info->position[0], info->position[1], info->position[2]};
  return true;
}

int movePoint(MeshEditOp *op, LWPntID id, const Vec3 &pos) {
  const LWDVector xyz = {pos.x, pos.y, pos.z};
  return op->pntMove(op->state, id, xyz);
}

int refuseOutOfRange() {
  showError(texts::kOutOfRangeTitle, texts::kOutOfRangeText);
  return kPassFailed;
}

}  // namespace ep
