// elasticpull-host follows the conventions of command-line programs: -
// for standard input and output, --version, "did you mean" for a mistyped
// option, percentages where scripts take them, scripts whatever their case,
// and mesh files written back with their own separators.
#include <gtest/gtest.h>

#include "tests/standin/cli/program_run.h"

namespace {

using program_test::describe;
using program_test::lastLine;
using program_test::ProgramTest;

// Two edges of a box 1 deep, each a pair (front corner, back corner),
// written as other programs write files: two spaces, tabs, CRLF, a comment,
// normals on some faces: the flat face's plane does not turn when the edges
// stretch, the smooth face's normals are stale.
constexpr const char *kBox =
    "# box\r\n"
    "v  0.0  0.0  1.0\r\n"
    "v  0.0  0.0  0.0\r\n"
    "v\t1.0\t0.0\t1.0   # front right\r\n"
    "v\t1.0\t0.0\t0.0\r\n"
    "vn 0 -1 0\r\n"
    "vn 0 -1 0.1\r\n"
    "f 1//1 3//1 4//1 2//1\r\n"
    "f 1//1 2//2 4//2\r\n"
    "f 1 2 4\r\n";

// The box with --factor 2: only the front corners' numbers change.
std::string stretchedBox() {
  std::string text = kBox;
  const auto replace = [&](const std::string &from, const std::string &to) {
    text.replace(text.find(from), from.size(), to);
  };
  replace("v  0.0  0.0  1.0", "v  0  0  2");
  replace("v\t1.0\t0.0\t1.0", "v\t1\t0\t2");
  return text;
}

class ProgramConventions : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    put("box.obj", kBox);
  }
};

TEST_F(ProgramConventions, MovedPointsKeepTheFilesSeparatorsAndStaleNormalsAreCounted) {
  const auto r = run({"box.obj", "--select", "0-3", "--factor", "2", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(file("out.obj"), stretchedBox());
  EXPECT_EQ(r.err,
            "elasticpull-host: warning: out.obj: 1 face with normals (vn) uses moved points; the normals are kept as they were "
            "(--normals recompute gives them new ones)\n");
  // Recomputed, the smooth face's second normal (named only by it) becomes
  // its plane's, in place; the rest of the file is as before.
  const auto recomputed =
      run({"box.obj", "--select", "0-3", "--factor", "2", "--normals", "recompute", "-o", "out.obj"});
  ASSERT_EQ(recomputed.exitCode, 0) << describe(recomputed);
  EXPECT_EQ(recomputed.err, "");
  std::string expected = stretchedBox();
  expected.replace(expected.find("vn 0 -1 0.1"), 11, "vn 0 -1 0");
  EXPECT_EQ(file("out.obj"), expected);
}

// A moved point's coordinates that did not change keep their text, so
// rounding moves no point off its line, and the lengths told are those of
// the file as written.
TEST_F(ProgramConventions, DigitsRoundOnlyTheChangedCoordinatesAndTheLengthsToldAreThoseWritten) {
  put("cube.obj",
      "v -0.5 -0.5 0.5\nv -0.5 -0.5 -0.5\nv -0.5 0.5 -0.5\nv -0.5 0.5 0.5\n"
      "v 0.5 -0.5 0.5\nv 0.5 -0.5 -0.5\nv 0.5 0.5 -0.5\nv 0.5 0.5 0.5\n"
      "f 4 3 2 1\nf 2 6 5 1\nf 3 7 6 2\nf 8 7 3 4\nf 5 8 4 1\nf 6 7 8 5\n");
  const auto r = run({"cube.obj", "--pairs", "3:0,2:1", "--length", "2.6", "--digits", "0", "-v", "--report",
                      "pairs.json", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  std::string expected = file("cube.obj");
  expected.replace(expected.find("v -0.5 0.5 -0.5"), 15, "v -0.5 2 -0.5");
  expected.replace(expected.find("v -0.5 0.5 0.5"), 14, "v -0.5 2 0.5");
  EXPECT_EQ(file("out.obj"), expected);
  EXPECT_EQ(r.out.substr(0, r.out.find("moved")),
            "pair 0: handle 3, anchor 0, length 1 -> 2.5\npair 1: handle 2, anchor 1, length 1 -> 2.5\n");
  EXPECT_NE(lastLine(r.out).find("lengths now 2.5;"), std::string::npos) << r.out;
  const std::string report = file("pairs.json");
  EXPECT_NE(report.find("\"lengthAfter\": 2.5"), std::string::npos) << report;
  EXPECT_EQ(report.find("2.6\n"), std::string::npos) << report;
}

TEST_F(ProgramConventions, DigitsRoundMovedCoordinatesToTheFilesOwnPrecision) {
  put("third.obj", "v 0.000 0.000 1.000\nv 0.000 0.000 0.000\nv 5.000 5.000 5.000\n");
  auto r = run({"third.obj", "--select", "0-1", "--factor", "133.3333%", "--digits", "3", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(file("out.obj"), "v 0.000 0.000 1.333\nv 0.000 0.000 0.000\nv 5.000 5.000 5.000\n");
  // The summary rounds for reading: 1.333333 x 100 is 133.33329999999998.
  EXPECT_EQ(r.out.rfind("moved 1 of 3 points; 1 pair; Factor 1.333333 (133.3333%), symmetry off", 0), 0u)
      << r.out;
  r = run({"third.obj", "--select", "0-1", "--factor", "2", "--digits", "18", "-o", "out.obj"});
  EXPECT_EQ(r.exitCode, 2) << describe(r);
}

// The same bytes through a pipe as with files; every message then goes to
// standard error, the summary too.
TEST_F(ProgramConventions, StandardInputAndOutputGiveTheSameBytesAsFiles) {
  const std::vector<std::string> stretch{"--select", "0,1,2,3", "--factor", "2"};
  auto with = [&](std::vector<std::string> args) {
    args.insert(args.end(), stretch.begin(), stretch.end());
    return args;
  };
  const auto files = run(with({"box.obj", "-o", "out.obj", "-q"}));
  ASSERT_EQ(files.exitCode, 0) << describe(files);
  const auto piped = run(with({"-", "-o", "-"}), kBox);
  ASSERT_EQ(piped.exitCode, 0) << describe(piped);
  EXPECT_EQ(piped.out, file("out.obj"));
  EXPECT_EQ(piped.out, stretchedBox());
  const std::string summary = lastLine(piped.err);
  EXPECT_EQ(summary.rfind("moved 2 of 4 points; 2 pairs; Factor 2 (200%)", 0), 0u) << describe(piped);
  EXPECT_NE(summary.find("; wrote the mesh to standard output ("), std::string::npos) << summary;
  EXPECT_NE(piped.err.find("warning: standard output: 1 face"), std::string::npos) << piped.err;

  // A script's output and the trace go to standard error too.
  put("script.txt", "select 0-3\npick\nfactor 2\npoints 0\necho hello\n");
  const auto scripted = run({"box.obj", "--script", "script.txt", "-o", "-", "--trace", "-q"});
  ASSERT_EQ(scripted.exitCode, 0) << describe(scripted);
  EXPECT_EQ(scripted.out, stretchedBox());
  EXPECT_NE(scripted.err.find("\npoint 0: 0 0 2\n"), std::string::npos) << scripted.err;
  EXPECT_NE(scripted.err.find("\nhello\n"), std::string::npos) << scripted.err;
  EXPECT_NE(scripted.err.find("activate(version="), std::string::npos) << scripted.err;
}

TEST_F(ProgramConventions, UsageMistakesSayWhatWasMeant) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<std::string> stretch{"box.obj", "--select", "0-3", "--factor", "2"};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = stretch;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  const Case cases[] = {
      {{"box.obj", "--selct", "0-3", "--factor", "2"}, "unknown option '--selct'; did you mean --select?"},
      {{"box.obj", "--select", "0-3", "--factr=2"}, "unknown option '--factr'; did you mean --factor?"},
      {with({"--symetry"}), "unknown option '--symetry'; did you mean --symmetry?"},
      {with({"--Invert"}), "unknown option '--Invert'; did you mean --invert?"},
      {with({"--veiw", "top"}), "unknown option '--veiw'; did you mean --view?"},
      {{"serve", "--prot", "8080"}, "unknown option '--prot'; did you mean --port?"},
      {{"serv"}, "there is no mesh file 'serv'; did you mean serve?"},
      {with({"--view", "top"}), "--view chooses the view of the --svg picture; give --svg FILE too"},
      {with({"--svg", "view.png"}),
       "--svg writes an SVG picture, not .png: name it 'view.svg' (the About panel's PNG picture is "
       "--about-png)"},
      {with({"--about-png", "about.SVG"}), "--about-png writes a PNG picture, not .svg: name it 'about.png'"},
      {{"box.obj", "--select", "0-3", "--factor", "1.5x"},
       "--factor: '1.5x' is not a number or a percentage (1.5 or 150%)"},
      {{"-", "--script", "-"}, "the mesh and the script cannot both come from standard input"},
      {{"-", "--select", "0-3", "--factor", "2", "--in-place"},
       "--in-place needs a mesh file: standard input cannot be replaced"},
  };
  for (const Case &c : cases) {
    const auto r = run(c.args);
    EXPECT_EQ(r.exitCode, 2) << describe(r);
    EXPECT_NE(r.err.find("elasticpull-host: " + c.message + "\n"), std::string::npos) << describe(r);
    EXPECT_EQ(r.out, "");
  }
  // Far from every option: CLI11's own message.
  const auto r = run(with({"--stretch-everything"}));
  EXPECT_EQ(r.exitCode, 2) << describe(r);
  EXPECT_EQ(r.err.find("did you mean"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--stretch-everything"), std::string::npos) << r.err;
}

TEST_F(ProgramConventions, VersionAndPercentages) {
  auto r = run({"--version"});
  EXPECT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(r.out, std::string("elasticpull-host ") + EP_PROJECT_VERSION + "\n");

  r = run({"box.obj", "--select", "0-3", "--factor", "150%", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(r.out.rfind("moved 2 of 4 points; 2 pairs; Factor 1.5 (150%), symmetry off", 0), 0u) << r.out;
}

// Command names and keywords are read whatever their case; file names keep
// theirs, and may hold blanks inside double quotes.
TEST_F(ProgramConventions, ScriptWordsAreCaseInsensitiveAndFileNamesMayBeQuoted) {
  put("script.txt",
      "SELECT ALL\nPick\nMode Offset\nOFFSET 0.5\nSymmetry ON\nPOINTS 0-1\n"
      "svg \"My View.svg\" TOP\nsave \"Kept Box.obj\"\nPress Point 0 CTRL\nRelease\nClose\n");
  const auto r = run({"box.obj", "--script", "script.txt", "-q"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(r.out, "point 0: 0 0 1.5\npoint 1: 0 0 -0.5\n");
  EXPECT_NE(file("My View.svg").find("<svg"), std::string::npos);
  EXPECT_EQ(file("Kept Box.obj").rfind("# box\r\nv  0  0  1.5\r\nv  0  0  -0.5\r\n", 0), 0u)
      << file("Kept Box.obj");
}

// Values a person reads are rounded for reading; the mesh keeps them exact.
TEST_F(ProgramConventions, DisplayedValuesAreRoundedForReading) {
  put("tenth.obj", "v 0 0 0.1\nv 0 0 0\n");
  put("script.txt", "select 0-1\npick\nfactor 3\npoints 0\npanel\n");
  const auto r = run({"tenth.obj", "--script", "script.txt", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(file("out.obj"), "v 0 0 0.30000000000000004\nv 0 0 0\n");
  EXPECT_EQ(r.out.rfind("point 0: 0 0 0.3\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("  Factor            3 (300%)  [-210000, 210000]"), std::string::npos) << r.out;
}

// -q leaves the bundled example's narration out: only warnings and errors.
TEST_F(ProgramConventions, QuietSilencesTheExamplesNarration) {
  const auto r = run({"-q", "--output-dir", "example"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.find("Elastic_Pull example"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::exists(path("example/bars-stretched.obj")));
}

}  // namespace
