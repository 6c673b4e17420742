#include "standin/host/edit_operation.h"

#include <algorithm>

namespace standin {

namespace {

EditOperation &self(void *state) { return *static_cast<EditOperation *>(state); }

void opDone(void *state, int error, int selm) { self(state).done(error, selm); }
int opPointCount(void *state, int layer, int mode) { return self(state).pointCount(layer, mode); }
int opPointScan(void *state, EDPointScanFunc scan, void *userData, int layer) {
  return self(state).pointScan(scan, userData, layer);
}
EDPointInfo *opPointInfo(void *state, LWPntID point) { return self(state).pointInfo(point); }
int opPntMove(void *state, LWPntID point, const LWDVector pos) { return self(state).pntMove(point, pos); }

}  // namespace

EditOperation::EditOperation(Mesh &mesh, EditFaults faults, const Tracer *tracer, int serial)
    : mesh_(mesh), faults_(faults), tracer_(tracer), serial_(serial), op_{this,          &opDone,
                                                                          &opPointCount, &opPointScan,
                                                                          &opPointInfo,  &opPntMove} {}

void EditOperation::trace(const std::string &line) const {
  (*tracer_)("op" + std::to_string(serial_) + "." + line);
}

bool EditOperation::useAfterClose(const char *what) {
  if (!closed_) return false;
  ++misuse_;
  if (tracing()) trace(std::string(what) + " after the operation ended: ignored");
  return true;
}

Position EditOperation::currentPosition(std::size_t index) const {
  auto found = staged_.find(index);
  return found != staged_.end() ? found->second : mesh_.position(index);
}

std::size_t EditOperation::callCount(OpCallKind kind) const {
  return static_cast<std::size_t>(
      std::count_if(calls_.begin(), calls_.end(), [&](const OpCall &c) { return c.kind == kind; }));
}

int EditOperation::pointCount(int layer, int mode) {
  if (useAfterClose("pointCount")) return 0;
  int count = 0;
  if (layer == OPLYR_PRIMARY && mode == EDCOUNT_ALL)
    count = static_cast<int>(mesh_.size());
  else if (layer == OPLYR_PRIMARY && mode == EDCOUNT_SELECT)
    count = static_cast<int>(mesh_.selectedCount());
  calls_.push_back(OpCall{.kind = OpCallKind::PointCount, .layer = layer, .mode = mode, .result = count});
  if (tracing())
    trace("pointCount(layer=" + std::to_string(layer) + ", mode=" + std::to_string(mode) + ") -> " +
          std::to_string(count));
  return count;
}

int EditOperation::pointScan(EDPointScanFunc scan, void *userData, int layer) {
  if (useAfterClose("pointScan")) return kClosedError;
  // Record the call before scanning so that calls made from inside the
  // callback come after it; fill in the outcome when the scan ends.
  calls_.push_back(OpCall{.kind = OpCallKind::PointScan, .layer = layer});
  std::size_t callIndex = calls_.size() - 1;
  int result = 0;
  std::size_t delivered = 0;
  if (layer == OPLYR_PRIMARY && scan != nullptr) {
    // Which selected points the scan leaves out (the last ones), for the fault.
    std::size_t selectedToDeliver = mesh_.selectedCount();
    selectedToDeliver -= std::min(selectedToDeliver, faults_.scanWithholdSelected);
    std::size_t selectedSeen = 0;
    for (std::size_t index = 0; index < mesh_.size(); ++index) {
      bool selected = mesh_.selected(index);
      if (selected && selectedSeen++ >= selectedToDeliver) continue;
      EDPointInfo info{mesh_.id(index), selected ? EDPF_SELECT : 0, {}};
      Position position = currentPosition(index);
      std::copy(position.begin(), position.end(), info.position);
      ++delivered;
      result = scan(userData, &info);
      if (result != 0) break;
    }
  }
  calls_[callIndex].result = result;
  calls_[callIndex].scanDelivered = delivered;
  if (tracing())
    trace("pointScan(layer=" + std::to_string(layer) + ") delivered " + std::to_string(delivered) + " -> " +
          std::to_string(result));
  return result;
}

EDPointInfo *EditOperation::pointInfo(LWPntID point) {
  if (useAfterClose("pointInfo")) return nullptr;
  std::optional<std::size_t> index = mesh_.indexOf(point);
  bool answer = index.has_value() && !faults_.nullInfoAll && faults_.nullInfoPoint != index;
  EDPointInfo *result = nullptr;
  if (answer) {
    info_ = EDPointInfo{point, mesh_.selected(*index) ? EDPF_SELECT : 0, {}};
    Position position = currentPosition(*index);
    std::copy(position.begin(), position.end(), info_.position);
    result = &info_;
  }
  calls_.push_back(OpCall{.kind = OpCallKind::PointInfo, .point = point, .result = answer ? 1 : 0});
  if (tracing())
    trace("pointInfo(" + tracePtr(point) + ") -> " +
          (result != nullptr ? traceVec(result->position) : "NULL"));
  return result;
}

int EditOperation::pntMove(LWPntID point, const double *position) {
  if (useAfterClose("pntMove")) return kClosedError;
  Position copy{};
  if (position != nullptr) std::copy(position, position + 3, copy.begin());
  std::optional<std::size_t> index = mesh_.indexOf(point);
  int result = 0;
  if (!index.has_value() || position == nullptr)
    result = kUnknownPointError;
  else if (faults_.failMovePoint == index)
    result = faults_.moveFailCode;
  else
    staged_[*index] = copy;
  calls_.push_back(OpCall{.kind = OpCallKind::PntMove, .point = point, .position = copy, .result = result});
  if (tracing())
    trace("pntMove(" + tracePtr(point) + ", " + traceVec(position) + ") -> " + std::to_string(result));
  return result;
}

void EditOperation::done(int error, int selm) {
  if (useAfterClose("done")) return;
  calls_.push_back(OpCall{.kind = OpCallKind::Done, .error = error, .selm = selm});
  doneCalled_ = true;
  doneError_ = error;
  if (error == EDERR_NONE) {
    for (const auto &[index, position] : staged_) mesh_.setPosition(index, position);
    applied_ = true;
  }
  staged_.clear();
  closed_ = true;
  if (tracing())
    trace("done(error=" + std::to_string(error) + ", selm=" + std::to_string(selm) + ")" +
          (applied_ ? " applied" : " dropped"));
}

void EditOperation::discard() {
  if (closed_) return;
  staged_.clear();
  closed_ = true;
  if (tracing()) trace("discarded");
}

}  // namespace standin
