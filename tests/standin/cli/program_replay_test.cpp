// The log is the script: random sessions driven through the playground's API
// (in this process, as the page drives it), then their log replayed by the
// program, write the same mesh byte for byte, undo, redo and revert included.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "program_run.h"
#include "standin/host/host_globals.h"
#include "standin/host/module_loader.h"
#include "standin/server/playground_api.h"
#include "standin/session/session.h"

namespace {

using nlohmann::json;
using program_test::ProgramTest;

constexpr const char *kMesh = "v 0 2 0\nv 0 0 0\nv 3 3.0 1\nv 3 0 1\nv 6 1 2.50\nf 1 2 4 3\nl 3 5\n";

class ProgramReplay : public ProgramTest {
 protected:
  // One random page action: the route and the body.
  std::pair<std::string, json> action(std::mt19937 &random, standin::Session &session) {
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    auto y = [&] { return pick(40) / 8.0 - 1; };
    if (pressed_) {
      pressed_ = pick(4) != 0;
      if (!pressed_) return {"release", json::object()};
      return {"drag", {{"position", {0, y(), 0}}, {"ctrl", pick(2) == 1}}};
    }
    static const char *const kPlain[] = {"undo", "undo", "redo", "revert", "reset", "drop", "activate", "invert",
                                         "about", "keep"};
    switch (pick(6)) {
      case 0:
        return {"factor", {{"value", pick(9) / 4.0}}};
      case 1:
        return {"mode", {{"mode", pick(2) ? "factor" : "offset"}}};
      case 2:
        return {pick(2) ? "offset" : "symmetry", pick(2) ? json{{"value", y()}} : json{{"on", pick(2) == 1}}};
      case 3: {
        const std::vector<standin::Position> handles = session.handles();
        pressed_ = true;
        if (handles.empty() || pick(3) == 0) return {"press", {{"position", {0.5, y(), 0.5}}, {"handle", "start"}}};
        const int h = pick(static_cast<int>(handles.size()));
        return {"press", {{"position", {handles[h][0], handles[h][1], handles[h][2]}}, {"handle", h}}};
      }
      default:
        return {kPlain[pick(static_cast<int>(std::size(kPlain)))], json::object()};
    }
  }
  bool pressed_ = false;
};

TEST_F(ProgramReplay, RandomSessionsThroughTheApiReplayByteForByteThroughTheProgram) {
  const standin::LoadedModule module = standin::LoadedModule::open(EP_MODULE_PATH);
  put("pairs.obj", kMesh);
  int stretched = 0;  // sessions whose result is not the file as read
  for (unsigned seed = 1; seed <= 8; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    standin::HostGlobals globals;
    globals.messages().setEcho(nullptr);
    standin::ObjFile mesh = standin::ObjFile::parse(kMesh, "pairs.obj");
    std::ostream silent(nullptr);
    standin::SessionSetup setup;
    setup.out = &silent;
    setup.outputPath = path("saved.obj").string();
    setup.liveViewport = true;
    standin::Session session(module, globals, mesh, setup);
    session.run(standin::parseCommand("select 0-3"));
    session.run(standin::parseCommand("pick"));
    session.beginHistoryHere();
    standin::PlaygroundApi api(session);
    pressed_ = false;
    for (int n = 0; n < 60 || pressed_; ++n) {
      const auto [route, body] = action(random, session);
      api.post(route, body.dump());  // refused or not, as a page would
    }
    ASSERT_EQ(api.post("save", "{}").status, 200);
    const std::string log = api.get("script").body;
    put("session.script", log);
    const auto r = run({"pairs.obj", "--script", "session.script", "-o", "replayed.obj", "-q"});
    ASSERT_EQ(r.exitCode, 0) << program_test::describe(r) << log;
    ASSERT_EQ(file("replayed.obj"), file("saved.obj")) << log;
    stretched += file("saved.obj") != kMesh ? 1 : 0;
  }
  EXPECT_GE(stretched, 4);
}

}  // namespace
