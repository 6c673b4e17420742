// Solving a dragged handle: the value, the moves, the CTRL loop, the
// zero-length case and the failures.
#include "engine/drag_solve.h"

#include <limits>

#include "engine/pass_result.h"
#include "tests/engine/engine_fixture.h"

namespace ep::testing {
namespace {

class DragSolve : public EngineTest {
 protected:
  // Pairs are given as (first point, second point); a first build at factor
  // 1 collects them and leaves every pair with its first point as handle end.
  void makePairs(const std::vector<std::pair<Position, Position>> &pairs) {
    for (const auto &[first, second] : pairs) addPoints({first, second});
    // A plain first build that leaves every point where it is.
    state_->mode = 0;
    state_->factor = 1.0;
    state_->symmetry = 0;
    state_->activeHandle = kNoHandle;
    state_->updateAll = kUpdateResetOrDrag;
    state_->allHandles = 0;
    ASSERT_EQ(build(), "");
  }
  // Drag point k to q and solve, as adjust and the next build would.
  int drag(int k, const Vec3 &q, bool ctrl = false, EditFaults faults = {}) {
    state_->activeHandle = k;
    state_->allHandles = ctrl ? 1 : 0;
    state_->positions[k] = q;
    return solveHandleDrag(freshOp(faults), state_);
  }
};

// Partner (0,0,0), dragged point (2,0,0): point 1 is dragged, point 0 is its
// partner by parity.
TEST_F(DragSolve, SolvesTheValueFromTheProjectionOntoThePairsLine) {
  struct Case {
    const char *what;
    int mode;
    int symmetry;
    Vec3 to;
    double value;  // the solved factor or offset
    double pointX, partnerX;
  };
  const Case cases[] = {
      {"factor, across the line", 0, 0, {3, 4, 0}, 1.5, 3, 0},
      {"factor with symmetry", 0, 1, {3, 4, 0}, 1.5, 3, -1},
      {"offset", 1, 0, {3, 4, 0}, 1.0, 3, 0},
      {"factor past the partner", 0, 0, {-1, 0, 0}, -0.5, -1, 0},
      {"offset past the partner", 1, 0, {-1, 0, 0}, -3.0, -1, 0},
      {"factor onto the partner", 0, 0, {0, 0, 0}, 0.0, 0, 0},
      {"offset onto the partner", 1, 0, {0, 0, 0}, -2.0, 0, 0},
      {"onto the partner with symmetry swaps", 0, 1, {0, 0, 0}, 0.0, 0, 2},
      {"factor inside the window stays", 0, 1, {2, 7, 0}, 1.0, 2, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    startOver();
    makePairs({{{0, 0, 0}, {2, 0, 0}}});
    state_->mode = c.mode;
    state_->symmetry = c.symmetry;
    state_->factor = 7;
    state_->offset = 7;
    ASSERT_EQ(drag(1, c.to), 0);
    EXPECT_DOUBLE_EQ(c.mode == 0 ? state_->factor : state_->offset, c.value);
    EXPECT_EQ(c.mode == 0 ? state_->offset : state_->factor, 7) << "only the current mode's value is written";
    expectPosition(staged(1), c.pointX, 0, 0);
    expectPosition(staged(0), c.partnerX, 0, 0);
    expectVec(state_->handleVectors[0], 3, 0, 0);
    const std::vector<std::size_t> expectedMoves =
        c.symmetry == 1 ? std::vector<std::size_t>{1, 0} : std::vector<std::size_t>{1};
    EXPECT_EQ(moveOrder(), expectedMoves);
  }
}

TEST_F(DragSolve, ThePartnerIsFoundByParity) {
  makePairs({{{0, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {1, 1, 0}}, {{0, 2, 0}, {2, 2, 0}}});
  ASSERT_EQ(drag(5, {3, 2, 0}), 0);  // partner 4, pair 2
  EXPECT_DOUBLE_EQ(state_->factor, 1.5);
  EXPECT_EQ(moveOrder(), (std::vector<std::size_t>{5}));
  ASSERT_EQ(drag(4, {-2, 2, 0}), 0);  // partner 5: (2,2,0) -> (0,2,0) has length 2; -2 lies at 4 along
  EXPECT_DOUBLE_EQ(state_->factor, 2.0);
  expectPosition(staged(4), -2, 2, 0);
}

TEST_F(DragSolve, WithoutAHandleOnlyReadsEveryPositionBack) {
  makePairs({{{0, 0, 0}, {2, 0, 0}}, {{0, 1, 0}, {2, 1, 0}}});
  for (int k : {-1, 4, 99}) {
    SCOPED_TRACE(k);
    state_->positions[2] = {9, 9, 9};
    state_->factor = 1.25;
    state_->activeHandle = k;
    ASSERT_EQ(solveHandleDrag(freshOp(), state_), 0);
    EXPECT_TRUE(callsOf(OpCallKind::PntMove).empty());
    EXPECT_EQ(callsOf(OpCallKind::PointInfo).size(), 4u);
    expectVec(state_->positions[2], 0, 1, 0);
    EXPECT_EQ(state_->factor, 1.25);
  }
}

TEST_F(DragSolve, CtrlStretchesEveryOtherPairInOrderWithOneMonitorStepEach) {
  makePairs({{{0, 0, 0}, {2, 0, 0}}, {{0, 1, 0}, {2, 1, 0}}, {{0, 2, 0}, {0, 2, 4}}});
  // Run through a whole build so the monitor exists, as in the tool.
  state_->activeHandle = 3;
  state_->allHandles = 1;
  state_->positions[3] = {3, 1, 0};  // pair 1, partner point 2: factor 1.5
  ASSERT_EQ(build(), "");
  EXPECT_DOUBLE_EQ(state_->factor, 1.5);
  // Pair 1 first (the drag), then pairs 0 and 2 through the stretch.
  EXPECT_EQ(moveOrder(), (std::vector<std::size_t>{3, 0, 4}));
  expectPosition(mesh_.position(0), -1, 0, 0);  // handle end 0 about anchor 1 at (2,0,0)
  expectPosition(mesh_.position(4), 0, 2, -2);  // handle end 4 about anchor 5 at (0,2,4)
  const auto &log = globals_.monitors().history().back();
  // One step per scanned point, then one per pair in the CTRL loop.
  EXPECT_EQ(log.stepCalls, 6u + 3u);
}

TEST_F(DragSolve, AnAbortAtTheFirstCtrlStepLeavesOnlyTheDraggedPairMoved) {
  makePairs({{{0, 0, 0}, {2, 0, 0}}, {{0, 1, 0}, {2, 1, 0}}});
  globals_.monitors().abortAtStep(4 + 1);  // the scan takes four steps
  state_->activeHandle = 1;
  state_->allHandles = 1;
  state_->positions[1] = {3, 0, 0};
  EXPECT_EQ(build(), "Failed");
  EXPECT_EQ(moveOrder(), (std::vector<std::size_t>{1}));
  EXPECT_FALSE(op_->doneCalled());
  EXPECT_TRUE(globals_.monitors().history().back().destroyed);
}

TEST_F(DragSolve, WithoutCtrlTheOtherPointsAreReadBack) {
  makePairs({{{0, 0, 0}, {2, 0, 0}}, {{0, 1, 0}, {2, 1, 0}}});
  state_->positions[2] = {5, 5, 5};  // stale, e.g. from an earlier CTRL drag
  ASSERT_EQ(drag(1, {3, 0, 0}), 0);
  expectVec(state_->positions[2], 0, 1, 0);
}

TEST_F(DragSolve, AZeroLengthPairFollowsTheDragExactly) {
  makePairs({{{1, 1, 1}, {1, 1, 1}}, {{0, 0, 0}, {2, 0, 0}}});
  state_->factor = 2;
  state_->offset = 2;
  ASSERT_EQ(drag(1, {1, 1, 4}), 0);
  EXPECT_EQ(state_->factor, 1.0);
  EXPECT_EQ(state_->offset, 0.0);
  expectPosition(staged(1), 1, 1, 4);
  expectVec(state_->handleVectors[0], 0, 0, 3);
  EXPECT_EQ(moveOrder(), (std::vector<std::size_t>{1}));
}

TEST_F(DragSolve, AZeroLengthDragWithCtrlCarriesEveryOtherPairAlong) {
  makePairs({{{1, 1, 1}, {1, 1, 1}}, {{0, 0, 0}, {2, 0, 0}}});
  state_->inverted[1] = 1;  // pair 1: handle end is point 3
  ASSERT_EQ(drag(1, {1, 1, 4}, /*ctrl=*/true), 0);
  EXPECT_EQ(moveOrder(), (std::vector<std::size_t>{1, 3, 2}));
  expectPosition(staged(3), 2, 0, 3);
  expectPosition(staged(2), 0, 0, 0);  // the anchor is moved onto itself
  expectVec(state_->handleVectors[1], 0, 0, 3);
}

TEST_F(DragSolve, AZeroLengthPairDraggedOntoItselfMovesNothing) {
  makePairs({{{1, 1, 1}, {1, 1, 1}}});
  state_->factor = 2;
  ASSERT_EQ(drag(0, {1, 1, 1}), 0);
  EXPECT_TRUE(callsOf(OpCallKind::PntMove).empty());
  expectVec(state_->handleVectors[0], 0, 0, 0);
  EXPECT_EQ(state_->factor, 2);
}

TEST_F(DragSolve, EachFailedMoveHasItsOwnBox) {
  struct Case {
    const char *title;
    std::pair<Position, Position> pair0;
    int symmetry;
    bool ctrl;
    std::size_t failing;
  };
  const Case cases[] = {
      {"Error (Code #020)", {{0, 0, 0}, {2, 0, 0}}, 0, false, 1},
      {"Error (Code #021)", {{0, 0, 0}, {2, 0, 0}}, 1, false, 0},
      {"Error (Code #019)", {{1, 1, 1}, {1, 1, 1}}, 0, false, 1},
      {"Error (Code #022)", {{1, 1, 1}, {1, 1, 1}}, 0, true, 2},
      {"Error (Code #023)", {{1, 1, 1}, {1, 1, 1}}, 0, true, 3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.title);
    startOver();
    makePairs({c.pair0, {{0, 5, 0}, {0, 5, 1}}});
    state_->symmetry = c.symmetry;
    globals_.messages().clear();
    EditFaults faults;
    faults.failMovePoint = c.failing;
    faults.moveFailCode = 9;
    EXPECT_EQ(drag(1, {1, 1, 4}, c.ctrl, faults), 9);
    EXPECT_EQ(boxes(), (std::vector<MessageBox>{{MessageKind::Error, c.title, "Unknown."}}));
  }
}

TEST_F(DragSolve, NonFiniteDragsDoNotCrash) {
  makePairs({{{0, 0, 0}, {2, 0, 0}}, {{1, 1, 1}, {1, 1, 1}}});
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  for (int mode : {0, 1}) {
    state_->mode = mode;
    for (const Vec3 &q : {Vec3{nan, 0, 0}, Vec3{inf, 0, 0}, Vec3{-inf, inf, 0}}) {
      EXPECT_EQ(drag(1, q, true), 0);
      EXPECT_EQ(drag(3, q, true), 0);
    }
  }
}

// What the host reports at a place that is not finite leaves its pair where
// it is, and a drag with no place to go still reads every point back, where a
// point the host no longer knows fails the build.
TEST_F(DragSolve, APairReadAtANonFinitePlaceStaysAndEveryPointIsStillRead) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  // Pair 1's handle end is finite, its anchor end is not: a zero-length drag
  // with CTRL passes over it.
  makePairs({{{1, 1, 1}, {1, 1, 1}}, {{0, 5, 0}, {inf, 5, 0}}});
  ASSERT_EQ(drag(1, {1, 1, 4}, /*ctrl=*/true), 0);
  EXPECT_EQ(moveOrder(), (std::vector<std::size_t>{1}));
  expectVec(state_->handleVectors[1], 0, 0, 0);

  globals_.messages().clear();
  EditFaults faults;
  faults.nullInfoPoint = 3;
  EXPECT_EQ(drag(1, {nan, 0, 0}, /*ctrl=*/true, faults), kPassFailed);
  EXPECT_TRUE(callsOf(OpCallKind::PntMove).empty());
  EXPECT_EQ(boxes(), (std::vector<MessageBox>{{MessageKind::Error, "Error (Code #001)", "Unknown."}}));
}

}  // namespace
}  // namespace ep::testing
