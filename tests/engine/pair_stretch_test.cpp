// One pair stretched by a factor or an offset: where its ends go, which moves
// reach the host and in what order, and what a failed move reports.
#include "engine/pair_stretch.h"

#include <cfloat>
#include <limits>
#include <string>
#include <vector>

#include "tests/engine/engine_fixture.h"

namespace ep::testing {
namespace {

class PairStretch : public EngineTest {
 protected:
  // Anchor (0,0,0) as point 1 and handle end (2,0,0) as point 0, collected by
  // a first build at factor 1 (which moves the handle end onto itself).
  void SetUp() override {
    EngineTest::SetUp();
    addPoints({{2, 0, 0}, {0, 0, 0}});
    ASSERT_EQ(build(), "");
    ASSERT_EQ(state_->pointCount, 2);
  }
  int stretch(int mode, double factor, double offset, int symmetry, EditFaults faults = {}) {
    state_->mode = mode;
    state_->factor = factor;
    state_->offset = offset;
    state_->symmetry = symmetry;
    MeshEditOp *op = freshOp(faults);
    const int pair = 0;
    return stretchPair(op, state_, &pair);
  }
};

TEST_F(PairStretch, PlacesTheEndsByModeValueAndSymmetry) {
  struct Case {
    const char *what;
    int mode;
    double factor, offset;
    int symmetry;
    double handleX, anchorX;
    std::vector<std::size_t> moves;
  };
  const Case cases[] = {
      {"factor 1.5", 0, 1.5, 0, 0, 3, 0, {0}},
      {"factor 1.5, symmetry", 0, 1.5, 0, 1, 3, -1, {0, 1}},
      {"offset 1, symmetry", 1, 1, 1, 1, 3, -1, {0, 1}},
      {"offset -3 crosses the anchor", 1, 1, -3, 0, -1, 0, {0}},
      {"offset -2 lands on the anchor", 1, 1, -2, 0, 0, 0, {0}},
      {"negative factor", 0, -0.5, 0, 0, -1, 0, {0}},
      {"factor 0.5 with symmetry meets at the midpoint", 0, 0.5, 0, 1, 1, 1, {0, 1}},
      {"factor 0 with symmetry swaps the ends", 0, 0, 0, 1, 0, 2, {0, 1}},
      {"symmetry other than 1 is off", 0, 1.5, 0, 2, 3, 0, {0}},
      {"an unknown mode changes nothing", 2, 1.5, 5, 1, 2, 0, {0, 1}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(stretch(c.mode, c.factor, c.offset, c.symmetry), 0);
    EXPECT_EQ(moveOrder(), c.moves);
    expectPosition(staged(0), c.handleX, 0, 0);
    expectPosition(staged(1), c.anchorX, 0, 0);
    expectVec(state_->positions[0], c.handleX, 0, 0);
    expectVec(state_->positions[1], c.anchorX, 0, 0);
    expectVec(state_->handleVectors[0], 3, 0, 0);
    EXPECT_EQ(state_->factor, c.factor) << "the stretch never changes the value";
  }
  EXPECT_TRUE(boxes().empty());
}

TEST_F(PairStretch, TheFactorWindowAndTheOffsetEpsilonAreExclusive) {
  struct Case {
    int mode;
    double value;
    bool applies;
  };
  const Case cases[] = {
      {0, 1.0, false},
      {0, 0.999999999999995, false},
      {0, 1.00000000000005, false},
      {0, 0.99999999999999, true},
      {0, 1.0000000000001, true},
      {1, 0.5e-14, false},
      {1, -0.5e-14, false},
      {1, 1e-14, true},
      {1, -1e-14, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " value " << c.value);
    const double factor = c.mode == 0 ? c.value : 1.0;
    const double offset = c.mode == 1 ? c.value : 0.0;
    ASSERT_EQ(stretch(c.mode, factor, offset, 1), 0);
    // The handle end is moved in every case, onto itself when unchanged.
    ASSERT_EQ(moveOrder(), (std::vector<std::size_t>{0, 1}));
    const double expectedHandle = c.mode == 0 ? 0 + c.value * (2.0 * 1.0) : 0 + (2.0 + c.value) * 1.0;
    if (c.applies) {
      EXPECT_EQ(staged(0)[0], expectedHandle);
    } else {
      EXPECT_EQ(staged(0)[0], 2.0);
      EXPECT_EQ(staged(1)[0], 0.0);
    }
  }
}

TEST_F(PairStretch, AnInvertedPairMovesItsSecondPoint) {
  state_->inverted[0] = 1;
  ASSERT_EQ(stretch(0, 1.5, 0, 0), 0);
  // Point 0 at (2,0,0) is now the anchor, point 1 at the origin the handle end.
  EXPECT_EQ(moveOrder(), (std::vector<std::size_t>{1}));
  expectPosition(staged(1), -1, 0, 0);
  expectVec(state_->handleVectors[0], -3, 0, 0);
  // The anchor is read first, then the handle end.
  const auto reads = callsOf(OpCallKind::PointInfo);
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(*mesh_.indexOf(reads[0].point), 0u);
  EXPECT_EQ(*mesh_.indexOf(reads[1].point), 1u);
}

TEST_F(PairStretch, ACoincidentPairMovesNothingAndHasNoHandleVector) {
  mesh_.setPosition(0, {1e-15, 0, -5e-15});
  mesh_.setPosition(1, {0, 0, 0});
  ASSERT_EQ(stretch(0, 2.0, 0, 1), 0);
  EXPECT_TRUE(callsOf(OpCallKind::PntMove).empty());
  expectVec(state_->handleVectors[0], 0, 0, 0);
  expectVec(state_->positions[0], 1e-15, 0, -5e-15);
  expectVec(state_->positions[1], 0, 0, 0);
}

TEST_F(PairStretch, AFailedMoveShowsOneBoxAndReturnsTheHostsCode) {
  for (int code : {1, 4, 7}) {
    SCOPED_TRACE(code);
    globals_.messages().clear();
    EditFaults handleFails;
    handleFails.failMovePoint = 0;
    handleFails.moveFailCode = code;
    EXPECT_EQ(stretch(0, 1.5, 0, 1, handleFails), code);
    EXPECT_EQ(callsOf(OpCallKind::PntMove).size(), 1u)
        << "the anchor is not moved after the handle end failed";
    EXPECT_EQ(boxes(), (std::vector<MessageBox>{{MessageKind::Error, "Error (Code #017)", "Unknown."}}));

    globals_.messages().clear();
    EditFaults anchorFails;
    anchorFails.failMovePoint = 1;
    anchorFails.moveFailCode = code;
    EXPECT_EQ(stretch(0, 1.5, 0, 1, anchorFails), code);
    EXPECT_EQ(boxes(), (std::vector<MessageBox>{{MessageKind::Error, "Error (Code #018)", "Unknown."}}));
  }
}

TEST_F(PairStretch, APointTheHostCannotFindEndsTheStretchWithABox) {
  for (std::size_t point : {0u, 1u}) {  // the handle end, the anchor end
    SCOPED_TRACE(point);
    globals_.messages().clear();
    EditFaults faults;
    faults.nullInfoPoint = point;
    EXPECT_NE(stretch(0, 1.5, 0, 0, faults), 0);
    EXPECT_TRUE(callsOf(OpCallKind::PntMove).empty());
    EXPECT_EQ(boxes(), (std::vector<MessageBox>{{MessageKind::Error, "Error (Code #001)", "Unknown."}}));
  }
}

TEST_F(PairStretch, NonFinitePositionsDoNotCrash) {
  mesh_.setPosition(0, {std::numeric_limits<double>::infinity(), 0, 0});
  mesh_.setPosition(1, {std::numeric_limits<double>::quiet_NaN(), 1, 0});
  EXPECT_EQ(stretch(0, 1.5, 0, 1), 0);
  EXPECT_EQ(stretch(1, 1, 2.0, 1), 0);
}

}  // namespace
// Every pair loop (a first build's reset step, a recompute on fresh and on
// kept buffers, a CTRL drag) under every kind of rule (Factor without
// Symmetry, the common pass; Factor, Offset and a value that leaves the pairs
// with Symmetry; Offset without), with a fault at the middle pair of three:
// the host cannot find either end, a move fails, the pair's ends coincide, its
// place leaves the double range, an end is not finite; or no fault but ends
// so far out that the sum of their coordinates overflows. Each build fails
// exactly when the fault leaves no sound result, shows one box then, leaves
// the mesh at its base, and on fresh buffers leaves the unreached pair's
// entries clear; otherwise the other pairs land where the rule puts them.
class PairLoops : public EngineTest {};

TEST_F(PairLoops, EveryLoopAndRuleMeetsEveryFaultAsTheSingleStretchDoes) {
  struct Rule {
    const char *what;
    int mode;
    double value;  // the factor or the offset
    int symmetry;
    double huge;  // a value that overflows the long pair of the range fault
  };
  const Rule rules[] = {{"factor", 0, 1.5, 0, 1e300},
                        {"factor, symmetry", 0, 1.5, 1, 1e300},
                        {"offset, symmetry", 1, 0.5, 1, DBL_MAX},
                        {"offset", 1, 0.5, 0, DBL_MAX},
                        {"unchanged, symmetry", 0, 1.0, 1, 1.0}};
  enum Path { Reset, FreshRecompute, Recompute, CtrlDrag };
  enum Fault { None, NoAnchor, NoHandle, HandleMoveFails, AnchorMoveFails, Coincide, OutOfRange, NotFinite, FarOut };
  const double inf = std::numeric_limits<double>::infinity();
  for (const Rule &rule : rules) {
    for (Path path : {Reset, FreshRecompute, Recompute, CtrlDrag}) {
      for (int f = None; f <= FarOut; ++f) {
        const auto fault = static_cast<Fault>(f);
        SCOPED_TRACE(std::string(rule.what) + ", path " + std::to_string(path) + ", fault " +
                     std::to_string(f));
        startOver();
        globals_.messages().clear();
        // Pairs (handle end, anchor end): along x, along y (the faulty one), along z.
        std::vector<Position> points{{2, 0, 0}, {0, 0, 0}, {0, 4, 0}, {0, 2, 0}, {0, 0, 9}, {0, 0, 6}};
        if (fault == Coincide) points[2] = points[3];
        if (fault == OutOfRange) points[2] = {0, 2 + (rule.mode == 0 ? 1e10 : 1e300), 0};
        if (fault == NotFinite) points[3] = {inf, 2, 0};
        if (fault == FarOut) points[2] = {1e308, 4, 1e308}, points[3] = {1e308, 2, 1e308};
        addPoints(points);
        const bool kept = path == Recompute || path == CtrlDrag;
        state_->active = 1;  // a failed build ended the last edit
        state_->activeHandle = kNoHandle;
        state_->updateAll = kUpdateResetOrDrag;
        state_->allHandles = 0;
        state_->mode = rule.mode;
        state_->factor = kept ? 1.0 : rule.mode == 0 ? rule.value : 1.0;
        state_->offset = rule.mode == 1 && !kept ? rule.value : 0.0;
        state_->symmetry = rule.symmetry;
        if (path == FreshRecompute) state_->updateAll = kUpdateAllPairs;
        if (kept) {
          ASSERT_EQ(build(), "");  // moves nothing: the value leaves every pair
        }
        const std::vector<Position> base = mesh_.positions();
        const double value = fault == OutOfRange ? rule.huge : rule.value;
        if (path == Recompute) {
          (rule.mode == 0 ? state_->factor : state_->offset) = value;
          state_->updateAll = kUpdateAllPairs;
        } else if (path == CtrlDrag) {
          LWToolEvent event{};
          event.posRaw[0] = 4;  // pair 0 pulled to twice its length
          event.portAxis = -1;
          event.flags = LWT_EVENT_CTRL;
          funcs_.adjust(state_, &event, 0);
        } else if (fault == OutOfRange) {
          (rule.mode == 0 ? state_->factor : state_->offset) = value;
        }
        EditFaults faults;
        if (fault == NoAnchor) faults.nullInfoPoint = 3;
        if (fault == NoHandle) faults.nullInfoPoint = 2;
        if (fault == HandleMoveFails) faults.failMovePoint = 2;
        if (fault == AnchorMoveFails) faults.failMovePoint = 3;
        const bool moves = path == CtrlDrag || rule.value != 1.0;
        const bool fails = fault == NoAnchor || fault == NoHandle || fault == HandleMoveFails ||
                           (fault == AnchorMoveFails && rule.symmetry == 1) ||
                           (fault == OutOfRange && moves && path != CtrlDrag);
        globals_.messages().clear();
        EXPECT_EQ(build(faults), fails ? "Failed" : "");
        EXPECT_EQ(boxes().size(), fails ? 1u : 0u);
        if (fails) {
          EXPECT_EQ(mesh_.positions(), base) << "a failed build leaves the base";
          if (path == Reset || path == FreshRecompute) {
            const Vec3 &h = state_->positions[4], &a = state_->positions[5], &v = state_->handleVectors[2];
            EXPECT_TRUE(h.x == 0 && h.y == 0 && h.z == 0 && a.x == 0 && a.y == 0 && a.z == 0 && v.x == 0 &&
                        v.y == 0 && v.z == 0 && state_->inverted[2] == 0)
                << "the unreached pair's entries are clear";
          }
          continue;
        }
        if (path == CtrlDrag) continue;  // the drag solve's value: its own tests
        // Pairs 0 and 2 where the rule puts them (lengths 2 and 3, exact); the
        // far-out pair too (length 2).
        for (int pair : {0, 2, 1}) {
          if (pair == 1 && fault != FarOut) continue;
          const Position h = points[2 * pair], a = points[2 * pair + 1];
          const double length = pair == 2 ? 3 : 2;
          const double along = rule.value == 1.0 ? 0 : rule.mode == 0 ? value * length : length + value;
          const int axis = pair;
          Position handle = h, anchor = a;
          if (along != 0) {
            handle[axis] = a[axis] + along;
            if (rule.symmetry == 1) anchor[axis] = h[axis] - along;
          }
          EXPECT_EQ(mesh_.position(static_cast<std::size_t>(2 * pair)), handle) << "pair " << pair;
          EXPECT_EQ(mesh_.position(static_cast<std::size_t>(2 * pair + 1)), anchor) << "pair " << pair;
        }
      }
    }
  }
}

}  // namespace ep::testing
