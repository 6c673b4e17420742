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
  EXPECT_EQ(standin::pairsAlongAxis(box, 0).pairs, (Pairs{{1, 0}, {2, 3}, {6, 7}, {5, 4}}));
  EXPECT_EQ(standin::pairsAlongAxis(box, 1).pairs, (Pairs{{2, 1}, {3, 0}, {7, 4}, {6, 5}}));
  EXPECT_EQ(standin::pairsAlongAxis(box, 2).pairs, (Pairs{{4, 0}, {5, 1}, {6, 2}, {7, 3}}));
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_NO_THROW(standin::checkPairs(standin::pairsAlongAxis(box, axis).pairs));
    EXPECT_EQ(standin::pairsAlongAxis(box, axis).sharedEnd, 0u);
  }
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
  EXPECT_EQ(standin::pairsAlongAxis(obj, 1).pairs, (Pairs{{1, 0}, {2, 3}}));
  EXPECT_EQ(standin::pairsAlongAxis(obj, 0).pairs, Pairs{});
  // Another tolerance: 6 degrees counts at 6.5, and at 0 only edges exactly along the axis.
  EXPECT_EQ(standin::pairsAlongAxis(obj, 1, 6.5).pairs, (Pairs{{1, 0}, {2, 3}, {5, 4}}));
  const ObjFile straight =
      ObjFile::parse(point(1, 1, 1) + point(1, 3, 1) + point(0, 0, 0) + point(0.001, 1, 0) + "l 1 2\nl 3 4\n",
                     "straight.obj");
  EXPECT_EQ(standin::pairsAlongAxis(straight, 1, 0.0).pairs, (Pairs{{1, 0}}));
}

TEST(PairsFromLines, EverySegmentOfTheLinesAsWrittenEachPointOnce) {
  const ObjFile obj = ObjFile::parse(
      "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 3 0 0\nv 4 0 0\nv 5 0 0\nv 6 0 0\nv 7 0 0\n"
      "l 2 1\n"      // 1:0, handle first as written
      "f 1 2 3\n"    // a face: not a line element
      "l 3 4 5 6\n"  // a polyline: 2:3, (3:4 shares 3), 4:5
      "l 7 7\n"      // from a point to itself
      "l -1 -2\n"    // relative: 7:6
      "l 8 1\n",     // 0 is taken
      "lines.obj");
  const standin::EdgePairs found = standin::pairsFromLines(obj);
  EXPECT_EQ(found.pairs, (Pairs{{1, 0}, {2, 3}, {4, 5}, {7, 6}}));
  EXPECT_EQ(found.found, 7u);
  EXPECT_EQ(found.sharedEnd, 2u);
  EXPECT_EQ(found.oneByItself, 1u);
  EXPECT_EQ(standin::describeSkippedEdges(found, "segments"),
            "3 of 7 segments skipped, 4 taken as pairs: 2 have an end already in an earlier pair (a point "
            "can be the end of one pair only); 1 goes from a point to itself");
}

// A chain of upright edges, as real meshes have them (a column of quads):
// every other edge is taken, bottom up, and the rest are counted.
TEST(PairsFromEdges, AChainOfEdgesAlongTheAxisGivesEveryOtherEdge) {
  std::string text;
  for (int level = 0; level < 5; ++level) text += point(0, level, 0) + point(1, level, 0);
  for (int level = 1; level < 5; ++level) {
    const int a = 2 * level - 1, b = a + 1, c = a + 3, d = a + 2;  // 1-based, counter-clockwise
    text += "f " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + " " +
            std::to_string(d) + "\n";
  }
  const ObjFile column = ObjFile::parse(text, "column.obj");
  const standin::EdgePairs found = standin::pairsAlongAxis(column, 1);
  EXPECT_EQ(found.pairs, (Pairs{{3, 1}, {2, 0}, {7, 5}, {6, 4}}));
  EXPECT_EQ(found.found, 8u);
  EXPECT_EQ(found.sharedEnd, 4u);
  EXPECT_NO_THROW(standin::checkPairs(found.pairs));
  EXPECT_EQ(standin::pairsFromEdges(column, 1).skipped,
            "4 of 8 edges within 5 degrees of the y axis skipped, 4 taken as pairs: 4 have an end already "
            "in an earlier pair (a point can be the end of one pair only)");
  EXPECT_THROW(standin::pairsFromEdges(column, 2), standin::Failure);
}

// A face or line that names no point stops the reading with its line.
TEST(PairsFromEdges, AReferenceToNoPointIsRefusedWithItsLine) {
  struct Case {
    const char *element;
    const char *message;
  };
  const Case cases[] = {
      {"f 1 2 9", "m.obj:3: the face names point 9, past the last of the file's 3 points"},
      {"l 1 0", "m.obj:3: the line names point 0; points are counted from 1"},
      {"l -3 -1", "m.obj:3: the line names point -3, before the first point (2 come before this line)"},
      {"f 1/1 x/2 2/3", "m.obj:3: the face's corner 'x/2' is not a point reference"},
  };
  for (const Case &c : cases) {
    const ObjFile obj =
        ObjFile::parse(std::string("v 0 0 0\nv 0 1 0\n") + c.element + "\nv 0 2 0\n", "m.obj");
    for (const bool axis : {false, true}) {
      try {
        axis ? standin::pairsAlongAxis(obj, 1) : standin::pairsFromLines(obj);
        ADD_FAILURE() << c.element << " was read";
      } catch (const standin::Failure &error) {
        EXPECT_EQ(std::string(error.what()), c.message);
      }
    }
  }
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
