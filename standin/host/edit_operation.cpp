#include "standin/host/edit_operation.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

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

// The position is copied as one block, not set to zero and then written
// value by value: the module reads it back at once, and a read that spans
// several smaller writes still in flight waits for them all.
void fillInfo(EDPointInfo &info, LWPntID point, int flags, const Position &position) {
  info.pnt = point;
  info.flags = flags;
  static_assert(sizeof info.position == sizeof(Position));
  std::memcpy(info.position, position.data(), sizeof info.position);
}

LWPntID idOf(std::size_t index) {
  return reinterpret_cast<LWPntID>(Mesh::kIdBase + static_cast<uintptr_t>(index) * Mesh::kIdStride);
}

}  // namespace

EditOperation::EditOperation(Mesh &mesh, EditFaults faults, const Tracer *tracer, int serial,
                             StagedMoves::Room room)
    : mesh_(mesh),
      faults_(faults),
      tracer_(tracer),
      serial_(serial),
      op_{this, &opDone, &opPointCount, &opPointScan, &opPointInfo, &opPntMove},
      // A build moves selected points.
      staged_(mesh.selectedCount(), std::move(room)),
      faultless_(!faults.any()) {}

void EditOperation::trace(const std::string &line) const {
  (*tracer_)("op" + std::to_string(serial_) + "." + line);
}

bool EditOperation::misuse(const char *what) {
  ++misuse_;
  if (tracing()) trace(std::string(what) + " after the operation ended: ignored");
  return true;
}

const std::vector<OpCall> &EditOperation::calls() const {
  if (!keepLog_) throw std::logic_error("EditOperation::calls: the call log is not kept (keepCallLog())");
  return calls_;
}

const Position &EditOperation::currentPosition(std::size_t index) const {
  if (const Position *staged = staged_.find(index)) return *staged;
  return mesh_.position(index);
}

std::optional<Position> EditOperation::staged(std::size_t index) const {
  if (closed_) return std::nullopt;
  if (const Position *staged = staged_.find(index)) return *staged;
  return std::nullopt;
}

void EditOperation::dropStaged() { staged_.take(); }

int EditOperation::pointCount(int layer, int mode) {
  if (useAfterClose("pointCount")) return 0;
  int count = 0;
  if (layer == OPLYR_PRIMARY && mode == EDCOUNT_ALL)
    count = static_cast<int>(mesh_.ownLayer() ? mesh_.selectedCount() : mesh_.size());
  else if (layer == OPLYR_PRIMARY && mode == EDCOUNT_SELECT)
    count = static_cast<int>(mesh_.selectedCount());
  record(OpCallKind::PointCount, [&] {
    return OpCall{.kind = OpCallKind::PointCount, .layer = layer, .mode = mode, .result = count};
  });
  if (tracing())
    trace("pointCount(layer=" + std::to_string(layer) + ", mode=" + std::to_string(mode) + ") -> " +
          std::to_string(count));
  return count;
}

int EditOperation::pointScan(EDPointScanFunc scan, void *userData, int layer) {
  if (useAfterClose("pointScan")) return kClosedError;
  // Record the call before scanning so that calls made from inside the
  // callback come after it; fill in the outcome when the scan ends.
  record(OpCallKind::PointScan, [&] { return OpCall{.kind = OpCallKind::PointScan, .layer = layer}; });
  const std::size_t logIndex = calls_.size() - (keepLog_ ? 1 : 0);
  int result = 0;
  std::size_t delivered = 0;
  if (layer == OPLYR_PRIMARY && scan != nullptr) {
    // Which selected points the scan leaves out (the last ones), for the fault.
    std::size_t selectedToDeliver = mesh_.selectedCount();
    selectedToDeliver -= std::min(selectedToDeliver, faults_.scanWithholdSelected);
    std::size_t selectedSeen = 0;
    // Delivers one point; false once the callback asked to stop.
    auto deliver = [&](std::size_t index) {
      const bool selected = mesh_.selected(index);
      if (selected && selectedSeen++ >= selectedToDeliver) return true;
      EDPointInfo info;
      fillInfo(info, idOf(index), selected ? EDPF_SELECT : 0, currentPosition(index));
      ++delivered;
      result = scan(userData, &info);
      return result == 0;
    };
    // The mesh's scan order: its ordered selection first, then the other
    // points (none when the selection is in a layer of its own), or every
    // point in mesh order.
    const std::vector<std::size_t> &order = mesh_.scanOrder();
    bool going = true;
    for (std::size_t i = 0; going && i < order.size(); ++i) going = deliver(order[i]);
    const std::size_t size = mesh_.ownLayer() ? 0 : mesh_.size();
    for (std::size_t index = 0; going && index < size; ++index) {
      if (order.empty() || !mesh_.selected(index)) going = deliver(index);
    }
  }
  if (keepLog_) {
    calls_[logIndex].result = result;
    calls_[logIndex].scanDelivered = delivered;
  }
  if (tracing())
    trace("pointScan(layer=" + std::to_string(layer) + ") delivered " + std::to_string(delivered) + " -> " +
          std::to_string(result));
  return result;
}

EDPointInfo *EditOperation::pointInfo(LWPntID point) {
  // The usual call, answered at once: an open operation with no fault, log
  // or trace, and a point the mesh knows.
  if (plain()) {
    if (const std::optional<std::size_t> index = mesh_.indexOf(point)) {
      ++counts_[static_cast<std::size_t>(OpCallKind::PointInfo)];
      fillInfo(info_, point, mesh_.selected(*index) ? EDPF_SELECT : 0, currentPosition(*index));
      return &info_;
    }
  }
  if (useAfterClose("pointInfo")) return nullptr;
  const std::optional<std::size_t> index = mesh_.indexOf(point);
  const bool nthCall =
      faults_.nullInfoCall != 0 && faults_.nullInfoCall == callCount(OpCallKind::PointInfo) + 1;
  const bool answer = index.has_value() && !faults_.nullInfoAll && faults_.nullInfoPoint != index && !nthCall;
  EDPointInfo *result = nullptr;
  if (answer) {
    fillInfo(info_, point, mesh_.selected(*index) ? EDPF_SELECT : 0, currentPosition(*index));
    result = &info_;
  }
  record(OpCallKind::PointInfo,
         [&] { return OpCall{.kind = OpCallKind::PointInfo, .point = point, .result = answer ? 1 : 0}; });
  if (tracing())
    trace("pointInfo(" + tracePtr(point) + ") -> " +
          (result != nullptr ? traceVec(result->position) : "NULL"));
  return result;
}

int EditOperation::pntMove(LWPntID point, const double *position) {
  if (plain() && position != nullptr) {
    if (const std::optional<std::size_t> index = mesh_.indexOf(point)) {
      ++counts_[static_cast<std::size_t>(OpCallKind::PntMove)];
      staged_.stage(*index, Position{position[0], position[1], position[2]});
      return 0;
    }
  }
  if (useAfterClose("pntMove")) return kClosedError;
  Position copy{};
  if (position != nullptr) std::copy(position, position + 3, copy.begin());
  const std::optional<std::size_t> index = mesh_.indexOf(point);
  int result = 0;
  if (!index.has_value() || position == nullptr)
    result = kUnknownPointError;
  else if (faults_.failMovePoint == index ||
           (faults_.failMoveCall != 0 && faults_.failMoveCall == callCount(OpCallKind::PntMove) + 1))
    result = faults_.moveFailCode;
  else
    staged_.stage(*index, copy);
  record(OpCallKind::PntMove, [&] {
    return OpCall{.kind = OpCallKind::PntMove, .point = point, .position = copy, .result = result};
  });
  if (tracing())
    trace("pntMove(" + tracePtr(point) + ", " + traceVec(position) + ") -> " + std::to_string(result));
  return result;
}

void EditOperation::done(int error, int selm) {
  if (useAfterClose("done")) return;
  record(OpCallKind::Done, [&] { return OpCall{.kind = OpCallKind::Done, .error = error, .selm = selm}; });
  doneCalled_ = true;
  doneError_ = error;
  if (error == EDERR_NONE) {
    // The staged moves go into the mesh, and what they replace is kept.
    for (PointPosition &move : staged_.moves()) {
      const Position before = mesh_.position(move.index);
      mesh_.setPosition(move.index, move.position);
      move.position = before;
    }
    replaced_ = staged_.take();
    applied_ = true;
  }
  dropStaged();
  closed_ = true;
  if (tracing())
    trace("done(error=" + std::to_string(error) + ", selm=" + std::to_string(selm) + ")" +
          (applied_ ? " applied" : " dropped"));
}

void EditOperation::discard() {
  if (closed_) return;
  dropStaged();
  closed_ = true;
  if (tracing()) trace("discarded");
}

}  // namespace standin
