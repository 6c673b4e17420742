// The overlay: exactly twelve drawing calls per pair, in order, with the
// floats and modes the host must receive.
#include "tool/overlay.h"

#include <cfloat>
#include <cmath>

#include "standin/host/wire_recorder.h"
#include "tests/engine/engine_fixture.h"

namespace ep::testing {
namespace {

using standin::WireCall;
using standin::WireOp;

class Overlay : public EngineTest {
 protected:
  void draw() {
    recorder_.clear();
    funcs_.draw(state_, recorder_.access());
  }
  void makePairs(const std::vector<Position> &points) {
    addPoints(points);
    ASSERT_EQ(build(), "");
  }
  standin::WireRecorder recorder_;
};

WireCall move(float x, float y, float z, int style) { return {WireOp::MoveTo, {x, y, z}, 0.0, style}; }
WireCall line(float x, float y, float z, int mode) { return {WireOp::LineTo, {x, y, z}, 0.0, mode}; }
WireCall circle() { return {WireOp::Circle, {}, 0.5, 101}; }

// The twelve calls for handle end H, anchor end A, handle vector V and its
// negation.
std::vector<WireCall> pairCalls(std::array<float, 3> H, std::array<float, 3> A, std::array<float, 3> V,
                                std::array<float, 3> minusV) {
  return {
      move(H[0], H[1], H[2], 0), line(A[0], A[1], A[2], 0),
      move(H[0], H[1], H[2], 1), line(V[0], V[1], V[2], 101),
      move(H[0], H[1], H[2], 1), line(minusV[0], minusV[1], minusV[2], 101),
      move(A[0], A[1], A[2], 1), line(V[0], V[1], V[2], 101),
      move(A[0], A[1], A[2], 1), line(minusV[0], minusV[1], minusV[2], 101),
      move(H[0], H[1], H[2], 0), circle(),
  };
}
std::vector<WireCall> pairCalls(std::array<float, 3> H, std::array<float, 3> A, std::array<float, 3> V) {
  return pairCalls(H, A, V, {0.0f - V[0], 0.0f - V[1], 0.0f - V[2]});
}

void expectCalls(const std::vector<WireCall> &got, const std::vector<WireCall> &want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "call " << i + 1);
    EXPECT_EQ(got[i].op, want[i].op);
    EXPECT_EQ(got[i].mode, want[i].mode);
    if (want[i].op == WireOp::Circle) {
      EXPECT_EQ(got[i].radius, want[i].radius);
    } else {
      for (int c = 0; c < 3; ++c) {
        // Bitwise, so that -0.0 and +0.0 are told apart.
        EXPECT_EQ(std::signbit(got[i].point[c]), std::signbit(want[i].point[c])) << "component " << c;
        EXPECT_EQ(got[i].point[c], want[i].point[c]) << "component " << c;
      }
    }
  }
}

TEST_F(Overlay, OnePairDrawsTheLineTheMarksAndTheCircleAroundTheHandleEnd) {
  makePairs({{0, 0, 0}, {2, 0, 0}});
  ASSERT_EQ(state_->drawState, kDrawRedraw);
  draw();
  // Handle end is point 0, the vector points from the anchor to it: (-3,0,0).
  expectCalls(recorder_.calls(), pairCalls({0, 0, 0}, {2, 0, 0}, {-3, 0, 0}));
  EXPECT_EQ(state_->drawState, kDrawCurrent);
  EXPECT_EQ(funcs_.dirty(state_), 0);
  draw();  // a redraw without a change draws the same again
  EXPECT_EQ(recorder_.calls().size(), 12u);
}

TEST_F(Overlay, AnInvertedPairStartsAtItsSecondPoint) {
  makePairs({{0, 0, 0}, {2, 0, 0}});
  state_->inverted[0] = 1;
  draw();
  expectCalls(recorder_.calls(), pairCalls({2, 0, 0}, {0, 0, 0}, {-3, 0, 0}));
}

TEST_F(Overlay, ACoincidentPairStillGetsTwelveCallsWithPositiveZeroMarks) {
  makePairs({{1, 1, 1}, {1, 1, 1}});
  draw();
  // 0.0 - 0.0 is +0.0: the negated zero vector has no negative zeros.
  expectCalls(recorder_.calls(), pairCalls({1, 1, 1}, {1, 1, 1}, {0, 0, 0}));
}

TEST_F(Overlay, ThreePairsComeInPairOrderWithFloatsRoundedToNearest) {
  makePairs({{1.1, 0, 0}, {1.1, 0, 3}, {0, 1, 0}, {0, 2, 0}, {5, 5, 5}, {5, 5, 6}});
  draw();
  const float f11 = 1.1f;  // the float nearest to 1.1
  std::vector<WireCall> want = pairCalls({f11, 0, 0}, {f11, 0, 3}, {0, 0, -3});
  for (const WireCall &c : pairCalls({0, 1, 0}, {0, 2, 0}, {0, -3, 0})) want.push_back(c);
  for (const WireCall &c : pairCalls({5, 5, 5}, {5, 5, 6}, {0, 0, -3})) want.push_back(c);
  expectCalls(recorder_.calls(), want);
}

TEST_F(Overlay, NothingIsDrawnWhileInactiveOrWithNothingToDraw) {
  makePairs({{0, 0, 0}, {2, 0, 0}});
  state_->active = 0;
  state_->drawState = kDrawRedraw;
  draw();
  EXPECT_TRUE(recorder_.calls().empty());
  EXPECT_EQ(state_->drawState, kDrawRedraw);
  state_->active = 1;
  state_->drawState = kDrawNothing;
  draw();
  EXPECT_TRUE(recorder_.calls().empty());
  EXPECT_EQ(state_->drawState, kDrawNothing);
}

TEST_F(Overlay, NoPairsOrNoBuffersDrawNothingButAcknowledgeTheRedraw) {
  state_->drawState = kDrawRedraw;  // live, before any build: no pairs
  draw();
  EXPECT_TRUE(recorder_.calls().empty());
  EXPECT_EQ(state_->drawState, kDrawCurrent);

  makePairs({{0, 0, 0}, {2, 0, 0}});
  startOver();
  addPoints({{0, 0, 0}, {2, 0, 0}});
  ::ep::testing::failAllocationNumber(2);
  ASSERT_EQ(build(), "");  // memory failure: reported, pointCount kept, no buffers
  ::ep::testing::failAllocationNumber(0);
  ASSERT_EQ(state_->pointCount, 2);
  ASSERT_EQ(state_->drawState, kDrawRedraw);
  draw();
  EXPECT_TRUE(recorder_.calls().empty());
  EXPECT_EQ(state_->drawState, kDrawCurrent);
}

TEST(DrawFloat, ConvertsToTheNearestFloatAndSaturatesOutOfRange) {
  EXPECT_EQ(toDrawFloat(1.1), 1.1f);
  EXPECT_EQ(toDrawFloat(-0.0), -0.0f);
  EXPECT_EQ(toDrawFloat(static_cast<double>(FLT_MAX)), FLT_MAX);
  EXPECT_EQ(toDrawFloat(1e300), HUGE_VALF);
  EXPECT_EQ(toDrawFloat(-1e300), -HUGE_VALF);
  EXPECT_TRUE(std::isnan(toDrawFloat(std::nan(""))));
}

// Doubles at and around every edge of float's range, for toDrawFloat and for
// the overlay, which converts each point once (two coordinates at a time).
const double kEdgeValues[] = {
    1.1,
    -0.0,
    static_cast<double>(FLT_MAX),
    static_cast<double>(FLT_MAX) + 0x1p103 - 0x1p75,  // just below half a spacing past FLT_MAX
    static_cast<double>(FLT_MAX) + 0x1p103,           // exactly half: ties to even, infinity
    -(static_cast<double>(FLT_MAX) + 0x1p103),
    1e300,
    static_cast<double>(FLT_MIN),
    0x1p-149,  // the smallest float
    0x1p-151,  // below half of it: zero
    -1e-300,
    HUGE_VAL,
};

TEST(DrawFloat, SaturatesExactlyAtHalfASpacingPastTheLargestFloat) {
  EXPECT_EQ(toDrawFloat(kEdgeValues[3]), FLT_MAX);
  EXPECT_EQ(toDrawFloat(kEdgeValues[4]), HUGE_VALF);
  EXPECT_EQ(toDrawFloat(kEdgeValues[5]), -HUGE_VALF);
  EXPECT_EQ(toDrawFloat(0x1p-149), 0x1p-149f);
  EXPECT_EQ(toDrawFloat(0x1p-151), 0.0f);
  EXPECT_TRUE(std::signbit(toDrawFloat(-1e-300)));
}

TEST_F(Overlay, EveryDrawnCoordinateIsItsDoubleAsToDrawFloatConvertsIt) {
  makePairs({{0, 0, 0}, {2, 0, 0}});
  for (const double v : kEdgeValues) {
    SCOPED_TRACE(v);
    state_->positions[0] = {v, -v, v};
    state_->positions[1] = {-v, v, 0.5};
    state_->handleVectors[0] = {v, 0.25, -v};
    draw();
    const std::array<float, 3> H = {toDrawFloat(v), toDrawFloat(-v), toDrawFloat(v)};
    const std::array<float, 3> A = {toDrawFloat(-v), toDrawFloat(v), 0.5f};
    const std::array<float, 3> V = {toDrawFloat(v), 0.25f, toDrawFloat(-v)};
    // Negated in double first: a tiny component's negation keeps its sign.
    const std::array<float, 3> minusV = {toDrawFloat(0.0 - v), -0.25f, toDrawFloat(0.0 + v)};
    expectCalls(recorder_.calls(), pairCalls(H, A, V, minusV));
  }
}

}  // namespace
}  // namespace ep::testing
