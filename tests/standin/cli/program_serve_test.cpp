// elasticpull-host serve refuses what it cannot serve before it listens: a
// listen address that is not an IP address, an output that is the input mesh
// (without --in-place) or has no folder, a mesh it cannot read, pairs it
// cannot make.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/standin/cli/program_run.h"

namespace {

using program_test::describe;
using program_test::ProgramTest;

class ProgramServe : public ProgramTest {};

TEST_F(ProgramServe, RefusesBadStartsWithTheirReasonAndExitCode) {
  put("pairs.obj", "v 0 2 0\nv 0 0 0\n");
  std::filesystem::create_symlink("pairs.obj", path("link.obj"));
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char *says;
  };
  const Case cases[] = {
      {{"serve", "pairs.obj", "--listen", "localhost"}, 2, "--listen takes an IP address"},
      {{"serve", "pairs.obj", "-o", "pairs.obj"},
       2,
       "is the input mesh; Save replaces the mesh it started from "
       "only with --in-place"},
      {{"serve", "pairs.obj", "-o", "out.obj", "--in-place"}, 2, "excludes"},
      {{"serve", "--in-place"}, 2, "--in-place needs a mesh file"},
      {{"serve", "pairs.obj", "--pairs", "0:0"}, 2, "--pairs: "},
      {{"serve", "pairs.obj", "--pairs", "0:1", "--select", "0-1"}, 2, "excludes"},
      {{"serve", "pairs.obj", "--axis", "y"}, 2, "--pairs-from-edges"},
      {{"serve", "pairs.obj", "--pairs-from-edges"}, 2, "the mesh has no line element"},
      {{"serve", "pairs.obj", "-o", "link.obj"}, 2, "is the input mesh"},
      {{"serve", "pairs.obj", "-o", "missing/out.obj"}, 3, "no such folder"},
      {{"serve", "absent.obj"}, 2, "absent.obj"},
      {{"serve", "pairs.obj", "--select", "0-5"}, 2, "--select"},
      {{"serve", "pairs.obj", "--port", "70000"}, 2, "70000"},
  };
  for (const Case &c : cases) {
    const auto r = run(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << describe(r);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << describe(r);
    EXPECT_EQ(r.out.find("Open http"), std::string::npos) << "it listened: " << describe(r);
  }
  EXPECT_EQ(file("pairs.obj"), "v 0 2 0\nv 0 0 0\n");
}

}  // namespace
