// elasticpull-host with pairs the user chooses (--pairs, --pairs-from-edges,
// the script's `pairs`), exact lengths (--length, --match-pair) and what it
// tells about the pairs (-v, --report, the summary line). The results are
// read back from the files it writes.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/standin/cli/program_run.h"

namespace {

using program_test::describe;
using program_test::lastLine;
using program_test::ProgramTest;
using Point = std::array<double, 3>;

// A box 1 wide (x), 2 high (y), 3 deep (z): points 0-3 at z 0, counter-
// clockwise from the origin, points 4-7 above them at z 3; its six faces.
constexpr const char *kBox =
    "v 0 0 0\nv 1 0 0\nv 1 2 0\nv 0 2 0\nv 0 0 3\nv 1 0 3\nv 1 2 3\nv 0 2 3\n"
    "f 1 2 3 4\nf 5 8 7 6\nf 1 5 6 2\nf 2 6 7 3\nf 3 7 8 4\nf 5 1 4 8\n";
// Its faces, for files that expect them unchanged.
constexpr const char *kBoxFaces = "f 1 2 3 4\nf 5 8 7 6\nf 1 5 6 2\nf 2 6 7 3\nf 3 7 8 4\nf 5 1 4 8\n";

// The points of an OBJ text (its `v` lines).
std::vector<Point> points(const std::string &text) {
  std::vector<Point> out;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string tag;
    Point p{};
    if (words >> tag && tag == "v" && words >> p[0] >> p[1] >> p[2]) out.push_back(p);
  }
  return out;
}

double length(const std::vector<Point> &p, std::size_t a, std::size_t b) {
  return std::hypot(p[a][0] - p[b][0], p[a][1] - p[b][1], p[a][2] - p[b][2]);
}

class ProgramPairs : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    put("box.obj", kBox);
  }
};

// The pairs the user names are the tool's pairs, whatever the file's order:
// with --select 0-7 the tool would pair 0:1, 2:3, ... and stretch the x edges.
TEST_F(ProgramPairs, ChosenPairsStretchTheEdgesNamedHandleEndFirst) {
  struct Case {
    std::vector<std::string> options;
    const char *points;  // the result's `v` lines
  };
  const Case cases[] = {
      // The file's order: x edges (and the lines through the bottom face) stretch.
      {{"--select", "0-7", "--factor", "2"},
       "v -1 0 0\nv 1 0 0\nv 2 2 0\nv 0 2 0\nv -1 0 3\nv 1 0 3\nv 2 2 3\nv 0 2 3\n"},
      // The z edges, the top end moving, in any order.
      {{"--pairs", "4:0,5:1,6:2,7:3", "--factor", "2"},
       "v 0 0 0\nv 1 0 0\nv 1 2 0\nv 0 2 0\nv 0 0 6\nv 1 0 6\nv 1 2 6\nv 0 2 6\n"},
      {{"--pairs", "6:2,4:0,7:3,5:1", "--factor", "2"},
       "v 0 0 0\nv 1 0 0\nv 1 2 0\nv 0 2 0\nv 0 0 6\nv 1 0 6\nv 1 2 6\nv 0 2 6\n"},
      // The bottom end as the handle.
      {{"--pairs", "0:4,1:5", "--offset", "1"},
       "v 0 0 -1\nv 1 0 -1\nv 1 2 0\nv 0 2 0\nv 0 0 3\nv 1 0 3\nv 1 2 3\nv 0 2 3\n"},
      // --invert swaps the ends the user named.
      {{"--pairs", "4:0,5:1", "--offset", "1", "--invert"},
       "v 0 0 -1\nv 1 0 -1\nv 1 2 0\nv 0 2 0\nv 0 0 3\nv 1 0 3\nv 1 2 3\nv 0 2 3\n"},
      // From the edges along an axis: the end further along it moves.
      {{"--pairs-from-edges", "--axis", "z", "--factor", "2"},
       "v 0 0 0\nv 1 0 0\nv 1 2 0\nv 0 2 0\nv 0 0 6\nv 1 0 6\nv 1 2 6\nv 0 2 6\n"},
      {{"--pairs-from-edges", "--axis", "y", "--offset", "1", "--symmetry"},
       "v 0 -1 0\nv 1 -1 0\nv 1 3 0\nv 0 3 0\nv 0 -1 3\nv 1 -1 3\nv 1 3 3\nv 0 3 3\n"},
  };
  for (const Case &c : cases) {
    std::vector<std::string> args{"box.obj", "-o", "out.obj"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto r = run(args);
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(file("out.obj"), std::string(c.points) + kBoxFaces) << c.options[0] << " " << c.options[1];
  }
}

// Line elements give their segments as pairs, a polyline segment by
// segment; a segment whose end an earlier pair has is skipped and counted.
TEST_F(ProgramPairs, LineElementsArePairsAsWrittenSegmentBySegment) {
  put("lines.obj", std::string(kBox) + "l 5 1\nl 3 7\nl 2 6 5\n");
  const auto r = run({"lines.obj", "--pairs-from-edges", "--factor", "2", "-o", "out.obj", "-v"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(points(file("out.obj")),
            (std::vector<Point>{
                {0, 0, 0}, {1, 0, -3}, {1, 2, -3}, {0, 2, 0}, {0, 0, 6}, {1, 0, 3}, {1, 2, 3}, {0, 2, 3}}));
  EXPECT_EQ(r.out.substr(0, r.out.find("moved")),
            "elasticpull-host: --pairs-from-edges: 1 of 4 segments of the line elements skipped, 3 taken as "
            "pairs: 1 has an "
            "end already in an earlier pair (a point can be the end of one pair only)\n"
            "pair 0: handle 4, anchor 0, length 3 -> 6\npair 1: handle 2, anchor 6, length 3 -> 6\n"
            "pair 2: handle 1, anchor 5, length 3 -> 6\n");
}

// Two boxes stacked in z: their upright edges form chains through the middle
// points. The lower box's edges come first in the file and are taken; the
// upper ones share their lower ends and are skipped, and the run says so.
// With a wider tolerance the diagonal of a leaning face counts too.
TEST_F(ProgramPairs, ChainsOfEdgesAlongTheAxisGiveEveryEdgeWhoseEndsAreFree) {
  put("stack.obj", std::string(kBox) + "v 0 0 6\nv 1 0 6\nv 1 2 6\nv 0 2 6\nf 5 6 10 9\n");
  auto r = run({"stack.obj", "--pairs-from-edges", "--axis", "z", "--factor", "2", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(r.out.substr(0, r.out.find("moved")),
            "elasticpull-host: --pairs-from-edges: 2 of 6 edges within 5 degrees of the z axis skipped, 4 "
            "taken as pairs: 2 "
            "have an end already in an earlier pair (a point can be the end of one pair only)\n");
  const std::vector<Point> after = points(file("out.obj"));
  ASSERT_EQ(after.size(), 12u);
  for (std::size_t i = 4; i < 8; ++i) EXPECT_EQ(after[i][2], 6.0) << "point " << i;
  for (std::size_t i = 8; i < 12; ++i) EXPECT_EQ(after[i][2], 6.0) << "point " << i << " is not moved";

  put("lean.obj", "v 0 0 0\nv 0.2 1 0\nv 5 0 0\nv 5 1 0\nl 1 2\nl 3 4\n");  // 11.3 degrees, then 0
  r = run({"lean.obj", "--pairs-from-edges", "--axis", "y", "--factor", "2", "-o", "out.obj", "-q"});
  EXPECT_EQ(points(file("out.obj"))[1], (Point{0.2, 1, 0}));
  r = run({"lean.obj", "--pairs-from-edges", "--axis", "y", "--axis-tolerance", "12", "--factor", "2", "-o",
           "out.obj", "-q"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(points(file("out.obj"))[1], (Point{0.4, 2, 0}));
}

// A script chooses pairs with `pairs`; `select` returns to the file's order.
TEST_F(ProgramPairs, TheScriptsPairsCommandChoosesAndSelectReturnsToFileOrder) {
  const auto r = run({"box.obj", "--script", "-", "-o", "out.obj", "-q"},
                     "pairs 2:1, 3:0\npick\nfactor 2\nclose\n"
                     "select 4-5\npick\nfactor 3\nclose\n");
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  // y edges doubled upwards; then the pair 4:5 in file order: point 4 moves
  // to 3 times its distance from point 5.
  EXPECT_EQ(points(file("out.obj")),
            (std::vector<Point>{
                {0, 0, 0}, {1, 0, 0}, {1, 4, 0}, {0, 4, 0}, {-2, 0, 3}, {1, 0, 3}, {1, 2, 3}, {0, 2, 3}}));
}

// Pairs of lengths 1 (x), 2 (y) and 3 (z), and a diagonal, each given the
// length through the tool: one pick and one Offset for each length.
TEST_F(ProgramPairs, LengthGivesPairsOfDifferentLengthsOneLength) {
  const std::vector<std::pair<std::size_t, std::size_t>> pairs{{1, 0}, {6, 5}, {7, 3}, {2, 4}};
  const std::vector<Point> before = points(kBox);
  for (const bool symmetry : {false, true}) {
    for (const std::string target : {"2.5", "0.5"}) {
      std::vector<std::string> args{"box.obj", "--pairs", "1:0,6:5,7:3,2:4", "--length",
                                    target,    "-o",      "out.obj"};
      if (symmetry) args.push_back("--symmetry");
      const auto r = run(args);
      ASSERT_EQ(r.exitCode, 0) << describe(r);
      const std::vector<Point> after = points(file("out.obj"));
      ASSERT_EQ(after.size(), 8u);
      for (const auto &[h, a] : pairs) {
        EXPECT_NEAR(length(after, h, a), std::stod(target), 1e-12) << h << ":" << a;
        if (!symmetry) {
          EXPECT_EQ(after[a], before[a]) << "the anchor end stays";
          continue;
        }
        for (int k = 0; k < 3; ++k)
          EXPECT_NEAR(after[h][k] + after[a][k], before[h][k] + before[a][k], 1e-12) << "the midpoint stays";
      }
      EXPECT_NE(r.out.find("4 pairs; Length " + target + ", symmetry " + (symmetry ? "on" : "off")),
                std::string::npos)
          << r.out;
      EXPECT_NE(r.out.find("; lengths now " + target + ";"), std::string::npos) << r.out;
      EXPECT_NE(r.out.find("; 4 builds;"), std::string::npos) << r.out;
    }
  }
}

// The length is the tool's doing: the host types an Offset in the panel for
// the pairs of each length and the tool's build moves the points.
TEST_F(ProgramPairs, LengthTypesOneOffsetAPairIntoThePanel) {
  const auto r = run({"box.obj", "--pairs", "1:0,6:5", "--length", "4", "--symmetry", "--trace"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  const std::size_t first = r.out.find("panel Offset = 1.5 -> set() 2 (done)");  // (4 - 1) / 2
  const std::size_t second = r.out.find("panel Offset = 1 -> set() 2 (done)");   // (4 - 2) / 2
  ASSERT_NE(first, std::string::npos) << r.out;
  ASSERT_NE(second, std::string::npos) << r.out;
  EXPECT_LT(first, second);
  EXPECT_NE(r.out.find("op1.pntMove(0x100008, (2.5, 0, 0)) -> 0"), std::string::npos) << r.out;

  // Pairs of one length need the same Offset: one pick and one build.
  const auto same = run({"box.obj", "--pairs-from-edges", "--axis", "z", "--length", "5", "-o", "out.obj"});
  ASSERT_EQ(same.exitCode, 0) << describe(same);
  EXPECT_NE(same.out.find("; 1 build;"), std::string::npos) << same.out;
  EXPECT_EQ(file("out.obj"), "v 0 0 0\nv 1 0 0\nv 1 2 0\nv 0 2 0\nv 0 0 5\nv 1 0 5\nv 1 2 5\nv 0 2 5\n" +
                                 std::string(kBoxFaces));
}

TEST_F(ProgramPairs, MatchPairGivesEveryPairThatPairsLength) {
  const auto r = run({"box.obj", "--pairs", "1:0,6:5,7:3", "--match-pair", "2", "-o", "out.obj", "-v"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  const std::vector<Point> after = points(file("out.obj"));
  EXPECT_EQ(after[1], (Point{3, 0, 0}));
  EXPECT_EQ(after[6], (Point{1, 3, 3}));
  EXPECT_EQ(after[7], (Point{0, 2, 3})) << "pair 2 itself stays";
  EXPECT_EQ(r.out.substr(0, r.out.find("moved")),
            "pair 0: handle 1, anchor 0, length 1 -> 3\npair 1: handle 6, anchor 5, length 2 -> 3\n"
            "pair 2: handle 7, anchor 3, length 3 -> 3\n");
  EXPECT_NE(r.out.find("; Length 3 (pair 2's), symmetry off:"), std::string::npos) << r.out;

  // An odd selection: the last point is left out, and the user is told.
  const auto odd = run({"box.obj", "--select", "0-4", "--length", "2", "-o", "odd.obj"});
  ASSERT_EQ(odd.exitCode, 0) << describe(odd);
  EXPECT_NE(odd.err.find("warning: 5 points are selected; "), std::string::npos) << describe(odd);
  EXPECT_EQ(points(file("odd.obj"))[4], (Point{0, 0, 3}));
}

// Pairs the tool cannot stretch as asked are refused before the module is
// loaded, and nothing is written.
TEST_F(ProgramPairs, PairsTheToolCannotStretchAsAskedAreRefused) {
  // Two boxes stacked in z: their z edges form chains through the middle points.
  put("stack.obj", std::string(kBox) + "v 0 0 6\nv 1 0 6\nv 1 2 6\nv 0 2 6\nf 5 6 10 9\n");
  put("bad.obj", std::string(kBox).replace(std::string(kBox).find("f 1 2 3 4"), 9, "f 1 2 3 12"));
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"box.obj", "--pairs", "1:0,6:5", "--match-pair", "2"},
       "elasticpull-host: --match-pair 2: there are 2 pairs (0-1)"},
      {{"box.obj", "--pairs", "1:0,2:1", "--factor", "2"},
       "elasticpull-host: --pairs: point 1 is in pair 0 (1:0) and in pair 1 (2:1): a point can be the end of "
       "one "
       "pair only (the host hands each selected point to the tool once); stretch such pairs in separate runs "
       "or "
       "script steps"},
      {{"box.obj", "--pairs-from-edges", "--factor", "2"},
       "elasticpull-host: --pairs-from-edges: the mesh has no line element (l a b ...)"},
      {{"stack.obj", "--pairs-from-edges", "--axis", "z", "--axis-tolerance", "90", "--factor", "2"},
       "elasticpull-host: --axis-tolerance 90: an angle of 0 degrees or more and under 90"},
      {{"bad.obj", "--pairs-from-edges", "--axis", "z", "--factor", "2"},
       "elasticpull-host: bad.obj:9: the face names point 12, past the last of the file's 8 points"},
      {{"box.obj", "--select", "0-3", "--length", "-1"},
       "elasticpull-host: --length -1: a length is a finite number, 0 or more"},
      {{"box.obj", "--select", "0-3", "--pairs", "1:0", "--factor", "2"}, "--select excludes --pairs"},
      {{"box.obj", "--select", "0-3", "--axis", "x", "--factor", "2"}, "--axis requires --pairs-from-edges"},
      {{"box.obj", "--select", "0-3", "--length", "1", "--factor", "2"}, "--factor excludes --length"},
      {{"box.obj", "--select", "0-3", "--factor", "2", "--report", "box.obj"},
       "elasticpull-host: --report 'box.obj' is the input mesh; only the result may replace it (--in-place)"},
  };
  for (const Case &c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", "out.obj"});
    const auto r = run(args);
    EXPECT_EQ(r.exitCode, 2) << describe(r);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << describe(r);
    EXPECT_FALSE(std::filesystem::exists(path("out.obj")));
  }
  EXPECT_EQ(file("box.obj"), kBox);
}

// Pairs shorter than the tool's smallest length (1e-14 in each of x, y and
// z) stay where they are with every kind of stretch; the run goes on with
// the others and says how many it left, in the summary, -v and the report.
TEST_F(ProgramPairs, PairsShorterThanTheSmallestLengthAreLeftAndCounted) {
  // Pair 0 is 5e-15 long, pair 1 has both ends at one place, pair 2 is 1 long.
  const std::string mesh = "v 0 0 0\nv 0 0 5e-15\nv 3 3 3\nv 3 3 3\nv 1 0 0\nv 1 0 1\n";
  put("short.obj", mesh);
  const std::vector<std::vector<std::string>> stretches = {{"--factor", "2"},
                                                           {"--offset", "1"},
                                                           {"--length", "2"},
                                                           {"--match-pair", "0"},
                                                           {"--factor", "3", "--symmetry"}};
  for (const auto &stretch : stretches) {
    std::vector<std::string> args{"short.obj", "--pairs", "1:0,3:2,5:4", "-v",
                                  "--report",  "r.json",  "-o",          "out.obj"};
    args.insert(args.end(), stretch.begin(), stretch.end());
    const auto r = run(args);
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    const std::vector<Point> after = points(file("out.obj"));
    const std::vector<Point> before = points(mesh);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(after[i], before[i]) << stretch[0] << " point " << i;
    EXPECT_NE(after[5], before[5]) << stretch[0] << ": the pair of length 1 is stretched";
    EXPECT_NE(
        r.out.find("pair 1: handle 3, anchor 2, length 0 -> 0 (left as it was: shorter than the smallest "
                   "length)\n"),
        std::string::npos)
        << describe(r);
    EXPECT_NE(r.out.find("; 2 pairs were left as they were: shorter than the smallest length (ends less than "
                         "1e-14 apart in each of x, y and z)"),
              std::string::npos)
        << describe(r);
    const nlohmann::json report = nlohmann::json::parse(file("r.json"));
    EXPECT_EQ(report["pairsTooShort"], 2);
    EXPECT_EQ(report["smallestLength"], 1e-14);
    EXPECT_EQ(report["pairs"][0]["tooShort"], true);
    EXPECT_EQ(report["pairs"][2]["tooShort"], false);
  }
  // Nothing is said when every pair was long enough.
  const auto r = run({"box.obj", "--pairs", "4:0", "--factor", "2"});
  EXPECT_EQ(r.out.find("left as"), std::string::npos) << describe(r);
}

// An Offset whose result is past the largest double (with Symmetry, twice
// the Offset) is said so, never as "inf" or "nan".
TEST_F(ProgramPairs, AnOffsetPastTheLargestNumberIsSaidSo) {
  const auto r = run({"box.obj", "--pairs", "4:0", "--offset", "1.7e308", "--symmetry", "-v"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_NE(r.out.find("each pair becomes more than 1.79769313486e+308 longer"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("length 3 -> more than 1.79769313486e+308\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("nan"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("inf"), std::string::npos) << r.out;
}

// --pairs @FILE: more pairs than a command line holds, one a line or
// comma-separated, with comments; a mistake is named at its line. Script
// pairs lines one after another add up, with the same rule.
TEST_F(ProgramPairs, PairsFromAFileAndConsecutivePairsLinesAddUp) {
  std::string many = "# every point of a 20,000-point mesh once\n";
  std::string mesh;
  for (int i = 0; i < 10000; ++i) {
    mesh += "v " + std::to_string(i) + " 0 0\nv " + std::to_string(i) + " 1 0\n";
    many += std::to_string(2 * i + 1) + ":" + std::to_string(2 * i) + (i % 2 == 0 ? ", " : "\n\n");
  }
  put("many.obj", mesh);
  put("many.txt", many);
  const auto r = run({"many.obj", "--pairs", "@many.txt", "--factor", "2", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_NE(r.out.find("moved 10000 of 20000 points; 10000 pairs;"), std::string::npos) << r.out;
  EXPECT_EQ(points(file("out.obj"))[19999], (Point{9999, 2, 0}));

  put("script.txt", "pairs 4:0\n# and\npairs 5:1, 6:2\npick\nfactor 2\n");
  const auto script = run({"box.obj", "--script", "script.txt", "-v"});
  ASSERT_EQ(script.exitCode, 0) << describe(script);
  EXPECT_NE(script.out.find("moved 3 of 8 points; 3 pairs;"), std::string::npos) << script.out;
  // A pairs line that picks the tool ends its list: the next one is a new
  // selection (as the page's log has them), even with the same points.
  put("picks.txt", "pairs 4:0 pick\npairs 0:4 pick\nfactor 2\n");
  const auto picks = run({"box.obj", "--script", "picks.txt"});
  ASSERT_EQ(picks.exitCode, 0) << describe(picks);
  EXPECT_NE(picks.out.find("moved 1 of 8 points; 1 pair;"), std::string::npos) << picks.out;

  struct Case {
    std::string pairs;   // the file's text
    std::string script;  // a script's text instead, when not empty
    std::string message;
  };
  const Case cases[] = {
      {"4:0\n5:1\n\n6:4 # again\n", "",
       "elasticpull-host: p.txt:4: point 4 is in pair 0 (4:0) and in pair 2 (6:4): a point can be the end of "
       "one pair only"},
      {"4:0\n5:x\n", "", "elasticpull-host: p.txt:2: bad pair '5:x'"},
      {"4:0\n9:1\n", "", "elasticpull-host: p.txt:2: point index 9 is out of range: the mesh has 8 points"},
      {"# nothing\n\n", "", "elasticpull-host: p.txt: the pairs file holds no pairs"},
      {"", "pairs 4:0\npairs 0:1\n",
       "elasticpull-host: p.txt:2: point 0 is in pair 0 (4:0) and in pair 1 (0:1): a point can be the end of "
       "one pair only"},
  };
  for (const Case &c : cases) {
    put("p.txt", c.script.empty() ? c.pairs : c.script);
    const auto bad =
        run(c.script.empty() ? std::vector<std::string>{"box.obj", "--pairs", "@p.txt", "--factor", "2"}
                             : std::vector<std::string>{"box.obj", "--script", "p.txt"});
    EXPECT_EQ(bad.exitCode, 2) << describe(bad);
    EXPECT_EQ(bad.err.rfind(c.message, 0), 0u) << describe(bad);
  }
}

// -v and --report tell the same: every pair by mesh indices, with its length
// in the file and now; the summary says what Symmetry does to the length.
TEST_F(ProgramPairs, VerboseAndTheReportListEveryPairWithItsLengths) {
  const auto r = run({"box.obj", "--pairs", "4:0,2:1", "--factor", "1.5", "--symmetry", "-v", "--report",
                      "pairs.json", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(r.out.substr(0, r.out.find("moved")),
            "pair 0: handle 4, anchor 0, length 3 -> 6\npair 1: handle 2, anchor 1, length 2 -> 4\n");
  EXPECT_NE(
      r.out.find("moved 4 of 8 points; 2 pairs; Factor 1.5 (150%), symmetry on: each pair becomes 2 "
                 "times as long (both ends move: 2 x 1.5 - 1); lengths now 4 and 6; 1 build; wrote out.obj"),
      std::string::npos)
      << r.out;

  const nlohmann::json report = nlohmann::json::parse(file("pairs.json"));
  EXPECT_EQ(report["mesh"], "box.obj");
  EXPECT_EQ(report["output"], "out.obj");
  EXPECT_EQ(report["settings"],
            nlohmann::json::parse(R"({"mode": "factor", "factor": 1.5, "offset": 0, "symmetry": true})"));
  ASSERT_EQ(report["pairs"].size(), 2u);
  const std::vector<std::array<double, 5>> expected{{0, 4, 0, 3, 6}, {1, 2, 1, 2, 4}};
  for (std::size_t k = 0; k < expected.size(); ++k) {
    const nlohmann::json &pair = report["pairs"][k];
    EXPECT_EQ(pair["pair"], expected[k][0]);
    EXPECT_EQ(pair["handle"], expected[k][1]);
    EXPECT_EQ(pair["anchor"], expected[k][2]);
    EXPECT_EQ(pair["lengthBefore"], expected[k][3]);
    EXPECT_EQ(pair["lengthAfter"], expected[k][4]);
  }

  // A failed run writes no report.
  const auto failed =
      run({"box.obj", "--pairs", "4:0", "--factor", "2", "--report", "failed.json", "--module", "none.p"});
  EXPECT_EQ(failed.exitCode, 4) << describe(failed);
  EXPECT_FALSE(std::filesystem::exists(path("failed.json")));
}

TEST_F(ProgramPairs, TheSummarySaysWhatSymmetryDoesToTheLength) {
  struct Case {
    std::vector<std::string> options;
    const char *says;
  };
  const Case cases[] = {
      {{"--offset", "1", "--symmetry"},
       "Offset 1, symmetry on: each pair becomes 2 longer (both ends move: 2 x 1); length now 5;"},
      {{"--offset", "1"},
       "Offset 1, symmetry off: each pair becomes 1 longer (the handle end moves); length now 4;"},
      {{"--factor", "0.25", "--symmetry"},
       "Factor 0.25 (25%), symmetry on: each pair's ends change sides and it becomes 0.5 times as long (both "
       "ends move: 2 x 0.25 - 1); length now 1.5;"},
      {{"--factor", "0.5", "--symmetry"},
       "Factor 0.5 (50%), symmetry on: each pair's ends meet, length 0 (both ends move: 2 x 0.5 - 1); "
       "length "
       "now 0;"},
  };
  for (const Case &c : cases) {
    std::vector<std::string> args{"box.obj", "--pairs", "4:0"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto r = run(args);
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_NE(lastLine(r.out).find(c.says), std::string::npos) << r.out;
  }
}

}  // namespace
