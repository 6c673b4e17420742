// The handles the tool offers, a drag of a handle end, a click on an anchor
// end, and the help line.
#include <climits>
#include <cstring>

#include "tests/engine/engine_fixture.h"

namespace ep::testing {
namespace {

class Handles : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    addPoints({{0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {4, 1, 0}});
    ASSERT_EQ(build(), "");
  }
  LWToolEvent event(const Vec3 &raw, int flags = 0) {
    LWToolEvent e{};
    e.posSnap[0] = 100;  // the snapped position must never be used
    e.posSnap[1] = 100;
    e.posSnap[2] = 100;
    e.posRaw[0] = raw.x;
    e.posRaw[1] = raw.y;
    e.posRaw[2] = raw.z;
    e.flags = flags;
    return e;
  }
};

TEST_F(Handles, CountOffersOnePerPointOnlyWhileLive) {
  LWToolEvent e{};
  EXPECT_EQ(funcs_.count(state_, &e), 4);
  state_->active = 0;
  EXPECT_EQ(funcs_.count(state_, &e), 0);
  EXPECT_EQ(funcs_.start(state_, &e), 0);  // point 0 is the handle end at the press
  EXPECT_EQ(state_->active, 1);
  EXPECT_EQ(funcs_.count(state_, &e), 4);
}

TEST_F(Handles, CountIsZeroBeforeTheFirstBuild) {
  startOver();
  LWToolEvent e{};
  EXPECT_EQ(funcs_.count(state_, &e), 0);
}

TEST_F(Handles, StartNeverChangesTheTestCode) {
  LWToolEvent e{};
  for (int active : {0, 1}) {
    state_->active = active;
    state_->testResult = LWT_TEST_CLONE;
    EXPECT_EQ(funcs_.start(state_, &e), 0);
    EXPECT_EQ(state_->active, 1);
    EXPECT_EQ(state_->testResult, LWT_TEST_CLONE);
  }
}

// Handle ends here: point 0 at (0,0,0) and point 2 at (0,1,0); anchor ends
// point 1 at (2,0,0) and point 3 at (4,1,0).
TEST_F(Handles, StartAnswersTheHandleEndNearestToThePressInTheViewsPlane) {
  struct Case {
    const char *what;
    Vec3 press;
    int portAxis;
    int inverted1;  // pair 1's flag
    int expected;
  };
  const Case cases[] = {
      {"perspective, beside point 0", {0.1, 0.2, 0}, -1, 0, 0},
      {"perspective: depth counts", {0, 0.4, 3}, -1, 0, 0},
      {"front view: z left out", {3, 0.9, 50}, 2, 0, 2},
      {"perspective: the same press", {3, 0.9, 50}, -1, 0, 2},
      {"side view: x left out", {100, 0.9, 0}, 0, 0, 2},
      {"top view: y left out, a tie goes to the lower pair", {0.1, 7, 0}, 1, 0, 0},
      {"an unknown axis counts as perspective", {0.1, 0.2, 0}, 7, 0, 0},
      {"on an anchor end: the nearest handle end, no swap", {2, 0, 0}, -1, 0, 0},
      {"pair 1 inverted: its second point is its handle end", {3.9, 1, 0}, -1, 1, 3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    state_->inverted[1] = c.inverted1;
    LWToolEvent e = event(c.press);
    e.portAxis = c.portAxis;
    EXPECT_EQ(funcs_.start(state_, &e), c.expected);
    EXPECT_EQ(state_->inverted[0], 0);
    EXPECT_EQ(state_->inverted[1], c.inverted1);
  }
}

TEST_F(Handles, StartWithoutPairsAnswersOne) {
  LWToolEvent e = event({0, 0, 0});
  startOver();
  addPoints({{0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {4, 1, 0}});
  ::ep::testing::failAllocationNumber(1);  // a memory failure in the build: no buffers
  ASSERT_EQ(build(), "");
  ::ep::testing::failAllocationNumber(0);
  ASSERT_FALSE(hasBuffers(*state_));
  EXPECT_EQ(funcs_.start(state_, &e), 1);
  startOver();  // before the first build
  EXPECT_EQ(funcs_.start(state_, &e), 1);
}

TEST_F(Handles, HandleReportsPositionsAndPriorities) {
  LWToolEvent e{};
  struct Case {
    int index;
    int priority;
    bool writes;
  };
  // Outside the points nothing is written and the answer is "not a handle",
  // also where index + 1 would overflow.
  for (const Case &c : {Case{0, 1, true}, Case{3, 4, true}, Case{-1, 0, false}, Case{4, 0, false},
                        Case{INT_MAX, 0, false}, Case{INT_MIN, 0, false}}) {
    SCOPED_TRACE(c.index);
    LWDVector out = {-7, -7, -7};
    EXPECT_EQ(funcs_.handle(state_, &e, c.index, out), c.priority);
    if (c.writes) {
      const Vec3 &p = state_->positions[c.index];
      EXPECT_EQ(out[0], p.x);
      EXPECT_EQ(out[1], p.y);
      EXPECT_EQ(out[2], p.z);
    } else {
      EXPECT_EQ(out[0], -7);
    }
  }
}

TEST_F(Handles, AdjustOnAHandleEndStoresTheRawPositionAndAsksForABuild) {
  state_->drawState = kDrawCurrent;
  state_->testResult = LWT_TEST_NOTHING;
  state_->updateAll = kUpdateAllPairs;
  LWToolEvent e = event({5, 6, 7});
  EXPECT_EQ(funcs_.adjust(state_, &e, 0), 0);
  expectVec(state_->positions[0], 5, 6, 7);
  EXPECT_EQ(state_->activeHandle, 0);
  EXPECT_EQ(state_->allHandles, 0);
  EXPECT_EQ(state_->updateAll, kUpdateResetOrDrag);
  EXPECT_EQ(state_->testResult, LWT_TEST_UPDATE);
  EXPECT_EQ(state_->drawState, kDrawRedraw);
}

TEST_F(Handles, AdjustOnAnAnchorEndSwapsTheEndsThenDragsTheNewHandleEnd) {
  LWToolEvent e = event({9, 9, 9}, LWT_EVENT_CTRL);
  state_->drawState = kDrawCurrent;
  EXPECT_EQ(funcs_.adjust(state_, &e, 3), 3);  // pair 1's anchor end
  EXPECT_EQ(state_->inverted[1], 1);
  EXPECT_EQ(state_->allHandles, 1);
  EXPECT_EQ(state_->testResult, LWT_TEST_NOTHING);
  EXPECT_EQ(state_->drawState, kDrawRedraw);
  expectVec(state_->positions[3], 4, 1, 0);

  e.flags = 0;
  EXPECT_EQ(funcs_.adjust(state_, &e, 3), 3);  // now the handle end
  EXPECT_EQ(state_->allHandles, 0);
  EXPECT_EQ(state_->testResult, LWT_TEST_UPDATE);
  expectVec(state_->positions[3], 9, 9, 9);

  EXPECT_EQ(funcs_.adjust(state_, &e, 2), 2);  // the first point is the anchor now
  EXPECT_EQ(state_->inverted[1], 0);
}

TEST_F(Handles, AdjustOutsideThePointsTouchesOnlyTheHandleFlags) {
  for (int index : {-1, 4, 1000}) {
    SCOPED_TRACE(index);
    state_->testResult = LWT_TEST_NOTHING;
    state_->drawState = kDrawCurrent;
    state_->updateAll = kUpdateAllPairs;
    LWToolEvent e = event({1, 1, 1}, LWT_EVENT_CTRL);
    EXPECT_EQ(funcs_.adjust(state_, &e, index), index);
    EXPECT_EQ(state_->activeHandle, index);
    EXPECT_EQ(state_->allHandles, 1);
    EXPECT_EQ(state_->updateAll, kUpdateResetOrDrag);
    EXPECT_EQ(state_->testResult, LWT_TEST_NOTHING);
    EXPECT_EQ(state_->drawState, kDrawCurrent);
  }
}

TEST_F(Handles, HelpIsOneTextAtOneAddress) {
  LWToolEvent e{};
  const char *first = funcs_.help(state_, &e);
  const char *second = funcs_.help(nullptr, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first,
               "Drag the handle. CTRL for stretching all handles. Click the end of line to invert. Right click for "
               "new stretch.");
  EXPECT_EQ(std::strlen(first), 111u);
}

}  // namespace
}  // namespace ep::testing
