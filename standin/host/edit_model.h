// The modeler's side of an interactive edit.
//
// When the tool first asks for an update, the mesh as it stands becomes the
// edit's base. Before every build the mesh is put back to that base, so each
// build starts from the points as they stood when the edit began (a Factor of
// 1.5 typed twice gives 1.5 times the original length, not 2.25 times). A
// build that returns an error text, or that leaves its operation without
// done, is discarded: the mesh stays at the base.
//
// The base is not a copy of the mesh: only the points the last applied build
// moved differ from it, and their base positions are kept, so putting the
// mesh back costs in proportion to those points. The mesh's points are
// expected to change only through the edit's builds while an edit is open.
//
// Ending an edit: clone (test code 4) keeps the result, calls end(instance, 1)
// and at once begins a new edit with the result as its base; reject (3) puts
// the base back and calls end(instance, 0); accept (2) and close keep the
// result and call end(instance, 1). These three answer the tool's own request
// and call end even when no edit is open; close ends only an open edit.
//
// Lifetimes: the Mesh and the binding (owned by the ToolSession) must outlive
// this object; the binding is attached after a successful activation.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "host/host_abi.h"
#include "standin/host/edit_operation.h"
#include "standin/host/mesh.h"
#include "standin/host/trace.h"

namespace standin {

struct BuildRecord {
  int serial = 0;           // 1 for the session's first build
  bool errorText = false;   // build returned a non-NULL text
  std::string text;         // that text
  bool doneCalled = false;  // the tool ended the operation
  int doneError = 0;
  bool applied = false;    // the build's moves are in the mesh
  std::size_t moves = 0;   // pntMove calls
  std::size_t misuse = 0;  // calls on the operation after it ended
};

class EditModel {
 public:
  EditModel(Mesh &mesh, const Tracer &tracer);

  void attach(LWMeshEditTool *binding) { binding_ = binding; }

  // Faults for the operations of the following builds.
  void setFaults(const EditFaults &faults) { faults_ = faults; }

  bool editOpen() const { return open_; }

  // Test code 1: opens an edit if none is open, restores the base and builds.
  const BuildRecord &update();
  void reject();  // test code 3
  void clone();   // test code 4
  void accept();  // test code 2
  void close();   // the tool is being closed: keep the result

  const std::vector<BuildRecord> &builds() const { return builds_; }
  // The last build's operation, kept for inspection until the next build.
  const EditOperation *lastOperation() const { return lastOp_.get(); }

 private:
  void end(int keep);
  void restoreBase();
  void forgetMoved();  // frees the list's memory too

  Mesh &mesh_;
  const Tracer &tracer_;
  LWMeshEditTool *binding_ = nullptr;
  EditFaults faults_;
  bool open_ = false;
  // The base positions of the points the last applied build moved.
  std::vector<PointPosition> moved_;
  // Memory the last operation's moves used, for the next build's.
  StagedMoves::Room room_;
  std::unique_ptr<EditOperation> lastOp_;
  std::vector<BuildRecord> builds_;
};

}  // namespace standin
