// elasticpull-host on bad input: each mistake gets one clear message and its
// exit code, and nothing is written.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/standin/cli/program_run.h"

namespace {

using program_test::describe;
using program_test::lastLine;
using program_test::ProgramTest;

class ProgramErrors : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    put("pairs.obj", kPairs);
    put("bad.obj", "# fine\nv 1 2 3\nvn 0 0 1\nv 1 two 3\n");
    std::filesystem::create_directories(path("folder"));
  }
  static constexpr const char *kPairs = "v 2 0 0\nv 0 0 0\nv 0 1 0\nv 0 5 0\n";
};

TEST_F(ProgramErrors, EachMistakeHasItsMessageAndExitCode) {
  struct Case {
    std::vector<std::string> args;
    std::string script;  // written to script.txt when not empty
    int exitCode;
    std::string message;  // the last line of stderr
  };
  const Case cases[] = {
      {{"missing.obj", "--select", "0-1", "--factor", "2"},
       "",
       2,
       "elasticpull-host: missing.obj: cannot open: No such file or directory"},
      {{"bad.obj", "--select", "0", "--factor", "2"},
       "",
       2,
       "elasticpull-host: bad.obj:4: vertex coordinate 'two' is not a number"},
      {{"folder", "--select", "0", "--factor", "2"},
       "",
       2,
       "elasticpull-host: folder: is a directory, not a mesh file"},
      {{"pairs.obj", "--select", "0-4", "--factor", "2"},
       "",
       2,
       "elasticpull-host: --select: point index 4 is out of range: the mesh has 4 points (0-3)"},
      {{"pairs.obj", "--select", "1,x", "--factor", "2"},
       "",
       2,
       "elasticpull-host: --select: bad selection item 'x': expected a point index or a range such as 0-3"},
      {{"pairs.obj", "--factor", "2"}, "", 2, "elasticpull-host: run with --help for more information"},
      {{"pairs.obj", "--select", "0-1"}, "", 2, "elasticpull-host: run with --help for more information"},
      {{"pairs.obj", "--select", "0-1", "--factor", "2", "--offset", "1"},
       "",
       2,
       "elasticpull-host: run with --help for more information"},
      {{"pairs.obj", "--script", "script.txt"},
       "select 0-3\npick\nfactor 2\n\n# comment\nstretch 3\n",
       2,
       "elasticpull-host: script.txt:6: unknown command 'stretch'"},
      {{"pairs.obj", "--script", "script.txt"},
       "select 0-3\npick\nclick 9\n",
       2,
       "elasticpull-host: script.txt:3: click: point 9 is out of range: the mesh has 4 points"},
      {{"pairs.obj", "--script", "script.txt"},
       "select 0-3\nfactor 2\n",
       2,
       "elasticpull-host: script.txt:2: Factor: the tool is not picked"},
      {{"pairs.obj", "--script", "script.txt"},
       "select 0-3\npick\noffset 2\n",
       2,
       "elasticpull-host: script.txt:3: cannot set Offset to 2: the control is disabled (Offset is used in "
       "Offset mode: 'mode offset' first)"},
      {{"pairs.obj", "--script", "missing.txt"},
       "",
       2,
       "elasticpull-host: cannot read script 'missing.txt': No such file or directory"},
      {{"pairs.obj", "--script", "folder", "-o", "out.obj"},
       "",
       2,
       "elasticpull-host: cannot read script 'folder': it is a folder"},
      {{"pairs.obj", "--select", "0-1", "--factor", "2", "-o", "no/such/dir/out.obj"},
       "",
       3,
       "elasticpull-host: cannot write the mesh 'no/such/dir/out.obj': no such folder 'no/such/dir'"},
      {{"pairs.obj", "--select", "0-1", "--factor", "2", "-o", "folder"},
       "",
       3,
       "elasticpull-host: cannot write the mesh 'folder': it is a folder"},
      {{"pairs.obj", "--select", "0-1", "--factor", "2", "-o", "pairs.obj"},
       "",
       2,
       "elasticpull-host: the output 'pairs.obj' is the input mesh; use --in-place to overwrite it"},
      {{"pairs.obj", "--select", "0-1", "--factor", "2", "--module", "none.p"},
       "",
       4,
       "elasticpull-host: no such file: none.p"},
      // Fewer than two points: the tool's own warning box and a failed build.
      {{"pairs.obj", "--select", "2", "--factor", "2", "-o", "out.obj"},
       "",
       1,
       "elasticpull-host: nothing was written"},
  };
  for (const Case &c : cases) {
    if (!c.script.empty()) put("script.txt", c.script);
    const auto r = run(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << describe(r);
    EXPECT_EQ(lastLine(r.err), c.message) << describe(r);
    EXPECT_FALSE(std::filesystem::exists(path("out.obj")));
    EXPECT_EQ(file("pairs.obj"), kPairs);
  }
}

// Values the option parser would take or show wrongly, names it does not
// know and inputs with nothing to read: each is refused by name, in a line
// that starts as every message of the program does.
TEST_F(ProgramErrors, OddValuesAndInputsAreRefusedByName) {
  put("empty.obj", "");
  put("mac.obj", "v 2 0 0\rv 0 0 0\rv 0 1 0\rv 0 5 0\r");
  put("typo.txt", "select 0-3\npick\nfactr 2\n");
  struct Case {
    std::vector<std::string> args;
    std::string message;  // the first line of stderr
  };
  const Case cases[] = {
      {{"pairs.obj", "--select", "0-3", "--offset", "nan"},
       "elasticpull-host: --offset: 'nan' is not a number (a distance such as 0.5 or -2)"},
      {{"pairs.obj", "--select", "0-3", "--match-pair", "-1"},
       "elasticpull-host: --match-pair: '-1' is not a pair number (0, 1, 2, ...)"},
      {{"pairs.obj", "--select", "0-3", "-f", "2"}, "elasticpull-host: unknown option '-f'"},
      {{"pairs.obj", "--select", "0-3", "--factor", "2", "extra"},
       "elasticpull-host: unexpected argument 'extra': one mesh file is taken, and every other value "
       "belongs to an option"},
      {{"pairs.obj", "--select", "0-3", "--axis", "y", "--factor", "2"},
       "elasticpull-host: --axis requires --pairs-from-edges"},
      {{"pairs.obj", "--select", "0-3", "--factor", "2", "-o", "x.obj", "--in-place"},
       "elasticpull-host: --output excludes --in-place"},
      {{"empty.obj", "--select", "all", "--factor", "2"},
       "elasticpull-host: empty.obj: the mesh has no points (no 'v' lines)"},
      {{"mac.obj", "--select", "all", "--factor", "2"},
       "elasticpull-host: mac.obj:1: the lines end in a carriage return alone (old Mac OS line ends), which "
       "this program does not read; convert them to line feeds first, for example with: tr '\\r' '\\n' < IN "
       "> OUT"},
      {{"pairs.obj", "--script", "typo.txt"},
       "elasticpull-host: typo.txt:3: unknown command 'factr'; did you mean factor?"},
  };
  for (const Case &c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", "out.obj"});
    if (c.args.back() == "--in-place") args.resize(c.args.size());
    const auto r = run(args);
    EXPECT_EQ(r.exitCode, 2) << describe(r);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.message) << describe(r);
    EXPECT_FALSE(std::filesystem::exists(path("out.obj")));
  }
}

// The tool's boxes, the session's warnings and the program's failures all
// read as the program's messages; -q leaves out the About button's line.
TEST_F(ProgramErrors, EveryLineOnStandardErrorIsTheProgramsAndQuietHidesTheAboutLine) {
  put("five.obj", "v 2 0 0\nv 0 0 0\nv 0 1 0\nv 0 5 0\nv 7 7 7\n");
  put("about.txt", "select 0-3\npick\nabout\nfactor 2\n");
  const std::vector<std::vector<std::string>> runs = {
      {"pairs.obj", "--select", "2", "--factor", "2"},   // the tool's warning box, a failed build
      {"five.obj", "--select", "all", "--factor", "2"},  // the session's warning
      {"pairs.obj", "--select", "0-3", "--factr", "2"},  // the option parser
  };
  for (const auto &args : runs) {
    const auto r = run(args);
    ASSERT_FALSE(r.err.empty()) << describe(r);
    std::istringstream lines(r.err);
    for (std::string line; std::getline(lines, line);)
      EXPECT_EQ(line.rfind("elasticpull-host: ", 0), 0u) << describe(r);
  }
  const auto quiet = run({"pairs.obj", "--script", "about.txt", "-q"});
  EXPECT_EQ(quiet.exitCode, 0) << describe(quiet);
  EXPECT_EQ(quiet.out, "");
  EXPECT_NE(run({"pairs.obj", "--script", "about.txt"}).out.find("About panel: "), std::string::npos);
}

TEST_F(ProgramErrors, TooFewPointsReportsTheToolsWarningAndTheFailedBuild) {
  const auto r = run({"pairs.obj", "--select", "2", "--factor", "2", "-o", "out.obj"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Warning: Active layers contain no data for operation.: Please select two or more "
                       "points.\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("the tool failed at 'pick': the build failed: the tool answered \"Failed\""),
            std::string::npos)
      << r.err;
}

TEST_F(ProgramErrors, AnOddSelectionIsPairedInFileOrderAndTheLastPointIsLeftOut) {
  put("five.obj", "v 2 0 0\nv 0 0 0\nv 0 1 0\nv 0 5 0\nv 7 7 7\n");
  const auto r = run({"five.obj", "--select", "all", "--factor", "2", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(r.err,
            "elasticpull-host: warning: 5 points are selected; the tool pairs them in mesh order and leaves "
            "the last one (point 4) "
            "where it is\n");
  EXPECT_EQ(file("out.obj"), "v 4 0 0\nv 0 0 0\nv 0 -3 0\nv 0 5 0\nv 7 7 7\n");
}

TEST_F(ProgramErrors, AFailedBuildInAScriptNamesTheLineAndWritesNothing) {
  put("script.txt", "select 0-3\npick\nselect 0-5\n");  // the selection grows past the mesh: a mistake
  auto r = run({"pairs.obj", "--script", "script.txt", "-o", "out.obj"});
  EXPECT_EQ(r.exitCode, 2) << describe(r);
  EXPECT_NE(r.err.find("script.txt:3: point index 5 is out of range"), std::string::npos) << r.err;

  // Growing the selection from 4 to 6 points mid-edit: the tool's "#015" box.
  put("six.obj", "v 2 0 0\nv 0 0 0\nv 0 1 0\nv 0 5 0\nv 1 1 1\nv 2 2 2\n");
  put("script.txt", "select 0-3\npick\nselect 0-5\nfactor 2\n");
  r = run({"six.obj", "--script", "script.txt", "-o", "out.obj"});
  EXPECT_EQ(r.exitCode, 1) << describe(r);
  EXPECT_NE(r.err.find("script.txt:4: the tool failed at 'factor 2': Error \"Error (Code #015)\": Unknown."),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(std::filesystem::exists(path("out.obj")));
}

}  // namespace
