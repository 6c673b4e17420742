// elasticpull-host's output files: none of them replaces a file the run reads
// or another output, the closing outputs are written all together or not at
// all (into a device or a FIFO rather than over it), whichever disk call
// fails or wherever Ctrl-C comes, and when a run fails the program names
// every file it had already written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "standin/session/obj_file.h"
#include "tests/standin/cli/program_run.h"

namespace {

namespace fs = std::filesystem;
using program_test::describe;
using program_test::lastLine;
using program_test::ProgramTest;

constexpr const char *kPairs = "v 2 0 0\nv 0 0 0\nv 0 1 0\nv 0 5 0\n";
constexpr const char *kPairsStretched = "v 4 0 0\nv 0 0 0\nv 0 1 0\nv 0 5 0\n";

class ProgramOutputs : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    put("pairs.obj", kPairs);
  }
  // Every one of `names` that is on disk is named in `err`, and no other.
  void expectWrittenFilesNamed(const program_test::ProgramResult &r, const std::vector<std::string> &names) {
    for (const std::string &name : names) {
      const bool named = r.err.find(" " + name) != std::string::npos;
      EXPECT_EQ(fs::exists(path(name)), named) << name << "\n" << describe(r);
    }
  }
};

TEST_F(ProgramOutputs, NoOutputMayReplaceTheInputMeshOrAnotherOutput) {
  struct Case {
    std::vector<std::string> args;
    std::string script;  // as script.txt when not empty
    std::string message;
  };
  const std::vector<std::string> stretch{"pairs.obj", "--select", "0-3", "--factor", "2"};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = stretch;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  const std::vector<std::string> script{"pairs.obj", "--script", "script.txt", "-o", "out.obj"};
  const std::string pick = "select 0-3\npick\nfactor 2\n";
  const std::string onlyResult = " is the input mesh; only the result may replace it (--in-place)";
  const std::string ownFile = " this run reads; give the output a file of its own";
  const std::string stdoutTwice = "' both go to standard output; give one of them a file";
  const Case cases[] = {
      {with({"--svg", "pairs.obj", "-o", "out.obj"}), "", "--svg 'pairs.obj'" + onlyResult},
      {with({"--about-png", "hard.obj", "-o", "out.obj"}), "", "--about-png 'hard.obj'" + onlyResult},
      {with({"--svg", "sym.obj", "--in-place"}), "", "--svg 'sym.obj'" + onlyResult},
      {script, pick + "save pairs.obj\n", "script.txt:4: save 'pairs.obj'" + onlyResult},
      {script, pick + "svg ./pairs.obj top\n", "script.txt:4: svg './pairs.obj'" + onlyResult},
      {script, pick + "about hard.obj\n", "script.txt:4: about 'hard.obj'" + onlyResult},
      {with({"--svg", "out.obj", "-o", "out.obj"}), "",
       "-o and --svg both write 'out.obj'; give each output its own file"},
      {with({"--svg", "a.pic", "--about-png", "./a.pic"}), "",
       "--svg and --about-png both write './a.pic'; give each output its own file"},
      {script, pick + "save out.obj\n",
       "-o and script.txt:4 (save) both write 'out.obj'; give each output its own file"},
      {script, pick + "svg a.svg\nfactor 3\nsvg a.svg front\n",
       "script.txt:4 (svg) and script.txt:6 (svg) both write 'a.svg'; give each output its own file"},
      {{"pairs.obj", "--script", "script.txt", "-o", "script.txt"},
       pick,
       "-o 'script.txt' is the script" + ownFile},
      {{"pairs.obj", "--script", "script.txt", "--report", "./script.txt"},
       pick,
       "--report './script.txt' is the script" + ownFile},
      {script, pick + "save script.txt\n", "script.txt:4: save 'script.txt' is the script" + ownFile},
      {with({"--module", "mod.p", "--svg", "mod.p"}), "", "--svg 'mod.p' is the module" + ownFile},
      {with({"-o", "-", "--report", "/dev/stdout"}), "", "-o '-' and --report '/dev/stdout" + stdoutTwice},
      {with({"--svg", "-", "--about-png", ".stdout"}), "",
       "--svg '-' and --about-png '.stdout" + stdoutTwice},
  };
  fs::copy_file(EP_MODULE_PATH, path("mod.p"));
  const std::string module = file("mod.p");
  for (const Case &c : cases) {
    // The mesh, a hard link and a symbolic link to it.
    for (const char *name : {"pairs.obj", "hard.obj", "sym.obj"}) fs::remove(path(name));
    put("pairs.obj", kPairs);
    fs::create_hard_link(path("pairs.obj"), path("hard.obj"));
    fs::create_symlink("pairs.obj", path("sym.obj"));
    if (!c.script.empty()) put("script.txt", c.script);
    const auto r = run(c.args);
    EXPECT_EQ(r.exitCode, 2) << describe(r);
    EXPECT_EQ(lastLine(r.err), "elasticpull-host: " + c.message) << describe(r);
    EXPECT_EQ(file("pairs.obj"), kPairs);
    EXPECT_TRUE(fs::is_symlink(path("sym.obj")));
    for (const char *output : {"out.obj", "a.svg", "a.pic"}) EXPECT_FALSE(fs::exists(path(output))) << output;
    EXPECT_TRUE(c.script.empty() || file("script.txt") == c.script) << file("script.txt");
    EXPECT_TRUE(file("mod.p") == module);
  }
}

// Replacing a file with several names would part them; writing into it could
// not be undone if it failed half way. Neither is done: the run is refused.
TEST_F(ProgramOutputs, AFileWithSeveralNamesIsNeitherReplacedNorWrittenInto) {
  put("old.svg", "old");
  fs::create_hard_link(path("old.svg"), path("old-too.svg"));
  fs::create_hard_link(path("pairs.obj"), path("pairs-too.obj"));
  auto r = run({"pairs.obj", "--select", "0-1", "--factor", "2", "--in-place"});
  EXPECT_EQ(r.exitCode, 3) << describe(r);
  EXPECT_EQ(
      lastLine(r.err),
      "elasticpull-host: --in-place: 'pairs.obj' has 2 names (hard links); replacing it would leave the "
      "other names with the old mesh, and writing into it could not be undone if it failed half way: "
      "write the result with -o and copy it over the mesh (cp), which every name sees");
  r = run({"pairs.obj", "--select", "0-1", "--factor", "2", "--svg", "old.svg", "-o", "out.obj"});
  EXPECT_EQ(r.exitCode, 3) << describe(r);
  EXPECT_NE(r.err.find("cannot write the SVG 'old.svg': it has 2 names (hard links)"), std::string::npos)
      << r.err;
  EXPECT_EQ(file("pairs.obj") + file("pairs-too.obj"), std::string(kPairs) + kPairs);
  EXPECT_EQ(file("old.svg") + file("old-too.svg"), "oldold");
  EXPECT_FALSE(fs::exists(path("out.obj")));
}

// As a full disk or a failing device would: the 1st, 2nd, ... write, flush
// and rename fail in turn. The closing outputs are then all new or all as
// they were, the report describes only files that exist, the input is never
// touched and no temporary file is left.
TEST_F(ProgramOutputs, EveryFailingDiskCallLeavesAllOrNoneOfTheClosingOutputs) {
  const std::vector<std::string> outputs{"out.obj", "v.svg", "a.png", "r.json"};
  for (const char *call : {"write", "sync", "rename"}) {
    for (int k = 1;; ++k) {
      ASSERT_LT(k, 20) << call << ": the run never got through";
      for (const std::string &name : outputs) put(name, "old");
      const std::string fault = std::string(call) + ":" + std::to_string(k);
      setenv("EP_TEST_FILE_FAULT", fault.c_str(), 1);
      const auto r = run({"pairs.obj", "--select", "0-1", "--factor", "2", "-o", "out.obj", "--svg", "v.svg",
                          "--about-png", "a.png", "--report", "r.json", "-q"});
      unsetenv("EP_TEST_FILE_FAULT");
      std::size_t replaced = 0;
      for (const std::string &name : outputs) replaced += file(name) != "old" ? 1 : 0;
      EXPECT_TRUE(replaced == 0 || replaced == outputs.size()) << fault << "\n" << describe(r);
      EXPECT_EQ(file("pairs.obj"), kPairs) << fault;
      EXPECT_EQ(hiddenFiles(), std::vector<std::string>{}) << fault;
      if (replaced > 0) {
        EXPECT_EQ(file("out.obj"), kPairsStretched) << fault;
        EXPECT_NE(file("r.json").find("\"output\": \"out.obj\""), std::string::npos) << fault;
      }
      if (r.exitCode == 0) {
        EXPECT_GT(k, 3) << call << ": fewer calls than outputs failed";
        break;
      }
      EXPECT_EQ(r.exitCode, 3) << fault << "\n" << describe(r);
      // A flush of the folder fails after the renames: every file is named as written.
      expectWrittenFilesNamed(r, replaced > 0 ? outputs : std::vector<std::string>{});
    }
  }
}

TEST_F(ProgramOutputs, InPlaceStillReplacesTheMeshThroughALink) {
  fs::create_symlink("pairs.obj", path("sym.obj"));
  const auto r =
      run({"sym.obj", "--select", "0-1", "--factor", "2", "--in-place", "--svg", "view.svg", "-q"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(file("pairs.obj"), kPairsStretched);
  EXPECT_TRUE(fs::is_symlink(path("sym.obj")));
}

TEST_F(ProgramOutputs, AFifoIsWrittenIntoAndADanglingLinkGetsItsTarget) {
  ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
  // A reader that does not wait: what the program writes stays in the pipe.
  const int reader = open(path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  auto r = run({"pairs.obj", "--select", "0-1", "--factor", "2", "-o", "pipe", "-q"});
  EXPECT_EQ(r.exitCode, 0) << describe(r);
  std::string got;
  char buffer[4096];
  for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;)
    got.append(buffer, static_cast<std::size_t>(n));
  close(reader);
  EXPECT_EQ(got, kPairsStretched);
  EXPECT_TRUE(fs::is_fifo(path("pipe")));

  fs::create_directories(path("sub"));
  fs::create_symlink("../made.obj", path("sub/link.obj"));
  r = run({"pairs.obj", "--select", "0-1", "--factor", "2", "-o", "sub/link.obj", "-q"});
  EXPECT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_TRUE(fs::is_symlink(path("sub/link.obj")));
  EXPECT_EQ(file("made.obj"), kPairsStretched);
}

TEST_F(ProgramOutputs, DevicesAreWrittenIntoNeverReplaced) {
  auto r =
      run({"pairs.obj", "--select", "0-1", "--factor", "2", "-o", "/dev/null", "--svg", "/dev/null", "-q"});
  EXPECT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  // A device that fails every write: the SVG was written first and is named.
  r = run({"pairs.obj", "--select", "0-1", "--factor", "2", "--svg", "view.svg", "-o", "/dev/full"});
  EXPECT_EQ(r.exitCode, 3) << describe(r);
  EXPECT_NE(r.err.find("cannot write '/dev/full': No space left on device"), std::string::npos) << r.err;
  expectWrittenFilesNamed(r, {"view.svg"});
  EXPECT_TRUE(fs::is_character_file("/dev/full"));

  // The program's standard output, here a file, whatever an output to it is
  // named: it carries that output alone, the messages go to standard error.
  for (const char *name : {"/dev/stdout", "-", ".stdout"}) {
    r = run({"pairs.obj", "--select", "0-1", "--factor", "2", "--report", name, "-o", "/dev/null"});
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out.rfind("{\n  \"mesh\": \"pairs.obj\"", 0), 0u) << name << "\n" << r.out;
    EXPECT_EQ(r.out.find("moved "), std::string::npos) << name << "\n" << r.out;
    EXPECT_NE(r.err.find("moved 1 of 4 points;"), std::string::npos) << r.err;
  }
}

TEST_F(ProgramOutputs, AFailedRunNamesEveryFileItHadWritten) {
  put("six.obj", "v 2 0 0\nv 0 0 0\nv 0 1 0\nv 0 5 0\nv 1 1 1\nv 2 2 2\n");
  const std::string writes = "select 0-3\npick\nsave mid.obj\nsvg view.svg\nabout pic.png\n";
  // The tool fails: the selection grows mid-edit (its "#015" box).
  put("script.txt", writes + "select 0-5\nfactor 2\n");
  auto r = run({"six.obj", "--script", "script.txt", "-o", "out.obj"});
  EXPECT_EQ(r.exitCode, 1) << describe(r);
  // The pictures of a run are drawn once it ends (in one frame): after the failure.
  EXPECT_EQ(lastLine(r.err),
            "elasticpull-host: wrote mid.obj, pic.png before the failure; then the pictures the script had "
            "taken: view.svg; nothing else was written");
  expectWrittenFilesNamed(r, {"mid.obj", "view.svg", "pic.png", "out.obj"});

  // A mistake in the script after its first writes.
  put("script.txt", "select 0-3\npick\nsave mid2.obj\nsvg view2.svg\nclick 9\n");
  r = run({"six.obj", "--script", "script.txt", "-o", "out.obj"});
  EXPECT_EQ(r.exitCode, 2) << describe(r);
  EXPECT_EQ(lastLine(r.err),
            "elasticpull-host: wrote mid2.obj before the failure; then the pictures the script had taken: "
            "view2.svg; nothing else was written");
  EXPECT_EQ(file("view2.svg").rfind("<svg", 0), 0u);
  EXPECT_FALSE(fs::exists(path("out.obj")));

  // The command line's outputs are written after the tool is done, all or
  // none; the mesh's folder refuses new files, so none is.
  r = run({"six.obj", "--select", "0-1", "--factor", "2", "--svg", "v.svg", "--about-png", "p.png", "-o",
           "/proc/out.obj"});
  EXPECT_EQ(r.exitCode, 3) << describe(r);
  EXPECT_EQ(lastLine(r.err).rfind("elasticpull-host: cannot write '/proc/out.obj': ", 0), 0u) << describe(r);
  EXPECT_FALSE(fs::exists(path("v.svg")) || fs::exists(path("p.png")));
}

// A script stops at the command at which the tool failed (a pick with one
// point selected), so that nothing after it is written, unless it said to go
// on; the last line says what was written and when.
TEST_F(ProgramOutputs, AScriptStopsAtTheToolsFailureUnlessItSaysToGoOn) {
  struct Case {
    std::string script;
    std::vector<std::string> written, notWritten;
    std::string stopped;  // the line that says where the script stopped; empty: none
    std::string last;
  };
  const std::string stopped = "elasticpull-host: script.txt:2: the script stopped at the tool's failure: ";
  const Case cases[] = {
      {"select 0\npick\nsave after.obj\n",
       {},
       {"after.obj"},
       stopped + "1 command after it did not run",
       "nothing was written"},
      {"select 0-1\npick\nsave a.obj\nsvg v.svg\nselect 0\npick\nsave after.obj\nsvg w.svg\n",
       {"a.obj", "v.svg"},
       {"after.obj", "w.svg"},
       "elasticpull-host: script.txt:6: the script stopped at the tool's failure: 2 commands after it did "
       "not run",
       "wrote a.obj before the failure; then the pictures the script had taken: v.svg; nothing else was "
       "written"},
      {"on-failure continue\nselect 0\npick\nsave after.obj\n",
       {"after.obj"},
       {},
       "",
       "wrote after.obj after the tool's failure, as the script went on (on-failure continue); nothing else "
       "was written"},
      {"on-failure continue\nsave a.obj\nselect 0\npick\non-failure stop\npick\nsave after.obj\n",
       {"a.obj"},
       {"after.obj"},
       "elasticpull-host: script.txt:6: the script stopped at the tool's failure: 1 command after it did not "
       "run",
       "wrote a.obj before the failure; nothing else was written"},
      // A name that holds the list's punctuation is quoted, so the list reads back.
      {"select 0-1\npick\nsave \"a, b.obj\"\nselect 0\npick\nsave after.obj\n",
       {"a, b.obj"},
       {"after.obj"},
       "elasticpull-host: script.txt:5: the script stopped at the tool's failure: 1 command after it did not "
       "run",
       "wrote 'a, b.obj' before the failure; nothing else was written"},
  };
  for (const Case &c : cases) {
    for (const char *name : {"a.obj", "a, b.obj", "after.obj", "v.svg", "w.svg"}) fs::remove(path(name));
    put("script.txt", c.script);
    const auto r = run({"pairs.obj", "--script", "script.txt", "-o", "out.obj"});
    EXPECT_EQ(r.exitCode, 1) << describe(r);
    EXPECT_EQ(lastLine(r.err), "elasticpull-host: " + c.last) << describe(r);
    EXPECT_EQ(r.err.find("the script stopped") != std::string::npos, !c.stopped.empty()) << r.err;
    if (!c.stopped.empty()) {
      EXPECT_NE(r.err.find(c.stopped + " (a script goes on"), std::string::npos) << r.err;
    }
    for (const std::string &name : c.written) EXPECT_TRUE(fs::exists(path(name))) << name << "\n" << c.script;
    for (const std::string &name : c.notWritten)
      EXPECT_FALSE(fs::exists(path(name))) << name << "\n" << c.script;
    EXPECT_FALSE(fs::exists(path("out.obj")));
  }
}

// The summary line names every file the run wrote: the mesh first, then the
// others as they were put in place, a script's among them.
TEST_F(ProgramOutputs, TheSummaryNamesEveryFileWritten) {
  struct Case {
    std::vector<std::string> more;
    std::string wrote;
  };
  const Case cases[] = {
      {{"-o", "out.obj", "--svg", "v.svg", "--about-png", "a.png", "--report", "r.json"},
       "wrote out.obj, v.svg, a.png, r.json"},
      {{"--svg", "v.svg"}, "result not saved (no -o or --in-place); wrote v.svg"},
      {{"--svg", "it's; v.svg", "-o", " out.obj"}, "wrote ' out.obj', 'it\\'s; v.svg'"},
      {{"--svg", "standard output", "-o", "-"}, "wrote the mesh to standard output, 'standard output'"},
      {{"--svg", "tab\there\\.svg"}, "result not saved (no -o or --in-place); wrote 'tab\\x09here\\\\.svg'"},
      {{"--report", "r.json", "-o", "-"}, "wrote the mesh to standard output, r.json"},
      {{"--script", "script.txt", "-o", "out.obj"}, "wrote out.obj, s.obj"},
  };
  put("script.txt", "select 0-1\npick\nfactor 2\nsave s.obj\n");
  for (const Case &c : cases) {
    std::vector<std::string> args{"pairs.obj"};
    if (c.more.front() != "--script") args.insert(args.end(), {"--select", "0-1", "--factor", "2"});
    args.insert(args.end(), c.more.begin(), c.more.end());
    const auto r = run(args);
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    const std::string summary = lastLine(c.more.back() == "-" ? r.err : r.out);
    EXPECT_NE(summary.find("; " + c.wrote + " ("), std::string::npos) << summary;
  }
}

TEST_F(ProgramOutputs, ThePictureAndTheMeshReplaceTheOldFileWholeNeverInPlace) {
  // The old files held open: a write in place would change what they read.
  for (const char *name : {"pic.png", "out.obj", "pic2.png"}) put(name, "old");
  std::ifstream oldPic(path("pic.png")), oldMesh(path("out.obj")), oldPic2(path("pic2.png"));
  auto r = run({"pairs.obj", "--select", "0-1", "--factor", "2", "--about-png", "pic.png", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(file("pic.png").substr(1, 3), "PNG");
  EXPECT_EQ(file("out.obj"), kPairsStretched);
  std::string old;
  EXPECT_TRUE(oldPic >> old && old == "old");
  EXPECT_TRUE(oldMesh >> old && old == "old");
  EXPECT_TRUE(hiddenFiles().empty());

  put("script.txt", "select 0-1\npick\nabout pic2.png\n");
  r = run({"pairs.obj", "--script", "script.txt", "-q"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(file("pic2.png").substr(1, 3), "PNG");
  EXPECT_TRUE(oldPic2 >> old && old == "old");
}

TEST_F(ProgramOutputs, ANameNearTheFileSystemsLimitCanBeWritten) {
  const std::string name = std::string(251, 'n') + ".obj";  // 255 bytes
  const auto r = run({"pairs.obj", "--select", "0-1", "--factor", "2", "-o", name, "-q"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_EQ(file(name), kPairsStretched);
  EXPECT_TRUE(hiddenFiles().empty());
}

TEST_F(ProgramOutputs, NoNonFiniteCoordinateIsEverWrittenOrReportedAsSuccess) {
  // Finite input whose stretch overflows a naive length, or a huge Factor or
  // drag: a sound tool fails the build or moves to the exact answer; either
  // way the program writes no NaN or infinity and never exits 0 after one.
  struct Case {
    const char *mesh;
    std::vector<std::string> args;
    const char *script;
  };
  const Case cases[] = {
      {"v 0 0 0\nv 1e200 0 0\n", {"--select", "0-1", "--factor", "1.5"}, ""},
      {"v 0 0 0\nv 1e200 0 0\n", {"--script", "script.txt"}, "select 0-1\npick\nfactor 1.5\nsave mid.obj\n"},
      {kPairs, {"--script", "script.txt"}, "select 0-1\npick\npress point 0\ndrag 0 1e200 0\nrelease\n"},
  };
  for (const Case &c : cases) {
    put("mesh.obj", c.mesh);
    put("script.txt", c.script);
    std::vector<std::string> args{"mesh.obj", "-o", "out.obj"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = run(args);
    for (const char *output : {"out.obj", "mid.obj"}) {
      if (!fs::exists(path(output))) continue;
      EXPECT_NO_THROW(standin::ObjFile::parse(file(output), output)) << file(output);
    }
    if (r.exitCode != 0) {
      EXPECT_EQ(r.exitCode, 1) << describe(r);
      EXPECT_FALSE(fs::exists(path("out.obj")));
      EXPECT_EQ(r.out.find("moved "), std::string::npos) << r.out;
    }
    fs::remove(path("out.obj"));
    fs::remove(path("mid.obj"));
  }
}

// A script that writes a large mesh several times, so that a signal sent
// while a temporary file exists lands in the middle of a write.
class ProgramSignals : public ProgramOutputs {
 protected:
  void SetUp() override {
    ProgramOutputs::SetUp();
    std::string big = "v 2 0 0\nv 0 0 0\n# ";
    big.append(std::size_t{16} << 20, 'x');
    put("big.obj", big + "\n");
    std::string script = "select 0-1\npick\nfactor 2\n";
    for (int i = 1; i <= kSaves; ++i) script += "save s" + std::to_string(i) + ".obj\n";
    put("script.txt", script);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the script and sends `signal` once a temporary file is seen.
  program_test::ProgramResult signalDuringAWrite(int signal) {
    const pid_t pid = start({"big.obj", "--script", "script.txt", "-q"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool sent = false;
    while (!sent && std::chrono::steady_clock::now() < deadline) {
      if (!hiddenFiles().empty()) {
        kill(pid, signal);
        sent = true;
      }
      int status = 0;
      if (!sent && waitpid(pid, &status, WNOHANG) == pid) {
        ADD_FAILURE() << "the program ended before a temporary file was seen";
        return {};
      }
    }
    EXPECT_TRUE(sent);
    return finish(pid);
  }
  static constexpr int kSaves = 12;
};

TEST_F(ProgramSignals, TerminationDuringAWriteLeavesNoTemporaryFile) {
  for (const int signal : {SIGTERM, SIGHUP}) {
    const auto r = signalDuringAWrite(signal);
    EXPECT_EQ(r.signal, signal) << describe(r);
    EXPECT_EQ(hiddenFiles(), std::vector<std::string>{}) << "signal " << signal;
  }
}

TEST_F(ProgramSignals, CtrlCStopsTheWriteInProgressAndNamesWhatWasWritten) {
  const auto r = signalDuringAWrite(SIGINT);
  EXPECT_EQ(r.exitCode, 130) << describe(r);
  EXPECT_EQ(hiddenFiles(), std::vector<std::string>{});
  std::vector<std::string> saves;
  for (int i = 1; i <= kSaves; ++i) saves.push_back("s" + std::to_string(i) + ".obj");
  expectWrittenFilesNamed(r, saves);
  EXPECT_FALSE(fs::exists(path("s" + std::to_string(kSaves) + ".obj"))) << describe(r);
}

// Ctrl-C at each stage of an --in-place run with more outputs: while the
// mesh is read, as the build starts, during each output's write and flush,
// and just before the renames. Until the renames begin, the run stops with
// 130, the mesh untouched and nothing written; a Ctrl-C during the renames
// comes too late and the run is complete.
TEST_F(ProgramSignals, CtrlCAtEveryStageBeforeTheRenamesLeavesEveryFileAsItWas) {
  const std::vector<std::string> stages{"read",   "build",  "write:1",  "write:2", "write:3",
                                        "sync:1", "sync:3", "rename:1", "rename:2"};
  for (const std::string &stage : stages) {
    put("pairs.obj", kPairs);
    put("v.svg", "old");
    fs::remove(path("r.json"));
    setenv("EP_TEST_INTERRUPT", stage.c_str(), 1);
    const auto r = run({"pairs.obj", "--select", "0-1", "--factor", "2", "--in-place", "--svg", "v.svg",
                        "--report", "r.json", "-q"});
    unsetenv("EP_TEST_INTERRUPT");
    EXPECT_EQ(hiddenFiles(), std::vector<std::string>{}) << stage;
    if (stage.rfind("rename", 0) == 0) {
      EXPECT_EQ(r.exitCode, 0) << stage << "\n" << describe(r);
      EXPECT_EQ(file("pairs.obj"), kPairsStretched) << stage;
      EXPECT_TRUE(fs::exists(path("r.json")) && file("v.svg") != "old") << stage;
      EXPECT_EQ(lastLine(r.err),
                "elasticpull-host: Ctrl-C came too late to stop the run: its outputs were "
                "being put in place, and all are written");
      continue;
    }
    EXPECT_EQ(r.exitCode, 130) << stage << "\n" << describe(r);
    // The tool's own box for an aborted build is followed by what it was.
    if (stage == "build") {
      EXPECT_NE(
          r.err.find("Error: Error (Code #001): Unknown.\nelasticpull-host: interrupted: Ctrl-C aborted the "
                     "tool's build (the tool's error box above is how it reports an abort)"),
          std::string::npos)
          << r.err;
    }
    EXPECT_EQ(file("pairs.obj"), kPairs) << stage;
    EXPECT_EQ(file("v.svg"), "old") << stage;
    EXPECT_FALSE(fs::exists(path("r.json"))) << stage;
    const std::string last = lastLine(r.err);
    EXPECT_EQ(last.rfind("elasticpull-host: interrupted: ", 0), 0u) << r.err;
    EXPECT_NE(last.find("; the input mesh is untouched; nothing was written"), std::string::npos) << r.err;
  }
}

// A real Ctrl-C while the result of --in-place is being written over a large
// mesh: the run stops before the rename and the mesh stays, or (if it came
// during the renames) the run is complete; never a mix, never a stray file.
TEST_F(ProgramSignals, CtrlCDuringAnInPlaceWriteKeepsTheMeshWhole) {
  const std::string before = file("big.obj");
  const pid_t pid =
      start({"big.obj", "--select", "0-1", "--factor", "2", "--in-place", "--svg", "v.svg", "-q"});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  siginfo_t ended{};  // filled once the program ended (left for finish() to collect)
  while (hiddenFiles().empty() && std::chrono::steady_clock::now() < deadline &&
         waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         ended.si_pid == 0) {
  }
  kill(pid, SIGINT);
  const auto r = finish(pid);
  EXPECT_EQ(hiddenFiles(), std::vector<std::string>{});
  const std::string after = file("big.obj");
  if (r.exitCode == 130) {
    EXPECT_TRUE(after == before) << "the mesh changed";
    EXPECT_FALSE(fs::exists(path("v.svg")));
  } else {
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(after.substr(0, 16), "v 4 0 0\nv 0 0 0\n");
    EXPECT_EQ(after.size(), before.size());
  }
}

}  // namespace
