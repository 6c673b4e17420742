// A host for the engine tests: the module's code linked in-process, activated
// through the stand-in host's globals, with a stand-in mesh and one edit
// operation per build. Tests reach the instance's fields directly.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/allocation.h"
#include "engine/tool_state.h"
#include "host/host_abi.h"
#include "standin/host/edit_operation.h"
#include "standin/host/host_globals.h"
#include "standin/host/mesh.h"
#include "standin/host/module_loader.h"
#include "standin/host/panel_service.h"

extern "C" const ModuleDescriptor _mod_descrip;

namespace standin {
// Lets failure messages show boxes as text.
inline void PrintTo(const MessageBox &box, std::ostream *out) {
  *out << messageKindName(box.kind) << " \"" << box.title << "\" / \"" << box.text << "\"";
}
}  // namespace standin

namespace ep::testing {

using standin::EditFaults;
using standin::EditOperation;
using standin::MessageBox;
using standin::MessageKind;
using standin::OpCall;
using standin::OpCallKind;
using standin::Position;

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    globals_.messages().setEcho(nullptr);
    funcs_ = {};
    binding_ = {};
    binding_.tool = &funcs_;
    ASSERT_EQ(server_.activate(4, standin::HostGlobals::global, &binding_, module_.startupResult()), 0);
    state_ = static_cast<StretchToolState *>(binding_.instance);
  }
  void TearDown() override {
    op_.reset();
    funcs_.done(binding_.instance);
  }

  // Adds points; every one selected unless told otherwise.
  void addPoints(const std::vector<Position> &points, bool selected = true) {
    for (const Position &p : points) mesh_.addPoint(p, selected);
  }

  // One build through the binding with a fresh operation; returns the
  // build's text or "" for none.
  std::string build(EditFaults faults = {}) {
    op_ = std::make_unique<EditOperation>(mesh_, faults);
    op_->keepCallLog();
    const char *text = binding_.build(state_, op_->op());
    if (!op_->closed()) op_->discard();
    return text == nullptr ? "" : text;
  }

  // Forgets the mesh and the instance's selection so that the next build is
  // a first build again.
  void startOver() {
    op_.reset();
    mesh_ = {};
    release(state_->positions);
    release(state_->pointIds);
    release(state_->inverted);
    release(state_->handleVectors);
    state_->positions = nullptr;
    state_->pointIds = nullptr;
    state_->inverted = nullptr;
    state_->handleVectors = nullptr;
    state_->pointCount = 0;
  }

  // A fresh, open operation for calling engine functions directly.
  MeshEditOp *freshOp(EditFaults faults = {}) {
    op_ = std::make_unique<EditOperation>(mesh_, faults);
    op_->keepCallLog();
    return op_->op();
  }

  std::vector<OpCall> callsOf(OpCallKind kind) const {
    std::vector<OpCall> out;
    for (const OpCall &c : op_->calls())
      if (c.kind == kind) out.push_back(c);
    return out;
  }

  // The mesh index of each moved point, in move order.
  std::vector<std::size_t> moveOrder() const {
    std::vector<std::size_t> out;
    for (const OpCall &c : callsOf(OpCallKind::PntMove)) out.push_back(*mesh_.indexOf(c.point));
    return out;
  }

  Position staged(std::size_t index) const { return op_->staged(index).value_or(mesh_.position(index)); }

  const std::vector<MessageBox> &boxes() { return globals_.messages().boxes(); }

  standin::HostGlobals globals_;
  standin::PanelService &panels_ = globals_.panels();
  standin::LoadedModule module_ = standin::LoadedModule::linked(&_mod_descrip);
  const ServerRecord &server_ = module_.requireServer(LW_MESHEDITTOOL_CLASS, "Elastic_Pull");
  LWToolFuncs funcs_{};
  LWMeshEditTool binding_{};
  StretchToolState *state_ = nullptr;
  standin::Mesh mesh_;
  std::unique_ptr<EditOperation> op_;
};

inline void expectPosition(const Position &p, double x, double y, double z) {
  EXPECT_DOUBLE_EQ(p[0], x);
  EXPECT_DOUBLE_EQ(p[1], y);
  EXPECT_DOUBLE_EQ(p[2], z);
}
inline void expectVec(const Vec3 &v, double x, double y, double z) {
  EXPECT_DOUBLE_EQ(v.x, x);
  EXPECT_DOUBLE_EQ(v.y, y);
  EXPECT_DOUBLE_EQ(v.z, z);
}

}  // namespace ep::testing
