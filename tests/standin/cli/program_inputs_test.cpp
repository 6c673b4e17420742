// elasticpull-host's input files: the module named as the user wrote it, a
// mesh or script that starts with a byte-order mark, and inputs that are not
// text (a NUL byte, a byte-order mark past the start) or never end.
#include <gtest/gtest.h>

#include "tests/standin/cli/program_run.h"

namespace {

namespace fs = std::filesystem;
using program_test::describe;
using program_test::lastLine;
using program_test::ProgramTest;

constexpr const char *kBom = "\xEF\xBB\xBF";

class ProgramInputs : public ProgramTest {};

TEST_F(ProgramInputs, AModuleNamedWithoutAFolderIsLoadedFromTheWorkingFolder) {
  fs::copy_file(EP_MODULE_PATH, path("elasticpull.p"));
  put("pairs.obj", "v 2 0 0\nv 0 0 0\n");
  auto r = run({"--describe", "--module", "elasticpull.p"});
  EXPECT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_NE(r.out.find("activation result 0\n"), std::string::npos) << r.out;
  r = run(
      {"pairs.obj", "--select", "0-1", "--factor", "2", "--module", "elasticpull.p", "-o", "out.obj", "-q"});
  EXPECT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(file("out.obj"), "v 4 0 0\nv 0 0 0\n");
}

TEST_F(ProgramInputs, AWindowsDllIsCalledOneOnLinux) {
  std::string dll = "MZ\x90";
  dll.resize(1024, '\0');
  put("windows.p", dll);
  const auto r = run({"--describe", "--module", "windows.p"});
  EXPECT_EQ(r.exitCode, 4) << describe(r);
  EXPECT_EQ(
      lastLine(r.err),
      "elasticpull-host: not a loadable module: windows.p is a Windows DLL; this host runs on Linux and "
      "loads Linux shared modules")
      << describe(r);
}

TEST_F(ProgramInputs, AByteOrderMarkHidesNoPointAndIsKept) {
  put("bom.obj", std::string(kBom) + "v 2 0 0\r\nv 0 0 0\r\n");
  auto r = run({"bom.obj", "--select", "0-1", "--factor", "2", "-o", "out.obj", "-q"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(file("out.obj"), std::string(kBom) + "v 4 0 0\r\nv 0 0 0\r\n");

  put("script.txt", std::string(kBom) + "select 0-1\npick\nfactor 3\npoints 0\n");
  r = run({"bom.obj", "--script", "script.txt", "-q"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(r.out, "point 0: 6 0 0\n");
}

TEST_F(ProgramInputs, AnInputThatIsNotTextOrNeverEndsIsRefusedAtOnce) {
  put("pairs.obj", "v 2 0 0\nv 0 0 0\n");
  struct Case {
    std::vector<std::string> args;
    const char *message;
  };
  const Case cases[] = {
      {{"/dev/zero", "--select", "0-1", "--factor", "2"},
       "/dev/zero:1: not a text file (contains a NUL byte)"},
      {{"pairs.obj", "--script", "/dev/zero"}, "/dev/zero:1: not a text file (contains a NUL byte)"},
      {{"pairs.obj", "--script", "-"}, "<stdin>:1: not a text file (contains a NUL byte)"},
      {{"joined.obj", "--select", "0-1", "--factor", "2"},
       "joined.obj:2: a byte-order mark (bytes EF BB BF) in "
       "mid-file: only the very start of a file may have one "
       "(were two files joined?)"},
      {{"pairs.obj", "--script", "joined.txt"},
       "joined.txt:3: a byte-order mark (bytes EF BB BF) in mid-file: "
       "only the very start of a file may have one (were two files "
       "joined?)"},
  };
  // Two files joined, each with its mark: the second would hide a point.
  put("joined.obj", std::string(kBom) + "v 0 0 0\n" + kBom + "v 0 1 0\nv 0 2 0\n");
  put("joined.txt", std::string(kBom) + "select 0-1\npick\n" + kBom + "factor 2\n");
  for (const Case &c : cases) {
    const auto r = run(c.args, std::string(1, '\0'));  // standard input: a NUL byte
    EXPECT_EQ(r.exitCode, 2) << describe(r);
    EXPECT_EQ(lastLine(r.err), std::string("elasticpull-host: ") + c.message) << describe(r);
  }
}

}  // namespace
