// New normals for the faces that moved points made stale, written with as
// few changes to the file as they need.
#include "standin/session/obj_normals.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using standin::ObjFile;

// Two strips of two unit quads in planes z = 0 and z = 5. The first strip is
// flat shaded: both quads name `vn` line 1 (the left one relatively, from
// after the last `vn` line). The second is smooth: each point has a normal
// of its own (lines 2-7 for points 7-12), named by every quad around it.
// Then a face without normals and a line.
constexpr const char *kStrips =
    "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 0 1 0\nv 1 1 0\nv 2 1 0\n"
    "v 0 0 5\nv 1 0 5\nv 2 0 5\nv 0 1 5\nv 1 1 5\nv 2 1 5\n"
    "vn 0.0000 0.0000 1.0000\n"
    "vn 0.0000 0.0000 1.0000\nvn 0.0000 0.0000 1.0000\nvn 0.0000 0.0000 1.0000\n"
    "vn 0.0000 0.0000 1.0000\nvn 0.0000 0.0000 1.0000\nvn 0.0000 0.0000 1.0000\n"
    "f 1//-7 2//-7 5//-7 4//-7\n"
    "f 2//1 3//1 6//1 5//1\n"
    "f 7//2 8//3 11//6 10//5\n"
    "f 8//3 9//4 12//7 11//6\n"
    "f 1 2 3\n"
    "l 1 4\n";

// The right quad of each strip tilted 45 degrees about its left edge.
ObjFile tiltedStrips() {
  ObjFile obj = ObjFile::parse(kStrips, "strips.obj");
  obj.setPosition(2, {2, 0, 1});
  obj.setPosition(5, {2, 1, 1});
  obj.setPosition(8, {2, 0, 6});
  obj.setPosition(11, {2, 1, 6});
  return obj;
}

std::string replaced(std::string text, const std::string &from, const std::string &to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The flat quad gets its plane's normal on a new line, because the left quad
// still names line 1; the left quad's relative references then reach one
// line further back. The smooth quad's corners take the area-weighted normal
// of the quads around their points: (-1, 0, 2)/sqrt 5 on the shared edge,
// (-1, 0, 1)/sqrt 2 on the far one, in place, since only corners that
// change name those lines. The left smooth quad's normals at the shared
// edge change with them (they are one normal); its other two stay.
TEST(ObjNormals, StaleNormalsAreRecomputedWithTheFewestChanges) {
  ObjFile obj = tiltedStrips();
  EXPECT_EQ(obj.facesWithStaleNormals(), 2u);
  const std::string kept = obj.text();
  obj.setRecomputeNormals(true);
  EXPECT_EQ(obj.facesWithStaleNormals(), 0u);

  std::string expected = kept;
  expected = replaced(expected,
                      "vn 0.0000 0.0000 1.0000\nvn 0.0000 0.0000 1.0000\nvn 0.0000 0.0000 1.0000\n"
                      "vn 0.0000 0.0000 1.0000\nvn 0.0000 0.0000 1.0000\nvn 0.0000 0.0000 1.0000\nf",
                      "vn 0.0000 0.0000 1.0000\nvn -0.4472 0.0000 0.8944\nvn -0.7071 0.0000 0.7071\n"
                      "vn 0.0000 0.0000 1.0000\nvn -0.4472 0.0000 0.8944\nvn -0.7071 0.0000 0.7071\n"
                      "vn -0.7071 0.0000 0.7071\nf");
  expected = replaced(expected, "f 1//-7 2//-7 5//-7 4//-7", "f 1//-8 2//-8 5//-8 4//-8");
  expected = replaced(expected, "f 2//1 3//1 6//1 5//1", "f 2//8 3//8 6//8 5//8");
  EXPECT_EQ(obj.text(), expected);

  const standin::RecomputedNormals recomputed = standin::recomputedNormals(obj);
  EXPECT_EQ(recomputed.faces, 3u);
  EXPECT_EQ(recomputed.linesRewritten, 4u);
  EXPECT_EQ(recomputed.linesAdded, 1u);
}

// What is not stale stays byte for byte: a flat face whose plane does not
// turn, a move that leaves every normal where it was, and nothing moved.
// Normals written in the shortest form are rewritten in that form, a new
// line takes the file's line ending, and a last line without a newline gets
// one before the new lines.
TEST(ObjNormals, OnlyWhatIsStaleChangesInTheFilesOwnForm) {
  ObjFile inPlane = ObjFile::parse(kStrips, "strips.obj");
  inPlane.setRecomputeNormals(true);
  EXPECT_EQ(inPlane.text(), kStrips);
  inPlane.setPosition(2, {3, 0, 0});  // the flat quad grows in its plane
  inPlane.setPosition(8, {3, 0, 5});  // so does the smooth one
  EXPECT_EQ(inPlane.facesWithStaleNormals(), 0u);
  EXPECT_EQ(inPlane.text(), replaced(replaced(kStrips, "v 2 0 0", "v 3 0 0"), "v 2 0 5", "v 3 0 5"));

  const std::string crlf =
      "v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nv 0 0 1\r\nvn 0 0 1\r\nvn 0 0 1\r\n"
      "f 1//1 2//1 3//1\r\nf 1//2 2//2 4//2\r\nvn  0  0  1";
  ObjFile obj = ObjFile::parse(crlf, "m.obj");
  obj.setRecomputeNormals(true);
  obj.setPosition(2, {0, 1, 1});  // the first triangle leans; line 1 is only its own
  obj.setPosition(3, {0, 0, 2});  // the second stays in its plane
  EXPECT_EQ(obj.text(),
            replaced(replaced(replaced(crlf, "v 0 1 0", "v 0 1 1"), "v 0 0 1", "v 0 0 2"),
                     "vn 0 0 1\r\nvn 0 0 1", "vn 0 -0.7071067811865475 0.7071067811865475\r\nvn 0 0 1"));
}

// A normal shared with a face that did not change gets a new line, and the
// new lines go after the last `vn` line of the file, even at its end.
TEST(ObjNormals, ANewLineFollowsTheLastNormalLine) {
  const std::string text =
      "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nvn 0 0 -1\nf 1//1 3//1 2//1\nf 1//1 2//1 4//1\nvn 1 0 0";
  ObjFile obj = ObjFile::parse(text, "m.obj");
  obj.setRecomputeNormals(true);
  obj.setPosition(2, {0, 1, 1});
  EXPECT_EQ(obj.text(),
            replaced(replaced(text, "v 0 1 0", "v 0 1 1"), "f 1//1 3//1 2//1", "f 1//3 3//3 2//3") +
                "\nvn 0 0.7071067811865475 -0.7071067811865475");
}

// A face squashed to a line has no plane: its normal stays, and the warning
// says why (and, without recomputing, how to recompute).
TEST(ObjNormals, AFaceWithoutAreaKeepsItsNormalAndIsWarnedOf) {
  const std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//1\n";
  ObjFile obj = ObjFile::parse(text, "m.obj");
  obj.setPosition(2, {2, 0, 0});
  EXPECT_EQ(standin::staleNormalsWarning(obj),
            "1 face with normals (vn) uses moved points; the normals are kept as they were (--normals "
            "recompute gives them new ones)");
  obj.setRecomputeNormals(true);
  EXPECT_EQ(obj.text(), replaced(text, "v 0 1 0", "v 2 0 0"));
  EXPECT_EQ(
      standin::staleNormalsWarning(obj),
      "1 face with normals (vn) has no area left, so no normal to give; its normals are kept as they were");
}

}  // namespace
