// One mesh-edit operation (MeshEditOp) over a Mesh, as the host hands it to
// the tool's build.
//
// The scan delivers every point of the edit's layer once, in the mesh's scan
// order (Mesh::scanOrder()): the whole mesh, or the selected points alone
// when they are in a layer of their own (Mesh::ownLayer()).
//
// Moves are staged: pntMove copies the position into the operation, and the
// operation's own pointInfo and pointScan show it; done(error 0) writes the
// staged moves into the mesh, done(non-zero) drops them. An operation is
// closed by done or by discard() (what the host does when build returns
// without done, or returns an error text); calls on a closed operation do
// nothing, answer an error / NULL, and are counted as misuse.
//
// Every call is counted by kind; keepCallLog() also records each call with
// its arguments and result (for tests: a build makes millions of calls).
// Faults can make pntMove fail for a chosen point or at the k-th call, the
// scan leave out selected points, and pointInfo answer NULL for a chosen point
// or at the k-th call.
//
// Each call costs the same whatever the mesh's size: staged moves are found
// among the moved points alone (StagedMoves: their sorted list while they come
// in index order, a table of them otherwise). Once done(0) has written
// the moves, the operation holds what they replaced (replaced()), so a host
// can put the mesh back at a cost in proportion to the points moved.
//
// Lifetimes: the Mesh must outlive the operation. The MeshEditOp record
// (op()) and the EDPointInfo record pointInfo returns belong to this object;
// the latter is rewritten by the next pointInfo call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/host_abi.h"
#include "standin/host/mesh.h"
#include "standin/host/staged_moves.h"
#include "standin/host/trace.h"

namespace standin {

struct EditFaults {
  // pntMove on this point (a mesh index) fails with moveFailCode, staging nothing.
  std::optional<std::size_t> failMovePoint;
  // The k-th pntMove call of the operation (1 = the first) fails the same way; 0 never.
  std::size_t failMoveCall = 0;
  int moveFailCode = 1;
  // The scan leaves out the last `scanWithholdSelected` selected points,
  // while pointCount still counts them.
  std::size_t scanWithholdSelected = 0;
  // pointInfo answers NULL for this point, or for every point.
  std::optional<std::size_t> nullInfoPoint;
  bool nullInfoAll = false;
  // The k-th pointInfo call of the operation (1 = the first) answers NULL; 0 never.
  std::size_t nullInfoCall = 0;

  // Whether any fault is set (a new one belongs here too).
  bool any() const {
    return failMovePoint || failMoveCall != 0 || scanWithholdSelected != 0 || nullInfoPoint || nullInfoAll ||
           nullInfoCall != 0;
  }
};

enum class OpCallKind { PointCount, PointScan, PointInfo, PntMove, Done };

struct OpCall {
  OpCallKind kind;
  int layer = 0;                  // PointCount, PointScan
  int mode = 0;                   // PointCount
  LWPntID point = nullptr;        // PointInfo, PntMove
  Position position{};            // PntMove: the position passed
  int error = 0;                  // Done
  int selm = 0;                   // Done
  int result = 0;                 // PointCount, PointScan, PntMove; PointInfo: 1 record, 0 NULL
  std::size_t scanDelivered = 0;  // PointScan: points passed to the callback
};

class EditOperation {
 public:
  // Error code pntMove answers for an ID the mesh does not know.
  static constexpr int kUnknownPointError = 2;
  // Error code answered by calls on a closed operation.
  static constexpr int kClosedError = 3;

  // `room`: memory of an earlier operation's moves to use again.
  EditOperation(Mesh &mesh, EditFaults faults = {}, const Tracer *tracer = nullptr, int serial = 0,
                StagedMoves::Room room = {});
  EditOperation(const EditOperation &) = delete;
  EditOperation &operator=(const EditOperation &) = delete;

  MeshEditOp *op() { return &op_; }

  // Drops the staged moves and closes the operation (no-op once closed).
  void discard();

  bool closed() const { return closed_; }
  bool doneCalled() const { return doneCalled_; }
  int doneError() const { return doneError_; }
  bool applied() const { return applied_; }  // done(0) wrote the staged moves
  std::size_t misuseCount() const { return misuse_; }

  // Records every following call in calls() (which throws std::logic_error
  // when the log is not kept, so that a test cannot read an empty log).
  void keepCallLog() { keepLog_ = true; }
  const std::vector<OpCall> &calls() const;
  std::size_t callCount(OpCallKind kind) const { return counts_[static_cast<std::size_t>(kind)]; }

  // The position staged for a point, if any (none once the operation ended).
  std::optional<Position> staged(std::size_t index) const;
  std::size_t stagedCount() const { return closed_ ? 0 : staged_.size(); }
  // After done(0): each moved point once, with the position it had before.
  const std::vector<PointPosition> &replaced() const { return replaced_; }
  std::vector<PointPosition> takeReplaced() { return std::move(replaced_); }
  // Once closed: the memory its staged moves' table used (empty), for the
  // next operation's room.
  std::vector<std::uint32_t> takeTable() {
    return closed_ ? staged_.takeTable() : std::vector<std::uint32_t>{};
  }

  // The operations themselves (also reached through op()).
  int pointCount(int layer, int mode);
  int pointScan(EDPointScanFunc scan, void *userData, int layer);
  EDPointInfo *pointInfo(LWPntID point);
  int pntMove(LWPntID point, const double *position);
  void done(int error, int selm);

 private:
  const Position &currentPosition(std::size_t index) const;  // staged or mesh
  // Counts a call; with the log kept, records it as `make()` builds it.
  template <typename Make>
  void record(OpCallKind kind, Make make) {
    ++counts_[static_cast<std::size_t>(kind)];
    if (keepLog_) calls_.push_back(make());
  }
  void dropStaged();
  // Whether the operation is closed: the call is then misuse (counted).
  bool useAfterClose(const char *what) { return closed_ && misuse(what); }
  bool misuse(const char *what);
  bool tracing() const { return tracer_ != nullptr && tracer_->on(); }
  // Whether a call takes the short way: open, no fault, no log, no trace.
  bool plain() const { return faultless_ && !closed_ && !keepLog_ && !tracing(); }
  void trace(const std::string &line) const;  // only when tracing()

  Mesh &mesh_;
  EditFaults faults_;
  const Tracer *tracer_;
  int serial_;
  MeshEditOp op_;
  EDPointInfo info_{};
  StagedMoves staged_;
  std::vector<PointPosition> replaced_;
  std::array<std::size_t, 5> counts_{};
  bool keepLog_ = false;
  std::vector<OpCall> calls_;
  bool faultless_;
  bool closed_ = false;
  bool doneCalled_ = false;
  bool applied_ = false;
  int doneError_ = 0;
  std::size_t misuse_ = 0;
};

}  // namespace standin
