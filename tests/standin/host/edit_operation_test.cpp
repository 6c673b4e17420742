// The stand-in host's mesh and mesh-edit operation: IDs, counting, scanning,
// staged moves, done, use after the end, and the injected faults.
#include "standin/host/edit_operation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <vector>

#include "standin/host/mesh.h"

namespace {

using standin::EditFaults;
using standin::EditOperation;
using standin::Mesh;
using standin::OpCallKind;
using standin::Position;

// Five points on the x axis at 0, 10, 20, 30, 40; points 1, 2 and 4 selected.
Mesh fivePoints() {
  Mesh mesh;
  for (int i = 0; i < 5; ++i) mesh.addPoint({10.0 * i, 0.0, 0.0}, i == 1 || i == 2 || i == 4);
  return mesh;
}

struct Scanned {
  std::vector<LWPntID> ids;
  std::vector<int> flags;
  std::vector<double> x;
  int stopAfter = -1;  // answer 9 at this call
};

int scanInto(void *userData, const EDPointInfo *info) {
  auto &out = *static_cast<Scanned *>(userData);
  out.ids.push_back(info->pnt);
  out.flags.push_back(info->flags);
  out.x.push_back(info->position[0]);
  return static_cast<int>(out.ids.size()) == out.stopAfter ? 9 : 0;
}

TEST(Mesh, IdsAreNeitherIndicesNorNullAndMapBack) {
  Mesh mesh = fivePoints();
  for (std::size_t i = 0; i < mesh.size(); ++i) {
    EXPECT_NE(reinterpret_cast<uintptr_t>(mesh.id(i)), i);
    EXPECT_EQ(mesh.indexOf(mesh.id(i)), i);
  }
  auto bogus = [](uintptr_t v) { return reinterpret_cast<LWPntID>(v); };
  EXPECT_EQ(mesh.indexOf(nullptr), std::nullopt);
  EXPECT_EQ(mesh.indexOf(bogus(1)), std::nullopt);
  EXPECT_EQ(mesh.indexOf(bogus(Mesh::kIdBase + 4)), std::nullopt);
  EXPECT_EQ(mesh.indexOf(bogus(Mesh::kIdBase + 5 * Mesh::kIdStride)), std::nullopt);
}

TEST(EditOperation, CountsAndScansInMeshOrderAndStopsAtTheFirstNonZero) {
  Mesh mesh = fivePoints();
  EditOperation operation(mesh);
  operation.keepCallLog();
  MeshEditOp *op = operation.op();
  EXPECT_EQ(op->pointCount(op->state, OPLYR_PRIMARY, EDCOUNT_ALL), 5);
  EXPECT_EQ(op->pointCount(op->state, OPLYR_PRIMARY, EDCOUNT_SELECT), 3);

  Scanned all;
  EXPECT_EQ(op->pointScan(op->state, &scanInto, &all, OPLYR_PRIMARY), 0);
  EXPECT_EQ(all.ids, (std::vector<LWPntID>{mesh.id(0), mesh.id(1), mesh.id(2), mesh.id(3), mesh.id(4)}));
  EXPECT_EQ(all.flags, (std::vector<int>{0, 1, 1, 0, 1}));

  Scanned stopped;
  stopped.stopAfter = 2;
  EXPECT_EQ(op->pointScan(op->state, &scanInto, &stopped, OPLYR_PRIMARY), 9);
  EXPECT_EQ(stopped.ids.size(), 2u);
  EXPECT_EQ(operation.calls().back().scanDelivered, 2u);
}

// A selection made in an order: the scan delivers it first, in that order,
// then every other point once, in mesh order; the fault that withholds the
// last selected points withholds the last in that order.
TEST(EditOperation, ScansAnOrderedSelectionFirstInItsOrderAndEveryPointOnce) {
  Mesh mesh = fivePoints();
  const std::vector<std::size_t> order{4, 0, 2, 1};
  mesh.selectInOrder(order);
  EXPECT_EQ(mesh.scanOrder(), order);
  EXPECT_EQ(mesh.selectedCount(), 4u);
  EditOperation operation(mesh);
  MeshEditOp *op = operation.op();
  Scanned scanned;
  EXPECT_EQ(op->pointScan(op->state, &scanInto, &scanned, OPLYR_PRIMARY), 0);
  EXPECT_EQ(scanned.ids, (std::vector<LWPntID>{mesh.id(4), mesh.id(0), mesh.id(2), mesh.id(1), mesh.id(3)}));
  EXPECT_EQ(scanned.flags, (std::vector<int>{1, 1, 1, 1, 0}));
  EXPECT_EQ(scanned.x, (std::vector<double>{40, 0, 20, 10, 30}));

  Scanned stopped;
  stopped.stopAfter = 2;
  EXPECT_EQ(op->pointScan(op->state, &scanInto, &stopped, OPLYR_PRIMARY), 9);
  EXPECT_EQ(stopped.ids, (std::vector<LWPntID>{mesh.id(4), mesh.id(0)}));

  EditFaults faults;
  faults.scanWithholdSelected = 1;
  EditOperation withholding(mesh, faults);
  Scanned withheld;
  withholding.op()->pointScan(withholding.op()->state, &scanInto, &withheld, OPLYR_PRIMARY);
  EXPECT_EQ(withheld.ids, (std::vector<LWPntID>{mesh.id(4), mesh.id(0), mesh.id(2), mesh.id(3)}));
}

TEST(Mesh, AnyOtherSelectionChangeReturnsTheScanToMeshOrder) {
  const std::vector<std::size_t> order{3, 1};
  const std::vector<std::function<void(Mesh &)>> changes{
      [](Mesh &m) { m.setSelected(0, true); },
      [](Mesh &m) { m.setSelected(3, false); },
      [](Mesh &m) {
        m.selectOnly(std::vector<std::size_t>{3, 1});
      },
      [](Mesh &m) { m.clearSelection(); },
  };
  for (const auto &change : changes) {
    Mesh mesh = fivePoints();
    mesh.selectInOrder(order);
    change(mesh);
    EXPECT_TRUE(mesh.scanOrder().empty());
  }
  Mesh mesh = fivePoints();
  mesh.selectInOrder(order);
  mesh.setSelected(3, true);  // already selected: nothing changes
  EXPECT_EQ(mesh.scanOrder(), order);
  // A point given twice, or one past the end, is refused and changes nothing.
  EXPECT_THROW(mesh.selectInOrder(std::vector<std::size_t>{2, 0, 2}), std::invalid_argument);
  EXPECT_THROW(mesh.selectInOrder(std::vector<std::size_t>{0, 5}), std::out_of_range);
  EXPECT_EQ(mesh.scanOrder(), order);
  EXPECT_EQ(mesh.selectedCount(), 2u);
}

// Selected in a layer of their own, the points are the whole of what the
// operation scans and counts; any change of the selection ends that, and
// clearing an ordered selection leaves nothing selected.
TEST(EditOperation, ASelectionInALayerOfItsOwnIsAllTheOperationScans) {
  Mesh mesh = fivePoints();
  const std::vector<std::size_t> order{4, 0};
  mesh.selectInOrder(order, true);
  EXPECT_TRUE(mesh.ownLayer());
  EditOperation operation(mesh);
  MeshEditOp *op = operation.op();
  EXPECT_EQ(op->pointCount(op->state, OPLYR_PRIMARY, EDCOUNT_ALL), 2);
  EXPECT_EQ(op->pointCount(op->state, OPLYR_PRIMARY, EDCOUNT_SELECT), 2);
  Scanned scanned;
  EXPECT_EQ(op->pointScan(op->state, &scanInto, &scanned, OPLYR_PRIMARY), 0);
  EXPECT_EQ(scanned.ids, (std::vector<LWPntID>{mesh.id(4), mesh.id(0)}));

  const std::vector<std::function<void(Mesh &)>> changes{
      [](Mesh &m) { m.setSelected(1, true); },
      [](Mesh &m) {
        m.addPoint({50, 0, 0}, true);
      },
      [](Mesh &m) {
        m.selectInOrder(std::vector<std::size_t>{2, 3});
      },
      [](Mesh &m) { m.clearSelection(); },
  };
  for (const auto &change : changes) {
    Mesh changed = fivePoints();
    changed.selectInOrder(order, true);
    change(changed);
    EXPECT_FALSE(changed.ownLayer());
    EditOperation after(changed);
    EXPECT_EQ(after.op()->pointCount(after.op()->state, OPLYR_PRIMARY, EDCOUNT_ALL),
              static_cast<int>(changed.size()));
    changed.clearSelection();
    for (std::size_t i = 0; i < changed.size(); ++i) EXPECT_FALSE(changed.selected(i)) << "point " << i;
    EXPECT_EQ(changed.selectedCount(), 0u);
  }
}

TEST(EditOperation, MovesAreStagedVisibleToTheOperationAndAppliedByDoneZero) {
  Mesh mesh = fivePoints();
  EditOperation operation(mesh);
  MeshEditOp *op = operation.op();
  LWDVector target = {1.5, 2.5, 3.5};
  EXPECT_EQ(op->pntMove(op->state, mesh.id(2), target), 0);
  target[0] = 99.0;  // the operation copied the position

  EDPointInfo *info = op->pointInfo(op->state, mesh.id(2));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->pnt, mesh.id(2));
  EXPECT_EQ(info->flags, EDPF_SELECT);
  EXPECT_EQ(info->position[0], 1.5);
  Scanned scanned;
  op->pointScan(op->state, &scanInto, &scanned, OPLYR_PRIMARY);
  EXPECT_EQ(scanned.x[2], 1.5);
  EXPECT_EQ(mesh.position(2), (Position{20.0, 0.0, 0.0}));  // not yet in the mesh

  op->done(op->state, EDERR_NONE, 0);
  EXPECT_EQ(mesh.position(2), (Position{1.5, 2.5, 3.5}));
  EXPECT_TRUE(operation.applied());
}

TEST(EditOperation, DoneWithAnErrorOrDiscardDropsTheMovesAndLaterCallsAreRefused) {
  for (int error : {int{EDERR_USERABORT}, -1}) {
    Mesh mesh = fivePoints();
    EditOperation operation(mesh);
    MeshEditOp *op = operation.op();
    LWDVector target = {7, 7, 7};
    op->pntMove(op->state, mesh.id(1), target);
    if (error < 0)
      operation.discard();
    else
      op->done(op->state, error, 0);
    EXPECT_EQ(mesh.position(1), (Position{10.0, 0.0, 0.0}));
    EXPECT_FALSE(operation.applied());

    EXPECT_EQ(op->pntMove(op->state, mesh.id(1), target), EditOperation::kClosedError);
    EXPECT_EQ(op->pointInfo(op->state, mesh.id(1)), nullptr);
    op->done(op->state, EDERR_NONE, 0);
    EXPECT_EQ(mesh.position(1), (Position{10.0, 0.0, 0.0}));
    EXPECT_EQ(operation.misuseCount(), 3u);
  }
}

TEST(EditOperation, UnknownIdsGetNullInfoAndAFailedMove) {
  Mesh mesh = fivePoints();
  EditOperation operation(mesh);
  MeshEditOp *op = operation.op();
  LWPntID index1 = reinterpret_cast<LWPntID>(uintptr_t{1});  // an index where an ID belongs
  LWDVector target = {0, 0, 0};
  EXPECT_EQ(op->pointInfo(op->state, index1), nullptr);
  EXPECT_EQ(op->pntMove(op->state, index1, target), EditOperation::kUnknownPointError);
  EXPECT_EQ(operation.stagedCount(), 0u);
}

TEST(EditOperation, InjectedFaults) {
  Mesh mesh = fivePoints();
  EditFaults faults;
  faults.failMovePoint = 2;
  faults.moveFailCode = 17;
  faults.scanWithholdSelected = 1;
  faults.nullInfoPoint = 1;
  EditOperation operation(mesh, faults);
  MeshEditOp *op = operation.op();
  LWDVector target = {5, 5, 5};

  EXPECT_EQ(op->pntMove(op->state, mesh.id(2), target), 17);
  EXPECT_EQ(op->pntMove(op->state, mesh.id(1), target), 0);
  EXPECT_EQ(operation.staged(2), std::nullopt);

  EXPECT_EQ(op->pointInfo(op->state, mesh.id(1)), nullptr);
  EXPECT_NE(op->pointInfo(op->state, mesh.id(2)), nullptr);

  // The count still says 3, the scan delivers the first two selected points.
  EXPECT_EQ(op->pointCount(op->state, OPLYR_PRIMARY, EDCOUNT_SELECT), 3);
  Scanned scanned;
  op->pointScan(op->state, &scanInto, &scanned, OPLYR_PRIMARY);
  EXPECT_EQ(scanned.ids, (std::vector<LWPntID>{mesh.id(0), mesh.id(1), mesh.id(2), mesh.id(3)}));

  EditFaults allNull;
  allNull.nullInfoAll = true;
  EditOperation blind(mesh, allNull);
  EXPECT_EQ(blind.op()->pointInfo(blind.op()->state, mesh.id(0)), nullptr);

  // The k-th call, whichever point it names, and only that call.
  EditFaults nth;
  nth.failMoveCall = 2;
  nth.nullInfoCall = 3;
  nth.moveFailCode = 6;
  EditOperation counted(mesh, nth);
  MeshEditOp *c = counted.op();
  std::vector<int> moves;
  std::vector<bool> answered;
  for (std::size_t i = 0; i < 4; ++i) {
    moves.push_back(c->pntMove(c->state, mesh.id(i), target));
    answered.push_back(c->pointInfo(c->state, mesh.id(i)) != nullptr);
  }
  EXPECT_EQ(moves, (std::vector<int>{0, 6, 0, 0}));
  EXPECT_EQ(answered, (std::vector<bool>{true, true, false, true}));
  EXPECT_EQ(counted.staged(1), std::nullopt);
}

TEST(EditOperation, RecordsEveryCallWithArgumentsAndResultWhenAsked) {
  Mesh mesh = fivePoints();
  EditOperation operation(mesh);
  operation.keepCallLog();
  MeshEditOp *op = operation.op();
  LWDVector target = {1, 2, 3};
  op->pointCount(op->state, OPLYR_PRIMARY, EDCOUNT_SELECT);
  op->pntMove(op->state, mesh.id(4), target);
  op->done(op->state, EDERR_NONE, 0);
  ASSERT_EQ(operation.calls().size(), 3u);
  EXPECT_EQ(operation.calls()[0].kind, OpCallKind::PointCount);
  EXPECT_EQ(operation.calls()[0].mode, EDCOUNT_SELECT);
  EXPECT_EQ(operation.calls()[0].result, 3);
  EXPECT_EQ(operation.calls()[1].point, mesh.id(4));
  EXPECT_EQ(operation.calls()[1].position, (Position{1, 2, 3}));
  EXPECT_EQ(operation.calls()[2].kind, OpCallKind::Done);
  EXPECT_EQ(operation.callCount(OpCallKind::PntMove), 1u);
}

TEST(EditOperation, WithoutTheLogOnlyCountsAndRefusesToShowAnEmptyLog) {
  Mesh mesh = fivePoints();
  EditOperation operation(mesh);
  MeshEditOp *op = operation.op();
  LWDVector target = {1, 2, 3};
  for (int i = 0; i < 3; ++i) op->pntMove(op->state, mesh.id(4), target);
  op->pointInfo(op->state, mesh.id(0));
  EXPECT_EQ(operation.callCount(OpCallKind::PntMove), 3u);
  EXPECT_EQ(operation.callCount(OpCallKind::PointInfo), 1u);
  EXPECT_EQ(operation.callCount(OpCallKind::Done), 0u);
  EXPECT_THROW(operation.calls(), std::logic_error);
}

// What done(0) keeps of the moves: each moved point once, with the position
// it had before, whatever the order and the repeats of the moves.
TEST(EditOperation, DoneKeepsWhatTheMovesReplaced) {
  Mesh mesh = fivePoints();
  EditOperation operation(mesh);
  MeshEditOp *op = operation.op();
  LWDVector first = {1, 1, 1};
  LWDVector second = {2, 2, 2};
  op->pntMove(op->state, mesh.id(3), first);
  op->pntMove(op->state, mesh.id(0), first);
  op->pntMove(op->state, mesh.id(3), second);
  EXPECT_EQ(operation.stagedCount(), 2u);
  EXPECT_EQ(operation.staged(3), (Position{2, 2, 2}));
  EXPECT_EQ(operation.staged(1), std::nullopt);
  EXPECT_TRUE(operation.replaced().empty()) << "nothing is replaced before done";
  op->done(op->state, EDERR_NONE, 0);

  EXPECT_EQ(mesh.position(3), (Position{2, 2, 2}));
  EXPECT_EQ(mesh.position(0), (Position{1, 1, 1}));
  ASSERT_EQ(operation.replaced().size(), 2u);
  for (const standin::PointPosition &point : operation.replaced()) {
    EXPECT_EQ(point.position, (Position{10.0 * static_cast<double>(point.index), 0, 0}));
    EXPECT_TRUE(mesh.written(point.index));
  }
  EXPECT_FALSE(mesh.written(1));
  EXPECT_EQ(operation.stagedCount(), 0u);
  EXPECT_EQ(operation.staged(3), std::nullopt) << "an ended operation stages nothing";
}

TEST(Mesh, CountsItsSelectionAsItChanges) {
  Mesh mesh = fivePoints();
  EXPECT_EQ(mesh.selectedCount(), 3u);
  mesh.setSelected(1, true);
  mesh.setSelected(0, true);
  mesh.setSelected(4, false);
  EXPECT_EQ(mesh.selectedCount(), 3u);
  const std::vector<std::size_t> two{3, 4};
  mesh.selectOnly(two);
  EXPECT_EQ(mesh.selectedCount(), 2u);
  EXPECT_TRUE(mesh.selected(3) && mesh.selected(4) && !mesh.selected(1));
  const std::vector<std::size_t> pastTheEnd{1, 5};
  EXPECT_THROW(mesh.selectOnly(pastTheEnd), std::out_of_range);
  EXPECT_EQ(mesh.selectedCount(), 2u) << "a refused selection changes nothing";
  mesh.clearSelection();
  EXPECT_EQ(mesh.selectedCount(), 0u);
}

}  // namespace

// pointInfo and pntMove answer a plain operation (no fault, log or trace) the
// short way: over random calls (known and unknown points, a null position,
// moves over moves, calls after done) it answers as one with its call log
// kept, which goes the whole way, and leaves the mesh the same.
TEST(EditOperation, APlainOperationAnswersAsOneWithItsLogKept) {
  std::mt19937 random(5);
  for (int round = 0; round < 50; ++round) {
    Mesh plainMesh = fivePoints(), loggedMesh = fivePoints();
    EditOperation plain(plainMesh), logged(loggedMesh);
    logged.keepCallLog();
    const int calls = 1 + static_cast<int>(random() % 40);
    for (int call = 0; call < calls; ++call) {
      const std::size_t index = random() % 7;  // 5 and 6 are past the end
      auto id = [&](const Mesh &mesh) {
        return index < mesh.size() ? mesh.id(index) : reinterpret_cast<LWPntID>(Mesh::kIdBase + 8 * index);
      };
      const auto what = random() % 8;
      if (what == 0) {
        plain.done(0, 0);
        logged.done(0, 0);
      } else if (what < 4) {
        const double at[3] = {static_cast<double>(random() % 9), -0.0, 1.5};
        const bool null = random() % 10 == 0;
        ASSERT_EQ(plain.pntMove(id(plainMesh), null ? nullptr : at), logged.pntMove(id(loggedMesh), null ? nullptr : at))
            << "round " << round << ", call " << call;
      } else {
        const EDPointInfo *a = plain.pointInfo(id(plainMesh));
        const EDPointInfo *b = logged.pointInfo(id(loggedMesh));
        ASSERT_EQ(a == nullptr, b == nullptr) << "round " << round << ", call " << call;
        if (a != nullptr) {
          EXPECT_EQ(plainMesh.indexOf(a->pnt), loggedMesh.indexOf(b->pnt));
          EXPECT_EQ(a->flags, b->flags);
          EXPECT_EQ(std::memcmp(a->position, b->position, sizeof a->position), 0);
        }
      }
    }
    for (OpCallKind kind : {OpCallKind::PointInfo, OpCallKind::PntMove, OpCallKind::Done})
      EXPECT_EQ(plain.callCount(kind), logged.callCount(kind)) << "round " << round;
    EXPECT_EQ(plain.misuseCount(), logged.misuseCount()) << "round " << round;
    for (std::size_t i = 0; i < plainMesh.size(); ++i) {
      EXPECT_EQ(plain.staged(i), logged.staged(i)) << "round " << round << ", point " << i;
      EXPECT_EQ(plainMesh.position(i), loggedMesh.position(i)) << "round " << round << ", point " << i;
    }
  }
}
