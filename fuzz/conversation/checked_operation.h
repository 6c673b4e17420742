// One build's mesh-edit operation as the conversation's host hands it to the
// module: the stand-in host's operation behind a table of its own that checks
// every call the module makes.
//
//  - Nothing is called once the operation ended (done) or the build returned.
//  - pointInfo and pntMove only name points this build's scan delivered as
//    selected, and of those only the ones the tool uses: the first of them,
//    as many as the count it was given rounded down to even.
//  - While every input so far was finite, every position moved to is finite.
//
// The host can also lie about the count by a few points (the scan still
// delivers what the mesh holds), beside the stand-in operation's own faults.
//
// Every pntMove is kept with its position and the host's answer, for the
// stretch model to compare (and a planted fault, planted_fault.h, may change
// the position on its way).
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "host/host_abi.h"
#include "standin/host/edit_operation.h"

namespace fuzz {

struct MoveCall {
  LWPntID point;
  std::array<double, 3> position;
  int result;
};

class CheckedOperation {
 public:
  // `countError` is added to every selected count the host answers;
  // `instance` is the tool's instance that builds (for a planted fault).
  CheckedOperation(standin::EditOperation &operation, int countError, bool finiteInputs,
                   const void *instance);
  CheckedOperation(const CheckedOperation &) = delete;
  CheckedOperation &operator=(const CheckedOperation &) = delete;

  MeshEditOp *op() { return &op_; }
  // The build returned: every later call is a violation.
  void buildReturned() { buildReturned_ = true; }

  // The selected points the scan delivered, in its order.
  const std::vector<LWPntID> &selectedDelivered() const { return selectedDelivered_; }
  // Every point pntMove was asked to move, in order.
  const std::vector<LWPntID> &moved() const { return moved_; }
  // Every pntMove, with its position and answer.
  const std::vector<MoveCall> &moves() const { return moves_; }
  // Calls of any kind the module made on the operation.
  std::size_t calls() const { return calls_; }

 private:
  friend struct OperationCalls;
  // Counts the call and checks the operation is open.
  void checkOpen(const char *call);
  void checkUsable(const char *call, LWPntID point);

  standin::EditOperation &operation_;
  MeshEditOp op_;
  int countError_;
  bool finiteInputs_;
  const void *instance_;
  bool buildReturned_ = false;
  bool doneCalled_ = false;
  int counted_ = 0;  // the last selected count answered
  EDPointScanFunc moduleScan_ = nullptr;
  void *moduleScanData_ = nullptr;
  std::vector<LWPntID> selectedDelivered_;
  std::vector<LWPntID> moved_;
  std::vector<MoveCall> moves_;
  std::size_t calls_ = 0;
};

}  // namespace fuzz
