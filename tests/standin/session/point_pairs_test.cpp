// Pairs taken from a mesh file's line elements and edges, the pairs the host
// delivers, and their lengths.
#include "standin/session/point_pairs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace {

using standin::ObjFile;
using standin::PointPair;
using Pairs = std::vector<PointPair>;

// A box 1 wide (x), 2 high (y), 3 deep (z); its six faces. Points 0-3 at
// z 0, counter-clockwise from the origin, points 4-7 above them at z 3.
constexpr const char *kBox =
    "v 0 0 0\nv 1 0 0\nv 1 2 0\nv 0 2 0\nv 0 0 3\nv 1 0 3\nv 1 2 3\nv 0 2 3\n"
    "f 1 2 3 4\nf 5 8 7 6\nf 1 5 6 2\nf 2 6 7 3\nf 3 7 8 4\nf 5 1 4 8\n";

std::string point(double x, double y, double z) {
  return "v " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + "\n";
}

TEST(PairsFromEdges, EveryEdgeAlongTheAxisWithTheEndFurtherAlongAsHandle) {
  const ObjFile box = ObjFile::parse(kBox, "box.obj");
  EXPECT_EQ(standin::pairsAlongAxis(box, 0), (Pairs{{1, 0}, {2, 3}, {6, 7}, {5, 4}}));
  EXPECT_EQ(standin::pairsAlongAxis(box, 1), (Pairs{{2, 1}, {3, 0}, {7, 4}, {6, 5}}));
  EXPECT_EQ(standin::pairsAlongAxis(box, 2), (Pairs{{4, 0}, {5, 1}, {6, 2}, {7, 3}}));
  for (int axis = 0; axis < 3; ++axis)
    EXPECT_NO_THROW(standin::checkPairs(standin::pairsAlongAxis(box, axis)));
}

// Edges 4 and 6 degrees off the y axis, one pointing down, and one of zero
// length: the first two count, the others not.
TEST(PairsFromEdges, AnEdgeCountsUpToFiveDegreesOffTheAxisAndOneWithoutLengthNever) {
  const auto slope = [](double degrees) { return std::tan(degrees * std::numbers::pi / 180.0); };
  const std::string text = point(0, 0, 0) + point(slope(4.0), 1, 0) +      // 4 degrees, upwards
                           point(5, 2, 0) + point(5, 0, slope(4.9)) +      // 4.9 degrees, downwards
                           point(9, 0, 0) + point(9 + slope(6.0), 1, 0) +  // 6 degrees
                           point(7, 7, 7) + point(7, 7, 7) +               // zero length
                           "l 1 2\nl 3 4\nl 5 6\nl 7 8\n";
  const ObjFile obj = ObjFile::parse(text, "lines.obj");
  EXPECT_EQ(standin::pairsAlongAxis(obj, 1), (Pairs{{1, 0}, {2, 3}}));
  EXPECT_EQ(standin::pairsAlongAxis(obj, 0), Pairs{});
}

TEST(PairsFromLines, EveryTwoPointLineAsWrittenAndNothingElse) {
  const ObjFile obj = ObjFile::parse(
      "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 3 0 0\nv 4 0 0\nv 5 0 0\n"
      "l 2 1\n"    // 1:0, handle first as written
      "f 1 2 3\n"  // a face: not a line element
      "l 3 4 5\n"  // three points: a polyline, not a pair
      "l -1 -2\n"  // relative: 5:4
      "l 1 99\n",  // one point left: not a pair
      "lines.obj");
  EXPECT_EQ(standin::pairsFromLines(obj), (Pairs{{1, 0}, {5, 4}}));
}

// The pairs as the host delivers them: an ordered selection in its order,
// otherwise the selected points in mesh order, an odd last one left out.
TEST(DeliveredPairs, FollowTheScanOrder) {
  ObjFile box = ObjFile::parse(kBox, "box.obj");
  standin::Mesh &mesh = box.mesh();
  mesh.selectOnly(std::vector<std::size_t>{7, 0, 4, 3, 1});
  EXPECT_EQ(standin::deliveredPairs(mesh), (Pairs{{0, 1}, {3, 4}}));
  mesh.selectInOrder(std::vector<std::size_t>{4, 0, 7, 3});
  EXPECT_EQ(standin::deliveredPairs(mesh), (Pairs{{4, 0}, {7, 3}}));
}

TEST(PairLengths, WhereTheFileHasThePointsAndWhereTheyAreNow) {
  ObjFile box = ObjFile::parse(kBox, "box.obj");
  box.mesh().setPosition(4, {0, 0, 5});
  const auto lengths = standin::measurePairs(box, Pairs{{4, 0}, {2, 1}});
  ASSERT_EQ(lengths.size(), 2u);
  EXPECT_EQ(lengths[0].before, 3.0);
  EXPECT_EQ(lengths[0].after, 5.0);
  EXPECT_EQ(lengths[1].before, 2.0);
  EXPECT_EQ(lengths[1].after, 2.0);
  // The tool's own test for two points at one place.
  EXPECT_TRUE(standin::coincide({1, 2, 3}, {1 + 0.5e-14, 2, 3 - 0.5e-14}));
  EXPECT_FALSE(standin::coincide({1, 2, 3}, {1, 2, 3 + 1e-14}));
}

}  // namespace
