// The build: counting and collecting the selection, the buffers, the
// monitor, the dispatch between reset, recompute and drag, and every way a
// build can fail.
#include "engine/build_pass.h"

#include "engine/allocation.h"
#include "host/services.h"
#include "tests/engine/engine_fixture.h"

namespace ep::testing {
namespace {

class BuildPass : public EngineTest {
 protected:
  // Two pairs along x: (0,0,0)-(2,0,0) and (0,1,0)-(4,1,0), plus one
  // unselected point in between that the scan delivers too.
  void makeTwoPairs() {
    addPoints({{0, 0, 0}, {2, 0, 0}});
    mesh_.addPoint({7, 7, 7}, false);
    addPoints({{0, 1, 0}, {4, 1, 0}});
  }
  void expectFailedEntryFlags() {
    EXPECT_EQ(state_->active, 0);
    EXPECT_EQ(state_->drawState, kDrawNothing);
    EXPECT_EQ(state_->testResult, LWT_TEST_UPDATE);
  }
  void expectSucceededEntryFlags() {
    EXPECT_EQ(state_->active, 1);
    EXPECT_EQ(state_->drawState, kDrawRedraw);
    EXPECT_EQ(state_->testResult, LWT_TEST_NOTHING);
  }
};

TEST_F(BuildPass, FirstBuildCollectsPairsInScanOrderAndEndsTheOperationOnce) {
  makeTwoPairs();
  state_->factor = 1.5;
  ASSERT_EQ(build(), "");
  expectSucceededEntryFlags();
  EXPECT_EQ(state_->pointCount, 4);
  EXPECT_EQ(state_->scanCount, 4);
  EXPECT_EQ(state_->pointIds[2], mesh_.id(3)) << "the unselected point is skipped";
  // Reset step: every pair recomputed in order, then every position read back.
  EXPECT_EQ(moveOrder(), (std::vector<std::size_t>{0, 3}));
  expectPosition(mesh_.position(0), -1, 0, 0);
  expectPosition(mesh_.position(3), -2, 1, 0);
  expectVec(state_->positions[0], -1, 0, 0);
  // done exactly once, with (0, 0), after the last move; then the monitor ends.
  const auto &calls = op_->calls();
  ASSERT_EQ(calls.back().kind, OpCallKind::Done);
  EXPECT_EQ(op_->callCount(OpCallKind::Done), 1u);
  EXPECT_EQ(calls.back().error, 0);
  EXPECT_EQ(calls.back().selm, 0);
  const auto &log = globals_.monitors().history().back();
  EXPECT_EQ(log.title, "Elastic_Pull");
  EXPECT_EQ(log.caption, "Tasking...");
  EXPECT_EQ(log.total, 8u);
  EXPECT_EQ(log.stepCalls, 5u) << "one step per scanned point, selected or not";
  EXPECT_TRUE(log.done && log.destroyed);
  EXPECT_EQ(currentMonitor, nullptr);
}

TEST_F(BuildPass, DispatchFollowsActiveHandleAndUpdateAll) {
  makeTwoPairs();
  ASSERT_EQ(build(), "");
  struct Case {
    const char *what;
    int activeHandle, updateAll;
    std::vector<std::size_t> moves;
    bool flagsCleared;
    std::size_t loopSteps;  // monitor steps beyond the scan's five
  };
  const Case cases[] = {
      {"reset: flags cleared, every pair, then read back", -1, 0, {0, 3}, true, 0},
      {"recompute every pair, flags kept", -1, 1, {1, 3}, false, 2},
      {"recompute whatever the handle", 3, 1, {1, 3}, false, 2},
      {"after Invert Handle: read back only", -1, -1, {}, false, 0},
      {"drag solve for the handle", 0, 0, {0}, false, 0},
      {"drag solve with updateAll -1", 0, -1, {0}, false, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    state_->inverted[0] = 1;  // pair 0's handle end is point 1
    state_->inverted[1] = 0;
    state_->factor = 2.0;
    state_->activeHandle = c.activeHandle;
    state_->updateAll = c.updateAll;
    if (c.activeHandle >= 0) state_->positions[c.activeHandle] = {-4, 0, 0};
    ASSERT_EQ(build(), "");
    EXPECT_EQ(moveOrder(), c.moves);
    EXPECT_EQ(state_->inverted[0], c.flagsCleared ? 0 : 1);
    EXPECT_EQ(globals_.monitors().history().back().stepCalls, 5 + c.loopSteps);
  }
}

TEST_F(BuildPass, OddSelectionLeavesTheLastSelectedPointOut) {
  addPoints({{0, 0, 0}, {1, 0, 0}, {5, 5, 5}});
  ASSERT_EQ(build(), "");
  EXPECT_EQ(state_->pointCount, 2);
  EXPECT_EQ(state_->scanCount, 3);
  // A later build with 3 selected points still fits: 3 becomes 2.
  ASSERT_EQ(build(), "");
  EXPECT_EQ(state_->pointCount, 2);
}

TEST_F(BuildPass, FewerThanTwoPointsWarnsAndFails) {
  for (int selected : {0, 1}) {
    SCOPED_TRACE(selected);
    startOver();
    globals_.messages().clear();
    state_->active = 1;
    addPoints({{0, 0, 0}, {1, 0, 0}}, false);
    for (int i = 0; i < selected; ++i) mesh_.setSelected(static_cast<std::size_t>(i), true);
    const std::size_t monitorsBefore = globals_.monitors().history().size();
    EXPECT_EQ(build(), "Failed");
    expectFailedEntryFlags();
    EXPECT_EQ(state_->pointCount, 0);
    EXPECT_EQ(state_->positions, nullptr);
    EXPECT_EQ(globals_.monitors().history().size(), monitorsBefore) << "no monitor is created";
    EXPECT_EQ(boxes(),
              (std::vector<MessageBox>{{MessageKind::Warning, "Active layers contain no data for operation.",
                                        "Please select two or more points."}}));
  }
}

TEST_F(BuildPass, AnotherSelectionSizeIsRefusedWithoutTouchingTheMesh) {
  makeTwoPairs();
  ASSERT_EQ(build(), "");
  Vec3 *const positions = state_->positions;
  addPoints({{9, 9, 9}, {8, 8, 8}});
  EXPECT_EQ(build(), "") << "reported, but not a failed pass";
  expectSucceededEntryFlags();
  EXPECT_EQ(state_->pointCount, 4);
  EXPECT_EQ(state_->positions, positions);
  EXPECT_EQ(op_->calls().size(), 1u) << "only the count: no scan, no done";
  EXPECT_EQ(boxes(), (std::vector<MessageBox>{{MessageKind::Error, "Error (Code #015)", "Unknown."}}));
}

TEST_F(BuildPass, ALaterBuildWithTheSameCountAllocatesNothing) {
  makeTwoPairs();
  ASSERT_EQ(build(), "");
  ::ep::testing::failAllocationNumber(1);  // any allocation now would fail
  ASSERT_EQ(build(), "");
  EXPECT_EQ(::ep::testing::allocationsSinceArmed(), 0u);
  ::ep::testing::failAllocationNumber(0);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(BuildPass, AFailedBufferAllocationFreesEveryBufferAndLaterBuildsRecover) {
  for (unsigned k = 1; k <= 4; ++k) {
    SCOPED_TRACE(::testing::Message() << "allocation " << k << " fails");
    startOver();
    globals_.messages().clear();
    makeTwoPairs();
    ::ep::testing::failAllocationNumber(k);
    EXPECT_EQ(build(), "");
    EXPECT_EQ(::ep::testing::allocationsSinceArmed(), 4u) << "a failure does not stop the later allocations";
    ::ep::testing::failAllocationNumber(0);
    EXPECT_EQ(state_->pointCount, 4);
    EXPECT_FALSE(hasBuffers(*state_));
    EXPECT_EQ(state_->positions, nullptr);
    EXPECT_EQ(state_->pointIds, nullptr);
    EXPECT_EQ(state_->inverted, nullptr);
    EXPECT_EQ(state_->handleVectors, nullptr);
    EXPECT_EQ(boxes(), (std::vector<MessageBox>{{MessageKind::Error, "Error (Code #010)",
                                                 "It failed in the reservation of memory."}}));
    // The tool's callbacks stay away from the absent buffers.
    LWToolEvent event{};
    EXPECT_EQ(funcs_.count(state_, &event), 0);
    LWDVector out = {5, 5, 5};
    EXPECT_EQ(funcs_.handle(state_, &event, 1, out), 0) << "no position, so not a handle";
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(funcs_.adjust(state_, &event, 1), 1);
    // The next build allocates again and works.
    ASSERT_EQ(build(), "");
    EXPECT_TRUE(hasBuffers(*state_));
  }
}

TEST_F(BuildPass, FreshInversionFlagsStartAtZeroEvenWhenTheFirstBuildRecomputes) {
  makeTwoPairs();
  state_->updateAll = kUpdateAllPairs;  // e.g. the activate event came first
  state_->factor = 1.5;
  ASSERT_EQ(build(), "");
  EXPECT_EQ(state_->inverted[0], 0);
  EXPECT_EQ(state_->inverted[1], 0);
  EXPECT_EQ(moveOrder(), (std::vector<std::size_t>{0, 3}));
}

TEST_F(BuildPass, AbortDuringTheScanReportsAndFails) {
  makeTwoPairs();
  globals_.monitors().abortAtStep(3);
  EXPECT_EQ(build(), "Failed");
  expectFailedEntryFlags();
  EXPECT_EQ(state_->scanCount, 2);
  EXPECT_FALSE(op_->doneCalled());
  EXPECT_TRUE(globals_.monitors().history().back().destroyed);
  EXPECT_EQ(boxes(), (std::vector<MessageBox>{{MessageKind::Error, "Error (Code #001)", "Unknown."}}));
}

TEST_F(BuildPass, AbortInTheRecomputeLoopKeepsTheMovedPairs) {
  makeTwoPairs();
  ASSERT_EQ(build(), "");
  globals_.monitors().abortAtStep(5 + 2);  // the second pair's step
  state_->updateAll = kUpdateAllPairs;
  state_->factor = 3;
  EXPECT_EQ(build(), "Failed");
  EXPECT_EQ(moveOrder(), (std::vector<std::size_t>{0}));
  EXPECT_TRUE(boxes().empty()) << "an abort shows no box";
}

TEST_F(BuildPass, WithoutAMonitorThePassCompletesUnstepped) {
  globals_.monitors().setAvailable(false);
  globals_.monitors().abortAtStep(1);
  makeTwoPairs();
  state_->updateAll = kUpdateAllPairs;
  state_->factor = 2;
  ASSERT_EQ(build(), "");
  EXPECT_EQ(moveOrder(), (std::vector<std::size_t>{0, 3}));
  EXPECT_TRUE(op_->doneCalled());
}

TEST_F(BuildPass, AScanThatDeliversFewerPointsThanCountedFailsSafely) {
  makeTwoPairs();
  EditFaults faults;
  faults.scanWithholdSelected = 1;
  EXPECT_EQ(build(faults), "Failed");
  expectFailedEntryFlags();
  EXPECT_TRUE(callsOf(OpCallKind::PointInfo).empty()) << "no unfilled ID may reach the host";
  EXPECT_TRUE(callsOf(OpCallKind::PntMove).empty());
  EXPECT_EQ(boxes(), (std::vector<MessageBox>{{MessageKind::Error, "Error (Code #001)", "Unknown."}}));
}

TEST_F(BuildPass, AnUnknownPointFailsThePassWithOneBox) {
  makeTwoPairs();
  EditFaults faults;
  faults.nullInfoAll = true;
  EXPECT_EQ(build(faults), "Failed");
  EXPECT_EQ(boxes(), (std::vector<MessageBox>{{MessageKind::Error, "Error (Code #001)", "Unknown."}}));
}

TEST_F(BuildPass, AFailedMoveFailsThePassAfterTheStretchesBox) {
  makeTwoPairs();
  EditFaults faults;
  faults.failMovePoint = 3;
  faults.moveFailCode = 6;
  state_->factor = 2;
  EXPECT_EQ(build(faults), "Failed");
  EXPECT_EQ(boxes(), (std::vector<MessageBox>{{MessageKind::Error, "Error (Code #017)", "Unknown."}}));
  EXPECT_FALSE(op_->doneCalled());
}

TEST_F(BuildPass, AnInactiveInstanceDoesNotTouchTheOperation) {
  makeTwoPairs();
  state_->active = 0;
  state_->testResult = LWT_TEST_CLONE;
  EXPECT_EQ(build(), "");
  EXPECT_EQ(state_->testResult, LWT_TEST_UPDATE);
  EXPECT_TRUE(op_->calls().empty());
}

}  // namespace
}  // namespace ep::testing
