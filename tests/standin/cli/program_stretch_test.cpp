// elasticpull-host on small meshes whose results are worked out by hand: the
// handle end is the first selected point of each pair in file order, the
// anchor end the second.
#include <gtest/gtest.h>

#include "tests/standin/cli/program_run.h"

namespace {

using program_test::describe;
using program_test::ProgramTest;

// Two pairs: handle (2,0,0) with anchor (0,0,0), and handle (0,1,0) with
// anchor (0,5,0) (length 4, pointing down the y axis).
constexpr const char *kTwoPairs = "v 2 0 0\nv 0 0 0\nv 0 1 0\nv 0 5 0\n";

class ProgramStretch : public ProgramTest {};

TEST_F(ProgramStretch, OptionsApplyOneStretchToEveryPair) {
  struct Case {
    std::vector<std::string> options;
    const char *expected;
  };
  const Case cases[] = {
      {{"--factor", "1.5"}, "v 3 0 0\nv 0 0 0\nv 0 -1 0\nv 0 5 0\n"},
      {{"--factor", "1.5", "--symmetry"}, "v 3 0 0\nv -1 0 0\nv 0 -1 0\nv 0 7 0\n"},
      {{"--offset", "1"}, "v 3 0 0\nv 0 0 0\nv 0 0 0\nv 0 5 0\n"},
      {{"--offset", "1", "--symmetry"}, "v 3 0 0\nv -1 0 0\nv 0 0 0\nv 0 6 0\n"},
      {{"--offset", "-3"}, "v -1 0 0\nv 0 0 0\nv 0 4 0\nv 0 5 0\n"},
      // Inverted: the second point of each pair moves.
      {{"--factor", "1.5", "--invert"}, "v 2 0 0\nv -1 0 0\nv 0 1 0\nv 0 7 0\n"},
      {{"--factor", "-1"}, "v -2 0 0\nv 0 0 0\nv 0 9 0\nv 0 5 0\n"},
  };
  put("pairs.obj", kTwoPairs);
  for (const Case &c : cases) {
    std::vector<std::string> args{"pairs.obj", "--select", "0-3", "-o", "out.obj"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto r = run(args);
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(file("out.obj"), c.expected) << c.options[0] << " " << c.options[1];
    EXPECT_EQ(file("pairs.obj"), kTwoPairs);
  }
}

// The options make the panel edits a user would make one after the other,
// with one build (two with --invert, whose button needs the tool's pairs), and
// give the file the same script makes build by build.
TEST_F(ProgramStretch, OptionsBuildOnceWhatTheSameEditsInAScriptBuildStepByStep) {
  struct Case {
    std::vector<std::string> options;
    const char *script;  // after "select 0-3" and "pick"
    const char *builds;
  };
  const Case cases[] = {
      {{"--factor", "1.5"}, "factor 1.5\n", "; 1 build;"},
      {{"--offset", "0.5", "--symmetry"}, "mode offset\nsymmetry on\noffset 0.5\n", "; 1 build;"},
      {{"--factor", "-2", "--symmetry", "--invert"}, "invert\nsymmetry on\nfactor -2\n", "; 2 builds;"},
      {{"--offset", "2", "--invert"}, "invert\nmode offset\noffset 2\n", "; 2 builds;"},
      {{"--symmetry", "--factor", "0.5"}, "symmetry on\nfactor 0.5\n", "; 1 build;"},
  };
  put("pairs.obj", "v 2 0 0\nv 0 0 0\nv 0.5 1 -3\nv 0.25 5 0.125\n");
  for (const Case &c : cases) {
    std::vector<std::string> args{"pairs.obj", "--select", "0-3", "-o", "options.obj"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto options = run(args);
    ASSERT_EQ(options.exitCode, 0) << describe(options);
    EXPECT_NE(options.out.find(c.builds), std::string::npos) << options.out;
    put("script.txt", std::string("select 0-3\npick\n") + c.script);
    const auto script = run({"pairs.obj", "--script", "script.txt", "-o", "script.obj"});
    ASSERT_EQ(script.exitCode, 0) << describe(script);
    EXPECT_EQ(file("options.obj"), file("script.obj")) << c.script;
    EXPECT_NE(file("options.obj"), file("pairs.obj")) << c.script;
  }
}

TEST_F(ProgramStretch, SummarySaysWhatMovedAndWithWhat) {
  put("pairs.obj", kTwoPairs);
  auto r = run({"pairs.obj", "--select", "0-3", "--factor", "1.5", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_NE(r.out.find("moved 2 of 4 points; 2 pairs; Factor 1.5 (150%), symmetry off: each pair becomes 1.5 "
                       "times as long (the handle end moves); lengths now 3 and 6; 1 build;"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("wrote out.obj"), std::string::npos) << r.out;
  r = run({"pairs.obj", "--select", "0-3", "--offset", "0.5", "--symmetry"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_NE(
      r.out.find("moved 4 of 4 points; 2 pairs; Offset 0.5, symmetry on: each pair becomes 1 longer (both "
                 "ends move: 2 x 0.5); lengths now 3 and 5;"),
      std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("result not saved"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
}

TEST_F(ProgramStretch, PairsFormInFileOrderWhateverTheSelectionsOrder) {
  // Points 1 and 3 selected as "3,1": the pair is (1, 3), so point 1 moves.
  put("four.obj", "v 9 9 9\nv 2 0 0\nv 9 9 9\nv 0 0 0\n");
  const auto r = run({"four.obj", "--select", "3,1", "--factor", "2", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(file("out.obj"), "v 9 9 9\nv 4 0 0\nv 9 9 9\nv 0 0 0\n");
}

TEST_F(ProgramStretch, EverythingButTheMovedCoordinatesSurvivesByteForByte) {
  const std::string before =
      "# made by hand\r\n"
      "mtllib m.mtl\r\n"
      "o thing\r\n"
      "v 2.000 0 0 1 0 0\r\n"            // a handle end with a colour: its numbers are rewritten
      "v  0.0000  0.0  0.0   0 1 0\r\n"  // an anchor end: untouched, its text stays
      "v 1e-1 +7 -0\r\n"                 // not selected
      "vt 0.25 0.75\r\n"
      "vn 0 0 1\r\n"
      "usemtl red\r\n"
      "s 1\r\n"
      "f 1/1/1 2/1/1 3/1/1\r\n"
      "l 1 3\r\n"
      "# no newline at the end";
  const std::string after =
      "# made by hand\r\n"
      "mtllib m.mtl\r\n"
      "o thing\r\n"
      "v 3 0 0 1 0 0\r\n"
      "v  0.0000  0.0  0.0   0 1 0\r\n"
      "v 1e-1 +7 -0\r\n"
      "vt 0.25 0.75\r\n"
      "vn 0 0 1\r\n"
      "usemtl red\r\n"
      "s 1\r\n"
      "f 1/1/1 2/1/1 3/1/1\r\n"
      "l 1 3\r\n"
      "# no newline at the end";
  put("thing.obj", before);
  auto r = run({"thing.obj", "--select", "0-1", "--factor", "1.5", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(file("out.obj"), after);
  EXPECT_EQ(file("thing.obj"), before);

  // A stretch that moves nothing (factor 1) writes the file back unchanged.
  r = run({"thing.obj", "--select", "0-1", "--factor", "1", "-o", "same.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(file("same.obj"), before);
}

TEST_F(ProgramStretch, InPlaceReplacesTheInputAndNothingElseIsLeft) {
  put("pairs.obj", kTwoPairs);
  const auto r = run({"pairs.obj", "--select", "0-1", "--factor", "2", "--in-place"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(file("pairs.obj"), "v 4 0 0\nv 0 0 0\nv 0 1 0\nv 0 5 0\n");
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(dir_)) {
    const std::string name = entry.path().filename().string();
    if (name[0] != '.' || name.find(".tmp") != std::string::npos) names.push_back(name);
  }
  EXPECT_EQ(names, std::vector<std::string>{"pairs.obj"});
}

TEST_F(ProgramStretch, ScriptDragsClicksAndPanelEditsGiveHandComputedPoints) {
  put("pairs.obj", kTwoPairs);
  put("session.txt",
      "select 0-3\n"
      "pick\n"
      "press point 0          # the handle end of pair 0\n"
      "drag 4 1 0             # projects to (4,0,0): factor 2 for pair 0 only\n"
      "release\n"
      "points\n"
      "press point 0\n"
      "drag 3 0 0 ctrl        # factor 1.5 for every pair\n"
      "release\n"
      "points 2\n"
      "click 3                # the anchor end of pair 1 becomes its handle end\n"
      "factor 3               # from the edit's start; pair 1 now grows upwards from (0,1,0)\n"
      "points\n"
      "save mid.obj\n"
      "reset                  # values back to neutral, ends back to normal: the edit's start\n"
      "invert                 # now the second point of each pair is its handle end\n"
      "mode offset\n"
      "offset 1\n"
      "points\n"
      "close\n");
  const auto r = run({"pairs.obj", "--script", "session.txt", "-o", "out.obj", "-q"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(r.out,
            "point 0: 4 0 0\npoint 1: 0 0 0\npoint 2: 0 1 0\npoint 3: 0 5 0\n"
            "point 2: 0 -1 0\n"
            "point 0: 6 0 0\npoint 1: 0 0 0\npoint 2: 0 1 0\npoint 3: 0 13 0\n"
            "point 0: 2 0 0\npoint 1: -1 0 0\npoint 2: 0 1 0\npoint 3: 0 6 0\n");
  EXPECT_EQ(file("mid.obj"), "v 6 0 0\nv 0 0 0\nv 0 1 0\nv 0 13 0\n");
  EXPECT_EQ(file("out.obj"), "v 2 0 0\nv -1 0 0\nv 0 1 0\nv 0 6 0\n");
}

TEST_F(ProgramStretch, RightClickKeepsTheResultAndTheNextStretchStartsFromIt) {
  put("pair.obj", "v 2 0 0\nv 0 0 0\n");
  const auto r = run({"pair.obj", "--script", "-", "-q"},
                     "select all\npick\nfactor 2\npoints 0\nclick 0 right\npoints 0\nfactor 3\npoints 0\n"
                     "drop\npoints 0\n");
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  // Factor 2: 4. The clone keeps 4 and rebuilds with factor 2: 8. Factor 3
  // applies to the kept 4: 12. A drop rejects the open stretch: back to 4.
  EXPECT_EQ(r.out, "point 0: 4 0 0\npoint 0: 8 0 0\npoint 0: 12 0 0\npoint 0: 4 0 0\n");
}

TEST_F(ProgramStretch, OutputsAndTraceShowTheToolsConversation) {
  put("pair.obj", "v 2 0 0\nv 0 0 0\nf 1 2 1\n");
  const auto r = run({"pair.obj", "--select", "0-1", "--factor", "1.5", "--trace", "--svg", "view.svg",
                      "--view", "top", "--about-png", "about.png", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  for (const char *line : {"activate(version=4) -> 0", "panel Factor = 1.5 -> set() 2 (done)",
                           "op1.pntMove(0x100000, (3, 0, 0)) -> 0", "end(1)", "done()"}) {
    EXPECT_NE(r.out.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << r.out;
  }
  EXPECT_LT(r.out.find("panel Factor = 1.5"), r.out.find("build(op1)"))
      << "the panel is set before the build";
  EXPECT_EQ(r.out.find("op2."), std::string::npos) << "one build";
  EXPECT_NE(r.out.find("About panel: Elastic_Pull 1.1"), std::string::npos) << r.out;
  const std::string svg = file("view.svg");
  EXPECT_EQ(svg.rfind("<svg", 0), 0u);
  EXPECT_NE(svg.find("dashed"), std::string::npos);   // the end marks
  EXPECT_NE(svg.find("<circle"), std::string::npos);  // the handle circle
  EXPECT_EQ(file("about.png").substr(1, 3), "PNG");
}

}  // namespace
