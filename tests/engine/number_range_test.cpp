// Very large, very small and signed-zero numbers: lengths whose squares
// overflow or underflow, pairs read at finite positions that land at a finite
// place or stay put with a box saying why, and results that scale with the
// mesh.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/vec3.h"
#include "panels/options_panel.h"
#include "tests/engine/engine_fixture.h"

namespace ep::testing {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(VectorLength, SquaresPastTheRangeOfADoubleStillGiveTheLength) {
  struct Case {
    Vec3 v;
    double length;
  };
  const Case cases[] = {
      {{1e200, 0, 0}, 1e200},
      {{0, -3e200, 4e200}, 5e200},
      {{3e-200, 4e-200, 0}, 5e-200},
      {{1e-170, 0, -1e-170}, std::sqrt(2.0) * 1e-170},  // squares that are denormals
      {{0x1p-1074, 0, 0}, 0x1p-1074},                   // the smallest denormal
      {{DBL_MAX, 0, 0}, DBL_MAX},
      {{DBL_MAX, DBL_MAX, 0}, kInf},  // the length itself is past the largest double
      {{0, 1, kInf}, kInf},           // an infinite component, last of the three
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << c.v.x << " " << c.v.y << " " << c.v.z);
    EXPECT_DOUBLE_EQ(vecLength(c.v), c.length);
  }
}

TEST(VectorLength, WhereTheSquaresFitItIsThePlainFormulaToTheBit) {
  const Vec3 shapes[] = {{1, 2, 3}, {0.1, -0.7, 1e-3}, {1, 1e8, 1e8}, {3, 4, 0}, {-5e-9, 0, 7}};
  int compared = 0;
  for (double scale : {1.0, 0.1, 3.0, 1e8, 1e-8, 1e150, 1e-150, 1e-152}) {
    for (const Vec3 &shape : shapes) {
      const Vec3 v = {shape.x * scale, shape.y * scale, shape.z * scale};
      const double sum = (v.x * v.x + v.y * v.y) + v.z * v.z;
      if (!(sum >= DBL_MIN && sum <= DBL_MAX)) continue;  // the plain formula has lost bits here
      ++compared;
      EXPECT_EQ(vecLength(v), std::sqrt(sum)) << v.x << " " << v.y << " " << v.z;
    }
  }
  EXPECT_GE(compared, 35);
}

// The engine computes a pair's length once and divides by it (vecUnit); that
// must be exactly what normalizing a copy gives, in range and out of it.
TEST(VectorNormalize, TheUnitVectorFromAKnownLengthIsTheNormalizedVectorToTheBit) {
  const Vec3 vectors[] = {{3, 4, 0},          {0.1, -0.7, 1e-3},      {1e-14, 0, 0},
                          {1e200, 0, -3e200}, {DBL_MAX, -DBL_MAX, 0}, {DBL_MAX, DBL_MAX, DBL_MAX},
                          {kInf, 1, 0},       {0, std::nan(""), 1},   {-kInf, kInf, 0}};
  for (const Vec3 &v : vectors) {
    SCOPED_TRACE(::testing::Message() << v.x << " " << v.y << " " << v.z);
    Vec3 normalized = v;
    ASSERT_EQ(vecNormalize(normalized), 0);
    Vec3 unit;
    vecUnit(v, vecLength(v), unit);
    EXPECT_EQ(std::memcmp(&unit, &normalized, sizeof(Vec3)), 0)
        << unit.x << " " << unit.y << " " << unit.z << " against " << normalized.x << " " << normalized.y
        << " " << normalized.z;
  }
}

TEST(VectorNormalize, AFiniteVectorAlwaysGivesAUnitVector) {
  Vec3 v{DBL_MAX, -DBL_MAX, 0};
  EXPECT_EQ(vecNormalize(v), 0);
  EXPECT_DOUBLE_EQ(v.x, std::sqrt(0.5));
  EXPECT_DOUBLE_EQ(v.y, -std::sqrt(0.5));
  EXPECT_EQ(v.z, 0.0);
  Vec3 w{0, 1e200, 0};
  EXPECT_EQ(vecNormalize(w), 0);
  EXPECT_EQ(w.y, 1.0);
}

const MessageBox kOutOfRange{MessageKind::Error, "Error (Code #024)", "The result would be out of range."};

class NumberRange : public EngineTest {
 protected:
  // A fresh stretch on these points (pairs in order, first point the handle
  // end), collected by a first build that moves nothing.
  void start(const std::vector<Position> &points) {
    startOver();
    globals_.messages().clear();
    state_->mode = 0;
    state_->factor = 1.0;
    state_->offset = 0.0;
    state_->symmetry = 0;
    state_->active = 1;
    state_->activeHandle = kNoHandle;
    state_->updateAll = kUpdateResetOrDrag;
    addPoints(points);
    ASSERT_EQ(build(), "");
  }
  // The options panel's set, as the host calls it; then the build it asks for.
  std::string setValues(int mode, double value, int symmetry) {
    optionsPanelSet(state_, kControlMode, &mode);
    optionsPanelSet(state_, kControlSymmetry, &symmetry);
    optionsPanelSet(state_, mode == 0 ? kControlFactor : kControlOffset, &value);
    return build();
  }
  std::string dragTo(int point, const Position &to, bool ctrl) {
    LWToolEvent event{};
    for (int i = 0; i < 3; ++i) event.posRaw[i] = to[static_cast<std::size_t>(i)];
    event.flags = ctrl ? LWT_EVENT_CTRL : 0;
    funcs_.adjust(state_, &event, point);
    return build();
  }
  // Either the mesh holds `expected`, or (expected empty) the build failed
  // with the out-of-range box and the mesh holds `before`. No move the build
  // made carried a non-finite coordinate either way.
  void expectOutcome(const std::string &result, const std::vector<Position> &before,
                     const std::vector<Position> &expected) {
    for (const OpCall &c : callsOf(OpCallKind::PntMove)) {
      EXPECT_TRUE(std::isfinite(c.position[0]) && std::isfinite(c.position[1]) &&
                  std::isfinite(c.position[2]))
          << "moved to " << c.position[0] << " " << c.position[1] << " " << c.position[2];
    }
    const std::vector<Position> &want = expected.empty() ? before : expected;
    if (expected.empty()) {
      EXPECT_EQ(result, "Failed");
      EXPECT_EQ(boxes(), std::vector<MessageBox>{kOutOfRange});
    } else {
      EXPECT_EQ(result, "");
      EXPECT_TRUE(boxes().empty());
    }
    ASSERT_EQ(mesh_.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      SCOPED_TRACE(::testing::Message() << "point " << i);
      expectPosition(mesh_.position(i), want[i][0], want[i][1], want[i][2]);
    }
  }
};

TEST_F(NumberRange, PanelValuesGiveAFinitePlaceOrLeaveThePairWithABox) {
  struct Case {
    const char *what;
    std::vector<Position> points;
    int mode;
    double value;
    int symmetry;
    std::vector<Position> expected;  // empty: refused
  };
  const Case cases[] = {
      {"pair 1e200 long, factor 1.5", {{0, 0, 0}, {1e200, 0, 0}}, 0, 1.5, 0, {{-5e199, 0, 0}, {1e200, 0, 0}}},
      {"the same with symmetry", {{0, 0, 0}, {1e200, 0, 0}}, 0, 1.5, 1, {{-5e199, 0, 0}, {1.5e200, 0, 0}}},
      {"pair 1e200 long, offset 1e200",
       {{0, 0, 0}, {1e200, 0, 0}},
       1,
       1e200,
       0,
       {{-1e200, 0, 0}, {1e200, 0, 0}}},
      {"factor 1e300 on a pair 2 long", {{0, 2, 0}, {0, 0, 0}}, 0, 1e300, 0, {{0, 2e300, 0}, {0, 0, 0}}},
      {"factor 1e300 on a pair 1e10 long", {{0, 1e10, 0}, {0, 0, 0}}, 0, 1e300, 0, {}},
      {"factor -1e300 with symmetry", {{0, 1e10, 0}, {0, 0, 0}}, 0, -1e300, 1, {}},
      {"offset 1e308 on a pair 1e308 long", {{1e308, 0, 0}, {0, 0, 0}}, 1, 1e308, 0, {}},
      {"factor -9 with symmetry: the anchor would pass the largest double",
       {{1e308, 0, 0}, {0.9e308, 0, 0}},
       0,
       -9,
       1,
       {}},
      {"ends near the largest double, either side", {{-1e308, 0, 0}, {1e308, 0, 0}}, 0, 1.5, 0, {}},
      {"the smallest denormal factor",
       {{2, 0, 0}, {0, 0, 0}},
       0,
       0x1p-1074,
       0,
       {{0x1p-1073, 0, 0}, {0, 0, 0}}},
      {"denormal coordinates", {{5e-324, 2, 0}, {0, 0, -5e-324}}, 0, 1.5, 0, {{0, 3, 0}, {0, 0, 0}}},
      {"negative zeros", {{-0.0, 2, -0.0}, {0, -0.0, 0}}, 0, 1.5, 1, {{0, 3, 0}, {0, -1, 0}}},
      {"negative zeros, offset onto the anchor",
       {{-0.0, 2, -0.0}, {0, -0.0, 0}},
       1,
       -2,
       0,
       {{0, 0, 0}, {0, 0, 0}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    start(c.points);
    expectOutcome(setValues(c.mode, c.value, c.symmetry), c.points, c.expected);
  }
}

TEST_F(NumberRange, DragsGiveAFiniteValueAndPlaceOrLeaveThePairWithABox) {
  struct Case {
    const char *what;
    std::vector<Position> points;
    int mode;
    Position to;  // where point 0 is dragged
    bool ctrl;
    double value;                    // the solved factor or offset
    std::vector<Position> expected;  // empty: refused, the value unchanged
    int symmetry = 0;
  };
  const Case cases[] = {
      {"across the pair, 1e200 away",
       {{1, 0, 0}, {0, 0, 0}},
       0,
       {0, 1e200, 0},
       false,
       0.0,
       {{0, 0, 0}, {0, 0, 0}}},
      {"along the pair, 1e200 away",
       {{1, 0, 0}, {0, 0, 0}},
       0,
       {1e200, 1e200, 0},
       false,
       1e200,
       {{1e200, 0, 0}, {0, 0, 0}}},
      {"offset on a pair 1e200 long",
       {{0, 0, 0}, {1e200, 0, 0}},
       1,
       {-1e200, 5, 0},
       false,
       1e200,
       {{-1e200, 0, 0}, {1e200, 0, 0}}},
      {"a factor past the largest double", {{1e-13, 0, 0}, {0, 0, 0}}, 0, {1e300, 0, 0}, false, 1.0, {}},
      {"a zero-length pair carrying another past the largest double",
       {{0, 0, 0}, {0, 0, 0}, {1e308, 1, 0}, {1e308, 0, 0}},
       0,
       {1e308, 0, 0},
       true,
       1.0,
       {}},
      {"a drag vector past the largest double",
       {{-1e308, 0, 0}, {-1e308, 0, 0}},
       0,
       {1e308, 0, 0},
       false,
       1.0,
       {}},
      {"a finite factor whose foot on the pair's line is past the largest double",
       {{1.6e308, 1e307, 0}, {1.7e308, 0, 0}},
       0,
       {1.79e308, -2e307, 0},
       false,
       1.0,
       {}},
      {"a finite factor whose partner with Symmetry would pass the largest double",
       {{1e308, 0, 0}, {0.9e308, 0, 0}},
       0,
       {-1e308, 0, 0},
       false,
       1.0,
       {},
       1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    start(c.points);
    optionsPanelSet(state_, kControlMode, const_cast<int *>(&c.mode));
    optionsPanelSet(state_, kControlSymmetry, const_cast<int *>(&c.symmetry));
    expectOutcome(dragTo(0, c.to, c.ctrl), c.points, c.expected);
    EXPECT_DOUBLE_EQ(c.mode == 0 ? state_->factor : state_->offset, c.value);
  }
}

// The same stretches on a mesh scaled by a power of ten give the scaled
// result, also where the squares of the coordinates overflow (1e200). Below
// the zero threshold of 1e-14 every pair counts as coincident: nothing moves.
TEST_F(NumberRange, ResultsScaleWithTheMesh) {
  // Pair 0: handle (2,0,0), anchor at the origin; pair 1: handle (4,1,3),
  // anchor (1,1,-1), length 5.
  const std::vector<Position> shape = {{2, 0, 0}, {0, 0, 0}, {4, 1, 3}, {1, 1, -1}};
  struct Step {
    const char *what;
    int mode;
    double value;  // an offset is scaled with the mesh
    int symmetry;
    bool drag;  // point 0 dragged to (3,4,0) with CTRL instead
    std::vector<Position> result;
  };
  const Step steps[] = {
      {"factor 1.5", 0, 1.5, 0, false, {{3, 0, 0}, {0, 0, 0}, {5.5, 1, 5}, {1, 1, -1}}},
      {"factor 1.5 with symmetry", 0, 1.5, 1, false, {{3, 0, 0}, {-1, 0, 0}, {5.5, 1, 5}, {-0.5, 1, -3}}},
      {"offset 1", 1, 1, 0, false, {{3, 0, 0}, {0, 0, 0}, {4.6, 1, 3.8}, {1, 1, -1}}},
      {"a CTRL drag solving factor 1.5", 0, 0, 0, true, {{3, 0, 0}, {0, 0, 0}, {5.5, 1, 5}, {1, 1, -1}}},
  };
  for (double scale : {1.0, 1e8, 1e-8, 1e150, 1e-150, 1e200, 1e-200}) {
    const bool coincident = 5 * scale < kEpsilonZero;
    for (const Step &step : steps) {
      SCOPED_TRACE(::testing::Message() << step.what << " at scale " << scale);
      std::vector<Position> points = shape;
      for (Position &p : points)
        for (double &x : p) x *= scale;
      start(points);
      const std::string result =
          step.drag ? dragTo(0, {3 * scale, 4 * scale, 0}, true)
                    : setValues(step.mode, step.mode == 1 ? step.value * scale : step.value, step.symmetry);
      EXPECT_EQ(result, "");
      EXPECT_TRUE(boxes().empty());
      if (step.drag) {
        EXPECT_DOUBLE_EQ(state_->factor, coincident ? 1.0 : 1.5);
      }
      for (std::size_t i = 0; i < points.size(); ++i) {
        for (std::size_t a = 0; a < 3; ++a) {
          const double want = coincident ? points[i][a] : step.result[i][a] * scale;
          EXPECT_NEAR(mesh_.position(i)[a], want, std::fabs(want) * 1e-14) << "point " << i << " axis " << a;
        }
      }
    }
  }
}

}  // namespace
}  // namespace ep::testing
