// Reading OBJ points and writing the file back without touching anything but
// the coordinates of moved points.
#include "standin/session/obj_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "standin/session/atomic_file.h"

namespace {

using standin::Failure;
using standin::ObjFile;
namespace fs = std::filesystem;

std::string errorOf(const std::string &text) {
  try {
    ObjFile::parse(text, "m.obj");
  } catch (const Failure &error) {
    return error.what();
  }
  return "(no error)";
}

TEST(ObjFileRead, VertexLinesArePointsInFileOrderAndNothingElseIs) {
  const ObjFile obj = ObjFile::parse(
      "# comment v 9 9 9\n"
      "mtllib a.mtl\n"
      "v 1 2 3\n"
      "vn 0 0 1\n"
      "vt 0.5 0.5\n"
      "  v\t-4.5e1 +5 .25   # trailing comment\n"
      "vp 1 2\n"
      "v 7 8 9 0.1 0.2 0.3\n"
      "f 1/1/1 2/1/1 3/1/1\n",
      "m.obj");
  ASSERT_EQ(obj.pointCount(), 3u);
  EXPECT_EQ(obj.position(0), (ObjFile::Position{1, 2, 3}));
  EXPECT_EQ(obj.position(1), (ObjFile::Position{-45, 5, 0.25}));
  EXPECT_EQ(obj.position(2), (ObjFile::Position{7, 8, 9}));
  EXPECT_EQ(obj.lineOf(0), 3u);
  EXPECT_EQ(obj.lineOf(1), 6u);
  EXPECT_EQ(obj.lineOf(2), 8u);
}

TEST(ObjFileRead, MalformedVertexLinesNameFileAndLine) {
  using namespace std::string_literals;
  const char *kMarkInMidFile =
      "a byte-order mark (bytes EF BB BF) in mid-file: only the very start of a file may have one (were two "
      "files joined?)";
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"v 1 2 3\nv 1 2\n", "m.obj:2: a vertex needs three numbers (x y z), found 2"},
      {"v\n", "m.obj:1: a vertex needs three numbers (x y z), found 0"},
      {"\n\nv 1 x 3\n", "m.obj:3: vertex coordinate 'x' is not a number"},
      {"v 1,5 2 3\n", "m.obj:1: vertex coordinate '1,5' is not a number"},
      {"v 1 2 nan\n", "m.obj:1: vertex coordinate 'nan' is not a finite number"},
      {"v 1 2 inf\n", "m.obj:1: vertex coordinate 'inf' is not a finite number"},
      {"v 1 2 1e999\n", "m.obj:1: vertex coordinate '1e999' is not a finite number"},
      {"v 1 2 3 red\n", "m.obj:1: unexpected 'red' after the vertex coordinates"},
      {"v 1 2 3\r\nv 1 2\r\n", "m.obj:2: a vertex needs three numbers (x y z), found 2"},
      {"v 1 2 3\nf 1\0 2\n"s, "m.obj:2: not a text file (contains a NUL byte)"},
      // Text is checked whole first, as a file's is while it is read.
      {"v 1 2\n\0"s, "m.obj:2: not a text file (contains a NUL byte)"},
      {"v 0 0 0\n\xEF\xBB\xBF" "v 0 1 0\n", "m.obj:2: "s + kMarkInMidFile},
      {"\xEF\xBB\xBF\xEF\xBB\xBF" "v 0 0 0\n", "m.obj:1: "s + kMarkInMidFile},
      {"v 1 2 3#c\n", "m.obj:1: vertex coordinate '3#c' is not a number"},
      {"v 1 2 +-3\n", "m.obj:1: vertex coordinate '+-3' is not a number"},
      {"v 1 2 3.5.1\n", "m.obj:1: vertex coordinate '3.5.1' is not a number"},
      {"v 0x10 2 3\n", "m.obj:1: vertex coordinate '0x10' is not a number"},
  };
  for (const Case &c : cases) EXPECT_EQ(errorOf(c.text), c.message) << "input: " << c.text;
}

TEST(ObjFileRead, LinesAreCountedRightWhateverTheBytesAroundTheNewlines) {
  // Bytes that differ from '\n' in one bit, at every offset from an
  // eight-byte boundary.
  std::string text;
  std::vector<std::size_t> lines;
  std::size_t line = 1;
  for (int i = 0; i < 40; ++i) {
    text += std::string(static_cast<std::size_t>(i % 9), "\x8a\x0b\x0e\x1a\x2a\x4a\x08\x02\xff"[i % 9]);
    text += i % 3 == 0 ? "\n" : "\r\n";
    ++line;
    text += "v 0 0 " + std::to_string(i) + "\n";
    lines.push_back(line++);
  }
  const ObjFile obj = ObjFile::parse(text, "m.obj");
  ASSERT_EQ(obj.pointCount(), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(obj.lineOf(i), lines[i]) << "point " << i;
}

TEST(ObjFileRead, PlainAndUnusualVertexLinesReadTheSame) {
  const ObjFile obj = ObjFile::parse(
      "v 1.5 -2 3e2\n"
      "v +1.5 -2 3e2\n"
      "v\t1.5\t-2\t3e2\r\n"
      "  v 1.5 -2 3e2 # a comment\n"
      "v 1.5 -2 3e2 inf nan 1\n"
      "v .15e1 -2.0 300\n",
      "m.obj");
  ASSERT_EQ(obj.pointCount(), 6u);
  for (std::size_t i = 0; i < obj.pointCount(); ++i)
    EXPECT_EQ(obj.position(i), (ObjFile::Position{1.5, -2, 300})) << "point " << i;
}

TEST(ObjFileWrite, UnchangedFileIsWrittenBackByteForByte) {
  const std::string text =
      "# exported\r\nv 0.1000 2.50 -0\r\nvn 0 1 0\r\nvt 0 0\r\ng box\r\nusemtl red\r\n"
      "v 1e2 +3 4 0.5 0.5 0.5\r\nf 1/1/1 2/1/1 1/1/1\r\no last\tline without newline";
  ObjFile obj = ObjFile::parse(text, "m.obj");
  EXPECT_EQ(obj.text(), text);
  // Setting a point to the value it already has is no change either.
  obj.setPosition(0, obj.position(0));
  EXPECT_EQ(obj.changedCount(), 0u);
  EXPECT_EQ(obj.text(), text);
}

TEST(ObjFileWrite, OnlyTheMovedPointsCoordinatesChange) {
  const std::string text =
      "v 0.1000 2.50 -0\r\n"
      "vn 0 1 0\r\n"
      "\tv  1e2   +3   4  0.5 0.5 0.5 # coloured\r\n"
      "v 5 6 7";
  ObjFile obj = ObjFile::parse(text, "m.obj");
  obj.setPosition(1, {0.1, -2.0 / 3.0, 1e-300});
  obj.setPosition(2, {3, 4, 5});
  EXPECT_EQ(obj.changedCount(), 2u);
  EXPECT_EQ(obj.text(),
            "v 0.1000 2.50 -0\r\n"
            "vn 0 1 0\r\n"
            "\tv  0.1   -0.6666666666666666   1e-300  0.5 0.5 0.5 # coloured\r\n"
            "v 3 4 5");
}

// Only the numbers' texts change: the blanks between and around them, line
// endings and comments stay as the file has them.
TEST(ObjFileWrite, AMovedPointKeepsTheBlanksBetweenItsNumbers) {
  struct Case {
    const char *line;
    const char *written;
  };
  const Case cases[] = {
      {"v  0.0  0.0  1.0\n", "v  2  -0.5  3\n"},
      {"v\t0.0\t0.0\t1.0\r\n", "v\t2\t-0.5\t3\r\n"},
      {"  v 0.0 \t 0.0\t 1.0   # top corner\r\n", "  v 2 \t -0.5\t 3   # top corner\r\n"},
      {"v +0 0e0 1.0 0.5 0.5 0.5\n", "v 2 -0.5 3 0.5 0.5 0.5\n"},
      {"v 0 0 1", "v 2 -0.5 3"},  // no final newline
      {"v 0.0\f0.0\v1.0\n", "v 2\f-0.5\v3\n"},
  };
  for (const Case &c : cases) {
    ObjFile obj = ObjFile::parse(std::string("# before\n") + c.line, "m.obj");
    obj.setPosition(0, {2, -0.5, 3});
    EXPECT_EQ(obj.text(), std::string("# before\n") + c.written) << c.line;
  }
  // Blanks of any width, tabs too.
  const std::string wide(300, ' ');
  const std::string tabs(200, '\t');
  ObjFile obj = ObjFile::parse("v 0" + wide + "0.0" + tabs + "1\nv 0 0 0\n", "m.obj");
  obj.setPosition(0, {2, -0.5, 3});
  EXPECT_EQ(obj.text(), "v 2" + wide + "-0.5" + tabs + "3\nv 0 0 0\n");
}

// --digits: moved coordinates with a fixed number of decimals, rounded; a
// number that rounds to zero has no sign. Unmoved points keep their text.
TEST(ObjFileWrite, MovedCoordinatesCanBeWrittenWithAFixedNumberOfDecimals) {
  struct Case {
    int decimals;
    ObjFile::Position position;
    const char *written;
  };
  const Case cases[] = {
      {6, {1.0 / 3.0, 2, -0.0000001}, "v  0.333333  2.000000  0.000000\n"},
      {2, {5.499999999999999, -1.005, 1e6}, "v  5.50  -1.00  1000000.00\n"},
      {0, {2.5, -0.4, 7.7}, "v  2  0  8\n"},
      {-1, {1.0 / 3.0, 2, -0.0000001}, "v  0.3333333333333333  2  -1e-07\n"},
  };
  for (const Case &c : cases) {
    ObjFile obj = ObjFile::parse("v  0.000000  0.000000  0.000000\nv 0.1 0.2 0.3\n", "m.obj");
    obj.setDecimals(c.decimals);
    obj.setPosition(0, c.position);
    EXPECT_EQ(obj.text(), std::string(c.written) + "v 0.1 0.2 0.3\n") << c.decimals;
  }
}

// Faces whose normals (a//n, a/t/n) the moved points made stale: a face with
// a normal per corner (smooth) as soon as it uses a moved point, a face with
// one normal (flat) only when its plane turns. Faces without normals and
// lines never count.
TEST(ObjFileWrite, FacesWithNormalsThatMovedPointsMadeStaleAreCounted) {
  ObjFile obj = ObjFile::parse(
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\nvn 0 0.1 1\nvn 0.1 0 1\nvt 0 0\n"
      "f 1//1 2//1 3//1\n"     // flat: points 0 1 2
      "f 2/1/1 3/1/1 4/1/1\n"  // flat: points 1 2 3
      "f 1//1 2//2 3//3\n"     // smooth: points 0 1 2
      "f 2//1 3//2 4//3\n"     // smooth: points 1 2 3
      "f 1/1 2/1 4/1\n"        // no normals
      "f -4//1 -3//1 -2//1\n"  // flat, relative: points 0 1 2
      "l 1 4\n",
      "m.obj");
  EXPECT_EQ(obj.facesWithStaleNormals(), 0u) << "nothing moved";
  obj.setPosition(3, {0, 2, 0});  // in the plane: only the smooth face using it
  EXPECT_EQ(obj.facesWithStaleNormals(), 1u);
  obj.setPosition(0, {0, 0, 1});  // out of the plane: every face using it
  EXPECT_EQ(obj.facesWithStaleNormals(), 4u);
  obj.setPosition(0, {0, 0, 0});  // back where the file has it: unchanged again
  EXPECT_EQ(obj.facesWithStaleNormals(), 1u);
}

// Reading and writing tell their progress every megabyte or so, in order,
// and end at the whole.
TEST(ObjFileProgress, ParsingAndWritingReportHowFarTheyAre) {
  std::string text;
  while (text.size() < (std::size_t{5} << 20)) text += "v 1.25 2.5 3.75\n";
  std::vector<std::uint64_t> parsed;
  ObjFile obj = ObjFile::parse(text, "m.obj", [&](std::uint64_t done, std::uint64_t total) {
    EXPECT_EQ(total, text.size());
    parsed.push_back(done);
  });
  ASSERT_GE(parsed.size(), 5u);
  EXPECT_LE(parsed.size(), 7u) << "about one a megabyte";
  EXPECT_TRUE(std::is_sorted(parsed.begin(), parsed.end()));
  EXPECT_EQ(parsed.back(), text.size());

  for (std::size_t i = 0; i < obj.pointCount(); i += 2) obj.setPosition(i, {0, 0, 0});
  std::vector<std::uint64_t> written;
  const std::string out = obj.text([&](std::uint64_t done, std::uint64_t) { written.push_back(done); });
  ASSERT_GE(written.size(), 5u);
  EXPECT_LE(written.size(), 7u);
  EXPECT_TRUE(std::is_sorted(written.begin(), written.end()));
  EXPECT_EQ(written.back(), text.size());
  EXPECT_EQ(out, obj.text());
}

TEST(ObjFileWrite, RewrittenNumbersReadBackExactly) {
  const double values[] = {0.1, 1.0 / 3.0, -1e-310, 123456789.123456789, 5e-324, 1.7976931348623157e308,
                           -0.0};
  for (double value : values) {
    ObjFile obj = ObjFile::parse("v 0 0 0\n", "m.obj");
    obj.setPosition(0, {value, -value, value * 0.5});
    const ObjFile back = ObjFile::parse(obj.text(), "back.obj");
    for (std::size_t axis = 0; axis < 3; ++axis) {
      EXPECT_EQ(std::signbit(back.position(0)[axis]), std::signbit(obj.position(0)[axis]));
      EXPECT_EQ(back.position(0)[axis], obj.position(0)[axis]) << "value " << value;
    }
  }
}

TEST(ObjFileRead, AByteOrderMarkHidesNoPointAndIsWrittenBack) {
  const std::string text = "\xEF\xBB\xBFv 2 0 0\nv 0 0 0\nf 1 2 1\n";
  ObjFile obj = ObjFile::parse(text, "m.obj");
  ASSERT_EQ(obj.pointCount(), 2u);
  EXPECT_EQ(obj.position(0), (ObjFile::Position{2, 0, 0}));
  EXPECT_EQ(obj.lineOf(0), 1u);
  EXPECT_EQ(obj.edges(), (std::vector<std::pair<std::size_t, std::size_t>>{{0, 1}}));
  EXPECT_EQ(obj.text(), text);
  obj.setPosition(0, {4, 0, 0});
  EXPECT_EQ(obj.text(), "\xEF\xBB\xBFv 4 0 0\nv 0 0 0\nf 1 2 1\n");
}

TEST(ObjFileWrite, APositionThatIsNotFiniteIsRefusedAndThePointKept) {
  ObjFile obj = ObjFile::parse("v 1 2 3\nv 4 5 6\n", "m.obj");
  const double bad[] = {std::nan(""), HUGE_VAL, -HUGE_VAL};
  for (const double value : bad) {
    try {
      obj.setPosition(1, {0, value, 0});
      ADD_FAILURE() << value << " was taken";
    } catch (const Failure &error) {
      EXPECT_EQ(std::string(error.what()).rfind("point 1 cannot be written: its position (0 ", 0), 0u)
          << error.what();
    }
  }
  EXPECT_EQ(obj.changedCount(), 0u);
  EXPECT_EQ(obj.text(), "v 1 2 3\nv 4 5 6\n");
}

// A tool edits the points in the file's mesh; syncFromMesh takes them in as
// setPosition would: a point differing from its text's value is changed, and
// one that goes back there (an undo) keeps its text as written.
TEST(ObjFileWrite, PointsWrittenThroughTheMeshCountOnceTakenIn) {
  ObjFile obj = ObjFile::parse("v 1.50 0 0\nv 2 0 0\nv 3.0 0 0\nv +4 0 0\n", "m.obj");
  standin::Mesh &mesh = obj.mesh();
  mesh.setPosition(0, {9, 9, 9});
  mesh.setPosition(1, {2, 0, 0});  // its own value
  mesh.setPosition(2, {7, 7, 7});  // away and back before the sync
  mesh.setPosition(2, {3, 0, 0});
  mesh.setPosition(3, {-0.0, 0, 0});  // -0 is not +4
  EXPECT_EQ(obj.changedCount(), 0u) << "not taken in yet";
  obj.syncFromMesh();
  EXPECT_EQ(obj.changedCount(), 2u);
  EXPECT_TRUE(obj.changed(0) && obj.changed(3));
  EXPECT_FALSE(mesh.written(0)) << "taken in once";
  mesh.setPosition(0, {1.5, 0, 0});  // back where it was: its text as written
  mesh.setPosition(2, {3, 0, 0});    // "3.0" reads as 3: no change
  obj.syncFromMesh();
  EXPECT_EQ(obj.changedCount(), 1u);
  EXPECT_EQ(obj.text(), "v 1.50 0 0\nv 2 0 0\nv 3.0 0 0\nv -0 0 0\n");
}

TEST(ObjFileWrite, AMeshPointThatIsNotFiniteIsNeverTakenInNorWritten) {
  ObjFile obj = ObjFile::parse("v 1 0 0\nv 2 0 0\nv 3 0 0\n", "m.obj");
  obj.mesh().setPosition(2, {std::nan(""), 0, 0});
  obj.mesh().setPosition(1, {0, HUGE_VAL, 0});
  try {
    obj.syncFromMesh();
    ADD_FAILURE() << "taken in";
  } catch (const Failure &error) {
    EXPECT_EQ(std::string(error.what()).rfind("point 1 cannot be written: its position (0 ", 0), 0u)
        << error.what();
  }
  // A changed point written to an infinity later, and not taken in.
  ObjFile changed = ObjFile::parse("v 1 0 0\n", "m.obj");
  changed.setPosition(0, {5, 0, 0});
  changed.mesh().setPosition(0, {-HUGE_VAL, 0, 0});
  EXPECT_THROW(changed.text(), Failure);
}

TEST(ObjFileEdges, FacesAndLinesGiveEachEdgeOnceWithRelativeIndicesResolved) {
  const ObjFile obj = ObjFile::parse(
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
      "f 1/1/1 2/2/1 3/3/1\n"  // triangle 0-1-2
      "f -4 -2 -1\n"           // relative: 0, 2, 3
      "l 4 1\n"                // a line: 3-0
      "f 1 9 x 2\n",           // unknown and malformed references are left out: 0-1
      "m.obj");
  using Edge = std::pair<std::size_t, std::size_t>;
  EXPECT_EQ(obj.edges(), (std::vector<Edge>{{0, 1}, {1, 2}, {0, 2}, {2, 3}, {0, 3}}));
}

class ObjFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    // One folder a test: CTest runs the tests of this file in parallel.
    dir_ = fs::path(EP_TEST_OUTPUT_DIR) / "obj_file_test" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  static std::string slurp(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
  }
  static void spit(const fs::path &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  std::size_t entries() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(dir_)) ++n;
    return n;
  }
  fs::path dir_;
};

TEST_F(ObjFileOnDisk, WriteReplacesTheTargetAndLeavesNoTemporaryFile) {
  spit(dir_ / "in.obj", "v 0 0 0\nv 2 0 0\n");
  spit(dir_ / "out.obj", "old contents that are longer than the new ones\n");
  ObjFile obj = ObjFile::read((dir_ / "in.obj").string());
  obj.setPosition(1, {3, 0, 0});
  obj.write((dir_ / "out.obj").string());
  EXPECT_EQ(slurp(dir_ / "out.obj"), "v 0 0 0\nv 3 0 0\n");
  EXPECT_EQ(slurp(dir_ / "in.obj"), "v 0 0 0\nv 2 0 0\n");
  EXPECT_EQ(entries(), 2u);
}

// A file on disk is read in parts, each told, then parsed: the two halves of
// the progress, in order, ending at the whole. Writing tells the bytes written.
TEST_F(ObjFileOnDisk, ReadingAndWritingALargeFileTellTheirProgress) {
  std::string text;
  while (text.size() < (std::size_t{17} << 20)) text += "v 1.25 2.5 3.75\n";
  spit(dir_ / "big.obj", text);
  std::vector<std::uint64_t> read;
  const ObjFile obj =
      ObjFile::read((dir_ / "big.obj").string(), {}, [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, 2 * text.size());
        read.push_back(done);
      });
  EXPECT_EQ(obj.pointCount(), text.size() / 16);
  ASSERT_GE(read.size(), 2u + 17u);  // two reads, a report every megabyte of parsing
  EXPECT_TRUE(std::is_sorted(read.begin(), read.end()));
  EXPECT_EQ(read[1], text.size()) << "the second read ends the first half";
  EXPECT_EQ(read.back(), 2 * text.size());

  std::vector<std::uint64_t> written;
  standin::writeFileAtomically((dir_ / "out.obj").string(), text,
                               [&](std::uint64_t done, std::uint64_t) { written.push_back(done); });
  EXPECT_EQ(written, (std::vector<std::uint64_t>{std::uint64_t{16} << 20, text.size()}));
  EXPECT_EQ(slurp(dir_ / "out.obj"), text);
}

TEST_F(ObjFileOnDisk, FailedWritesSayWhyAndLeaveNothingBehind) {
  const ObjFile obj = ObjFile::parse("v 0 0 0\n", "m.obj");
  fs::create_directories(dir_ / "a-directory");
  std::vector<std::string> targets{(dir_ / "missing-dir" / "out.obj").string(),
                                   (dir_ / "a-directory").string()};
  std::size_t made = 1;  // a-directory
#ifndef _WIN32
  // Two links naming each other: there is no file to write at their end.
  fs::create_symlink("loop-b", dir_ / "loop-a");
  fs::create_symlink("loop-a", dir_ / "loop-b");
  targets.push_back((dir_ / "loop-a").string());
  made += 2;
#endif
  for (const std::string &target : targets) {
    try {
      obj.write(target);
      ADD_FAILURE() << "writing " << target << " succeeded";
    } catch (const standin::Failure &error) {
      EXPECT_EQ(std::string(error.what()).rfind("cannot write '" + target + "': ", 0), 0u) << error.what();
    }
  }
  EXPECT_EQ(entries(), made);
}

TEST_F(ObjFileOnDisk, ReadingStopsAtANulByteAndNamesItsLine) {
  using namespace std::string_literals;
  spit(dir_ / "binary.obj", "v 1 2 3\nv 4 5 6\n\x7f\0\x01"s + std::string(100000, 'x'));
  try {
    ObjFile::read((dir_ / "binary.obj").string(), "binary.obj");
    ADD_FAILURE() << "no error";
  } catch (const Failure &error) {
    EXPECT_STREQ(error.what(), "binary.obj:3: not a text file (contains a NUL byte)");
  }
}

TEST_F(ObjFileOnDisk, ReadingAMissingFileOrADirectoryFails) {
  const std::string missing = (dir_ / "nope.obj").string();
  try {
    ObjFile::read(missing, "nope.obj");
    ADD_FAILURE() << "no error";
  } catch (const Failure &error) {
    EXPECT_EQ(std::string(error.what()).rfind("nope.obj: cannot open: ", 0), 0u) << error.what();
  }
  EXPECT_THROW(ObjFile::read(dir_.string()), Failure);
}

}  // namespace
