// The playground's API without a socket: what a request does to the session,
// what is refused and why, and what the answers carry.
#include "standin/server/playground_api.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "standin/host/host_globals.h"
#include "standin/host/module_loader.h"
#include "standin/session/obj_file.h"
#include "standin/session/session.h"

namespace {

using nlohmann::json;
using standin::ApiReply;
using standin::PlaygroundApi;
using standin::Session;

namespace fs = std::filesystem;

// Two pairs: handle (0,2,0) over anchor (0,0,0), handle (3,3,1) over anchor
// (3,0,1); point 4 is not selected. A face and a line give edges.
constexpr const char *kMesh = "v 0 2 0\nv 0 0 0\nv 3 3 1\nv 3 0 1\nv 6 1 2\nf 1 2 4 3\nl 3 5\n";

constexpr std::uintptr_t kFactor = 0x8003;

class PlaygroundApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    globals_.messages().setEcho(nullptr);
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(EP_TEST_OUTPUT_DIR) / "playground-api" / info->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    start("0-3", (dir_ / "out.obj").string());
  }

  // The session as `serve` begins it: the selection, then the tool picked.
  void start(const std::string &selection, std::string output) {
    api_.reset();
    playground_.reset();
    obj_ = std::make_unique<standin::ObjFile>(standin::ObjFile::parse(kMesh, "pairs.obj"));
    standin::SessionSetup setup;
    setup.out = &silent_;
    setup.outputPath = std::move(output);
    setup.liveViewport = true;
    playground_ = std::make_unique<Session>(module_, globals_, *obj_, setup);
    playground_->run(standin::parseCommand("select " + selection));
    playground_->run(standin::parseCommand("pick"));
    playground_->beginHistoryHere();
    api_ = std::make_unique<PlaygroundApi>(*playground_);
  }
  std::string objText() {
    playground_->syncObj();
    return obj_->text();
  }

  json post(const std::string &action, const json &body, int expected = 200) {
    return post(action, body.dump(), expected);
  }
  json post(const std::string &action, const std::string &body, int expected) {
    const ApiReply reply = api_->post(action, body);
    EXPECT_EQ(reply.status, expected) << action << " " << body << " -> " << reply.body;
    EXPECT_EQ(reply.contentType, "application/json");
    return json::parse(reply.body);
  }
  json state() { return json::parse(api_->get("state").body); }

  standin::Position point(std::size_t i) const { return playground_->mesh().position(i); }

  fs::path dir_;
  standin::HostGlobals globals_;
  standin::LoadedModule module_ = standin::LoadedModule::open(EP_MODULE_PATH);
  std::ostream silent_{nullptr};
  std::unique_ptr<standin::ObjFile> obj_;
  std::unique_ptr<Session> playground_;
  std::unique_ptr<PlaygroundApi> api_;
};

TEST_F(PlaygroundApiTest, MalformedRequestsAreRefusedWithTheirReasonAndChangeNothing) {
  struct Case {
    const char *action;
    std::string body;
    int status;
    const char *says;
  };
  const std::string huge = "[" + std::string(3, '1') + "e999, 0, 0]";
  const Case cases[] = {
      {"press", "{\"position\": [0, 2", 400, "not valid JSON"},
      {"press", "[0, 2, 0]", 400, "must be a JSON object"},
      {"press", "{}", 400, "'position' is required"},
      {"press", R"({"position": [0, 2, 0], "where": 1})", 400, "unknown field 'where'"},
      {"press", R"({"position": [0, 2]})", 400, "three numbers"},
      {"press", R"({"position": [0, "2", 0]})", 400, "'position' must be a number"},
      {"press", R"({"position": [0, 2, 1e16]})", 400, "out of range"},
      {"press", R"({"position": )" + huge + "}", 400, "not valid JSON"},
      {"press", R"({"position": [0, 2, 0], "ctrl": 1})", 400, "'ctrl' must be true or false"},
      {"press", R"({"position": [0, 2, 0], "handle": -1})", 400, "'handle' must be a handle index"},
      {"press", R"({"position": [0, 2, 0], "version": "3"})", 400, "'version' must be a whole number"},
      {"press", R"({"command": "drag", "position": [0, 2, 0]})", 400, "the route names the command"},
      {"release", R"({"now": true})", 400, "it takes none"},
      {"factor", R"({})", 400, "'value' is required"},
      {"factor", R"({"value": "150%"})", 400, "'value' must be a number"},
      {"factor", R"({"value": 1e300})", 400, "out of the control's range"},
      {"mode", R"({"mode": "stretch"})", 400, "unknown mode 'stretch'"},
      {"symmetry", R"({"on": 1})", 400, "'on' must be true or false"},
      {"save", R"({"file": "/tmp/elsewhere.obj"})", 400, "the page names no file"},
      {"about", R"({"file": "logo.png"})", 400, "the page names no file"},
      {"command", R"({"position": [0, 2, 0]})", 400, "'command' is required"},
      {"command", R"({"command": "fly"})", 404, "no such command: fly"},
      {"fly", "{}", 404, "no such command"},
  };
  const std::string before = objText();
  const std::string script = playground_->log();
  for (const Case &c : cases) {
    const json answer = post(c.action, c.body, c.status);
    EXPECT_NE(answer.value("error", "").find(c.says), std::string::npos)
        << c.action << " " << c.body << " answered " << answer.dump();
  }
  EXPECT_EQ(objText(), before);
  EXPECT_EQ(playground_->log(), script);
}

TEST_F(PlaygroundApiTest, RequestsTheSessionCannotServeNowAnswerConflict) {
  EXPECT_NE(post("drag", json{{"position", {0, 3, 0}}}, 409)["error"].get<std::string>().find("not held"),
            std::string::npos);
  // Offset is disabled in Factor mode; the panel's own rule says so.
  EXPECT_NE(post("offset", json{{"value", 1}}, 409)["error"].get<std::string>().find("disabled"),
            std::string::npos);
  start("0-3", "");
  EXPECT_NE(post("save", json::object(), 409)["error"].get<std::string>().find("-o OUT.obj"),
            std::string::npos);
  EXPECT_NE(post("redo", json::object(), 409)["error"].get<std::string>().find("nothing to redo"),
            std::string::npos);
}

TEST_F(PlaygroundApiTest, ADragMovesThePairWhereTheSolveDoesAndTheAnswerCarriesOnlyThatPair) {
  const std::int64_t version = state()["version"];
  json answer = post("press", json{{"position", {0, 2, 0}}, {"handle", 0}, {"version", version}});
  EXPECT_EQ(answer["held"], 0);
  answer =
      post("command", json{{"command", "drag"}, {"position", {0.4, 3, 0}}, {"version", answer["version"]}});
  EXPECT_FALSE(answer.contains("full"));
  // The handle end lands on its line at the height of the mouse.
  EXPECT_EQ(point(0), (standin::Position{0, 3, 0}));
  EXPECT_EQ(point(2), (standin::Position{3, 3, 1}));
  EXPECT_EQ(answer["moved"], json::array({0, 0.0, 3.0, 0.0}));
  EXPECT_EQ(answer["handles"]["count"], 4);
  EXPECT_EQ(answer["handles"]["changed"], json::array({0, 0.0, 3.0, 0.0}));
  // Pair 0's twelve calls changed (its handle vector stays), pair 1's not.
  const json &runs = answer["overlay"]["runs"];
  EXPECT_EQ(answer["overlay"]["length"], 24);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0][0], 0);
  EXPECT_LE(runs[0][1].size(), 12u * standin::kOverlayNumbersPerCall);
  answer = post("release", json{{"version", answer["version"]}});
  EXPECT_TRUE(answer["held"].is_null());
  EXPECT_TRUE(answer["unsaved"].get<bool>());
  EXPECT_TRUE(answer["canUndo"].get<bool>());
}

TEST_F(PlaygroundApiTest, APageBehindTheServerGetsTheWholeScene) {
  const json first = state();
  EXPECT_TRUE(first["full"].get<bool>());
  EXPECT_EQ(first["points"].size(), 15u);
  EXPECT_EQ(first["selected"], json::array({0, 1, 2, 3}));
  EXPECT_EQ(first["overlay"].size(), 24u * standin::kOverlayNumbersPerCall);
  EXPECT_EQ(first["panel"]["title"], "Elastic_Pull");
  // A stale version, and no version at all, both get everything.
  for (const json &body : {json{{"version", first["version"].get<int>() - 1}}, json::object()}) {
    const json answer = post("reset", body);
    EXPECT_TRUE(answer.value("full", false)) << body.dump();
    EXPECT_EQ(answer["points"].size(), 15u);
  }
  // So does one whose action changed the selection.
  const json pairs = post("pairs", json{{"pairs", "0:1"}, {"version", state()["version"]}});
  EXPECT_TRUE(pairs.value("full", false));
  EXPECT_EQ(pairs["selected"], json::array({0, 1}));
}

TEST_F(PlaygroundApiTest, PanelEditsGoThroughTheToolsSetAndShowInTheAnswer) {
  json answer = post("factor", json{{"value", 1.5}, {"version", state()["version"]}});
  EXPECT_EQ(point(0), (standin::Position{0, 3, 0}));
  EXPECT_EQ(point(2), (standin::Position{3, 4.5, 1}));
  ASSERT_TRUE(answer.contains("panel"));
  for (const json &c : answer["panel"]["controls"]) {
    if (c["id"] == kFactor) {
      EXPECT_EQ(c["value"], 1.5);
    }
  }
  post("mode", json{{"mode", "offset"}});
  post("offset", json{{"value", 0.5}});
  post("symmetry", json{{"on", true}});
  // Offset 0.5 with symmetry: the anchor end moves the opposite way by as much.
  EXPECT_EQ(point(0), (standin::Position{0, 2.5, 0}));
  EXPECT_EQ(point(1), (standin::Position{0, -0.5, 0}));
  post("invert", json::object());
  EXPECT_EQ(playground_->log(),
            "# elasticpull-host session: replay with elasticpull-host MESH --script FILE -o OUT\n"
            "select 0-3\npick\nfactor 1.5\nmode offset\noffset 0.5\nsymmetry on\ninvert\n");
}

TEST_F(PlaygroundApiTest, AboutComesBackInItsOwnAnswerOnlyAndIsServedAsPng) {
  EXPECT_EQ(api_->get("about.png").status, 404);
  const json answer = post("about", json::object());
  ASSERT_TRUE(answer.contains("about"));
  EXPECT_EQ(answer["about"]["serial"], 1);
  EXPECT_EQ(answer["about"]["texts"][0], "Elastic_Pull 1.1");
  EXPECT_EQ(answer["about"]["picture"].get<std::string>().rfind("data:image/png;base64,iVBORw0KGgo", 0), 0u);
  const ApiReply png = api_->get("about.png");
  EXPECT_EQ(png.status, 200);
  EXPECT_EQ(png.contentType, "image/png");
  EXPECT_EQ(png.body.substr(1, 3), "PNG");
  // A reload or another tab does not open it again.
  EXPECT_FALSE(state().contains("about"));
  EXPECT_FALSE(post("reset", json::object()).contains("about"));
}

TEST_F(PlaygroundApiTest, SaveWritesTheOutputAsTheCommandLineWouldAndRevertGoesBackToTheFile) {
  post("factor", json{{"value", 2}});
  const json answer = post("save", json::object());
  EXPECT_FALSE(answer["unsaved"].get<bool>());
  std::ifstream in(dir_ / "out.obj", std::ios::binary);
  std::stringstream saved;
  saved << in.rdbuf();
  EXPECT_EQ(saved.str(), "v 0 4 0\nv 0 0 0\nv 3 6 1\nv 3 0 1\nv 6 1 2\nf 1 2 4 3\nl 3 5\n");
  EXPECT_EQ(api_->get("download").body, saved.str());
  EXPECT_EQ(api_->get("download").headers.at(0).second, "attachment; filename=\"out.obj\"");
  const json reverted = post("revert", json::object());
  EXPECT_EQ(objText(), kMesh);
  EXPECT_EQ(point(0), (standin::Position{0, 2, 0}));
  EXPECT_TRUE(reverted["unsaved"].get<bool>()) << "the file on disk still holds the stretch";
  EXPECT_FALSE(post("undo", json::object())["unsaved"].get<bool>()) << "back to what was saved";
}

TEST_F(PlaygroundApiTest, RightClickKeepsTheResultAndTheNextStretchStartsFromIt) {
  post("factor", json{{"value", 1.5}});
  post("keep", json{{"position", {10, 10, 10}}});
  post("factor", json{{"value", 2}});
  // 2 x the kept length 3, not 2 x the file's 2.
  EXPECT_EQ(point(0), (standin::Position{0, 6, 0}));
}

TEST_F(PlaygroundApiTest, TheLogNamesWhatEachPressGrabbed) {
  // The page names the handle it showed under the mouse, or none: the tool's
  // start chooses. A press without either grabs the nearest within the
  // host's pick radius, and the log says which that was.
  post("press", json{{"position", {0, 2, 0}}, {"handle", 1}});
  post("release", json::object());
  post("press", json{{"position", {0.1, 2, 0}}, {"handle", "start"}});
  post("release", json::object());
  post("press", json{{"position", {3, 3.1, 1}}});
  post("release", json::object());
  const std::string log = playground_->log();
  EXPECT_NE(
      log.find("pick\npress 0 2 0 handle 1\nrelease\npress 0.1 2 0 start\nrelease\npress 3 3.1 1 handle 2\n"),
      std::string::npos)
      << log;
}

TEST_F(PlaygroundApiTest, ToolMessagesReachOnlyTheAnswerOfTheCommandThatRaisedThem) {
  start("0", "");  // one point: the tool warns that two or more are needed
  EXPECT_TRUE(state()["messages"].is_null()) << "a page load takes no box";
  const json answer = post("revert", json::object());  // picks the tool again: it warns again
  ASSERT_EQ(answer["messages"].size(), 1u) << answer["messages"].dump();
  EXPECT_EQ(answer["messages"][0]["kind"], "Warning");
  EXPECT_EQ(answer["messages"][0]["text"], "Please select two or more points.");
  EXPECT_TRUE(post("reset", json::object())["messages"].empty());
  EXPECT_NE(playground_->log().find(
                "revert\n# box: Active layers contain no data for operation.: Please select two "
                "or more points.\n"),
            std::string::npos)
      << playground_->log();
}

TEST_F(PlaygroundApiTest, UndoAndRedoStepThroughTheHistory) {
  post("factor", json{{"value", 1.5}});
  post("press", json{{"position", {3, 4.5, 1}}, {"handle", 2}});
  for (double y : {5.0, 6.0, 7.0}) post("drag", json{{"position", {3, y, 1}}});
  post("release", json::object());
  const standin::Position dragged = point(2);
  // The press, its drags and its release are one step.
  json answer = post("undo", json::object());
  EXPECT_EQ(point(2), (standin::Position{3, 4.5, 1}));
  EXPECT_EQ(point(0), (standin::Position{0, 3, 0}));
  answer = post("undo", json::object());
  EXPECT_EQ(point(0), (standin::Position{0, 2, 0}));
  EXPECT_FALSE(answer["unsaved"].get<bool>());
  answer = post("redo", json::object());
  answer = post("redo", json::object());
  EXPECT_EQ(point(2), dragged);
  EXPECT_FALSE(answer["canRedo"].get<bool>());
}

}  // namespace
