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
#pragma once

#include <vector>

#include "host/host_abi.h"
#include "standin/host/edit_operation.h"

namespace fuzz {

class CheckedOperation {
 public:
  // `countError` is added to every selected count the host answers.
  CheckedOperation(standin::EditOperation &operation, int countError, bool finiteInputs);
  CheckedOperation(const CheckedOperation &) = delete;
  CheckedOperation &operator=(const CheckedOperation &) = delete;

  MeshEditOp *op() { return &op_; }
  // The build returned: every later call is a violation.
  void buildReturned() { buildReturned_ = true; }

  // The selected points the scan delivered, in its order.
  const std::vector<LWPntID> &selectedDelivered() const { return selectedDelivered_; }
  // Every point pntMove was asked to move, in order.
  const std::vector<LWPntID> &moved() const { return moved_; }

 private:
  friend struct OperationCalls;
  void checkOpen(const char *call) const;
  void checkUsable(const char *call, LWPntID point) const;

  standin::EditOperation &operation_;
  MeshEditOp op_;
  int countError_;
  bool finiteInputs_;
  bool buildReturned_ = false;
  bool doneCalled_ = false;
  int counted_ = 0;  // the last selected count answered
  EDPointScanFunc moduleScan_ = nullptr;
  void *moduleScanData_ = nullptr;
  std::vector<LWPntID> selectedDelivered_;
  std::vector<LWPntID> moved_;
};

}  // namespace fuzz
