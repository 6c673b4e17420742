// The session's outputs against the files it reads: checked by identity as
// each is written, so that a name that reaches an input (itself, or a link
// made after the run started) is refused and the input stays as it was; only
// the session's own output may replace the mesh, when it is meant to.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "standin/host/host_globals.h"
#include "standin/host/module_loader.h"
#include "standin/session/session.h"

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(SessionOutputs, AnOutputThatReachesAFileTheSessionReadsIsRefused) {
  const fs::path dir = fs::path(EP_TEST_OUTPUT_DIR) / "session_outputs_test";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string mesh = "v 2 0 0\nv 0 0 0\n";
  std::ofstream(dir / "mesh.obj", std::ios::binary) << mesh;
  std::ofstream(dir / "script.txt", std::ios::binary) << "save x.obj\n";
  std::vector<std::string> names{"./mesh.obj", "script.txt", "./script.txt"};
#ifndef _WIN32
  fs::create_symlink("script.txt", dir / "soft.txt");
  fs::create_hard_link(dir / "mesh.obj", dir / "hard.obj");
  names.insert(names.end(), {"soft.txt", "hard.obj"});
#endif

  const standin::LoadedModule module = standin::LoadedModule::open(EP_MODULE_PATH);
  standin::HostGlobals globals;
  globals.messages().setEcho(nullptr);
  standin::ObjFile obj = standin::ObjFile::parse(mesh, "mesh.obj");
  std::ostream silent(nullptr);
  standin::SessionSetup setup;
  setup.out = setup.err = &silent;
  setup.outputFolder = dir.string();
  setup.outputPath = (dir / "mesh.obj").string();
  setup.outputReplacesMesh = true;
  setup.inputs.add((dir / "mesh.obj").string(), standin::kInputMesh);
  setup.inputs.add((dir / "script.txt").string(), "the script");
  std::vector<std::string> wrote;
  setup.wrote = [&](const std::string &path) { wrote.push_back(path); };
  standin::Session session(module, globals, obj, setup);

  session.run(standin::parseCommand("select 0-1"));
  session.run(standin::parseCommand("pick factor 2"));
  for (const std::string &name : names) {
    try {
      session.run(standin::parseCommand("save " + name));
      ADD_FAILURE() << "wrote " << name;
    } catch (const standin::Failure &error) {
      EXPECT_EQ(error.kind(), standin::FailureKind::Refused) << name;
      EXPECT_NE(std::string(error.what()).find(" this session reads, which no output replaces"),
                std::string::npos)
          << error.what();
    }
  }
  EXPECT_EQ(readAll(dir / "mesh.obj"), mesh);
  EXPECT_EQ(readAll(dir / "script.txt"), "save x.obj\n");
  EXPECT_TRUE(wrote.empty());
  // A file of its own, and the session's own output over the mesh (once it
  // has one name again).
  fs::remove(dir / "hard.obj");
  session.run(standin::parseCommand("save x.obj"));
  session.run(standin::parseCommand("save"));
  EXPECT_EQ(readAll(dir / "mesh.obj"), "v 4 0 0\nv 0 0 0\n");
  EXPECT_EQ(wrote, (std::vector<std::string>{(dir / "x.obj").string(), (dir / "mesh.obj").string()}));
}

}  // namespace
