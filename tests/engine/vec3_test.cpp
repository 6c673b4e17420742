// The vector helpers: the degenerate test is on components, not on length.
#include "engine/vec3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ep {
namespace {

void expectVec(const Vec3 &v, double x, double y, double z) {
  EXPECT_DOUBLE_EQ(v.x, x);
  EXPECT_DOUBLE_EQ(v.y, y);
  EXPECT_DOUBLE_EQ(v.z, z);
}

TEST(VectorNormalize, DegenerateWhenEveryComponentIsStrictlyInsideEpsilon) {
  const Vec3 degenerate[] = {
      {0, 0, 0}, {1e-15, -1e-15, 0}, {9.9e-15, 9.9e-15, 9.9e-15}, {-9.99e-15, 0, 9.99e-15}};
  for (Vec3 v : degenerate) {
    const Vec3 before = v;
    EXPECT_EQ(vecNormalize(v), 1);
    EXPECT_EQ(v.x, before.x);
    EXPECT_EQ(v.y, before.y);
    EXPECT_EQ(v.z, before.z);
  }
}

TEST(VectorNormalize, AComponentOfExactlyEpsilonIsNotDegenerate) {
  Vec3 v{1e-14, 0, 0};
  EXPECT_EQ(vecNormalize(v), 0);
  expectVec(v, 1, 0, 0);
  Vec3 w{0, -1e-14, 0};
  EXPECT_EQ(vecNormalize(w), 0);
  expectVec(w, 0, -1, 0);
}

TEST(VectorNormalize, ScalesToUnitLength) {
  Vec3 v{3, 4, 0};
  EXPECT_EQ(vecNormalize(v), 0);
  expectVec(v, 0.6, 0.8, 0);
}

TEST(VectorNormalize, NonFiniteInputDoesNotCrash) {
  Vec3 v{std::numeric_limits<double>::quiet_NaN(), 0, 0};
  EXPECT_EQ(vecNormalize(v), 0);
  Vec3 w{std::numeric_limits<double>::infinity(), 1, 0};
  EXPECT_EQ(vecNormalize(w), 0);
}

TEST(VectorArithmetic, SubtractsSecondOperandFromFirst) {
  Vec3 r;
  expectVec(vecSub({1, 2, 3}, {0, 1, 1}, r), 1, 1, 2);
  expectVec(vecSub({0, 1, 1}, {1, 2, 3}, r), -1, -1, -2);
}

TEST(VectorArithmetic, DotLengthAddScaleCopy) {
  EXPECT_DOUBLE_EQ(vecDot({1, 2, 3}, {4, 5, 6}), 32);
  EXPECT_DOUBLE_EQ(vecLength({3, 4, 0}), 5);
  Vec3 r;
  expectVec(vecAdd({1, 2, 3}, {4, 5, 6}, r), 5, 7, 9);
  const double two = 2, zero = 0;
  expectVec(vecScale({1, 2, 3}, &two, r), 2, 4, 6);
  expectVec(vecScale({1, 2, 3}, &zero, r), 0, 0, 0);
  Vec3 &returned = vecCopy({7, 8, 9}, r);
  EXPECT_EQ(&returned, &r);
  expectVec(r, 7, 8, 9);
}

TEST(VectorArithmetic, SumsAreFormedXYFirstThenZ) {
  // (1 + 1e16) - 1e16 loses the 1 when x and y are summed first; summing y
  // and z first would keep it.
  EXPECT_EQ(vecDot({1, 1e8, 1e8}, {1, 1e8, -1e8}), 0.0);
  EXPECT_EQ(vecLength({1, 1e8, 1e8}), std::sqrt((1 + 1e16) + 1e16));
}

}  // namespace
}  // namespace ep
