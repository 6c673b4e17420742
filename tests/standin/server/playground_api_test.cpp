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
#include "standin/server/playground.h"
#include "standin/session/obj_file.h"

namespace {

using nlohmann::json;
using standin::ApiReply;
using standin::Playground;
using standin::PlaygroundApi;

namespace fs = std::filesystem;

// Two pairs: handle (0,2,0) over anchor (0,0,0), handle (3,3,1) over anchor
// (3,0,1); point 4 is not selected. A face and a line give edges.
constexpr const char *kMesh = "v 0 2 0\nv 0 0 0\nv 3 3 1\nv 3 0 1\nv 6 1 2\nf 1 2 4 3\nl 3 5\n";

constexpr std::uintptr_t kMode = 0x8002, kFactor = 0x8003, kOffset = 0x8004, kSymmetry = 0x8005;
constexpr std::uintptr_t kInvert = 0x8006, kAbout = 0x8007;

class PlaygroundApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    globals_.messages().setEcho(nullptr);
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(EP_TEST_OUTPUT_DIR) / "playground-api" / info->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    start({0, 1, 2, 3}, (dir_ / "out.obj").string());
  }

  void start(std::vector<std::size_t> selection, std::string output) {
    api_.reset();
    playground_.reset();
    standin::PlaygroundConfig config;
    config.selection = std::move(selection);
    config.outputPath = std::move(output);
    playground_ =
        std::make_unique<Playground>(module_, globals_, standin::ObjFile::parse(kMesh, "pairs.obj"), config);
    api_ = std::make_unique<PlaygroundApi>(*playground_);
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
  std::unique_ptr<Playground> playground_;
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
      {"press", R"({"position": [0, 2, 0], "pickRadius": -1})", 400, "'pickRadius' is out of range"},
      {"press", R"({"position": [0, 2, 0], "version": "3"})", 400, "'version' must be a whole number"},
      {"release", R"({"now": true})", 400, "it takes none"},
      {"panel", R"({"id": 32771})", 400, "'value' is required"},
      {"panel", R"({"id": 32771, "value": "150%"})", 400, "'value' must be a number"},
      {"panel", R"({"id": -1, "value": 1})", 400, "whole number from 0"},
      {"panel", R"({"id": 1.5, "value": 1})", 400, "whole number from 0"},
      {"panel", R"({"id": 99, "value": 1})", 400, "has no control 99"},
      {"panel", R"({"id": 32774, "value": 1})", 400, "is a button"},
      {"panel", R"({"id": 32770, "value": 7})", 400, "out of the control's range"},
      {"panel", R"({"id": 32771, "value": 1e300})", 400, "out of the control's range"},
      {"button", R"({"id": 32771})", 400, "is not a button"},
      {"fly", "{}", 404, "no such action"},
  };
  const std::string before = playground_->objText();
  const std::string script = playground_->script();
  for (const Case &c : cases) {
    const json answer = post(c.action, c.body, c.status);
    EXPECT_NE(answer.value("error", "").find(c.says), std::string::npos)
        << c.action << " " << c.body << " answered " << answer.dump();
  }
  EXPECT_EQ(playground_->objText(), before);
  EXPECT_EQ(playground_->script(), script);
}

TEST_F(PlaygroundApiTest, RequestsTheSessionCannotServeNowAnswerConflict) {
  EXPECT_NE(
      post("drag", json{{"position", {0, 3, 0}}}, 409)["error"].get<std::string>().find("no handle is held"),
      std::string::npos);
  // Offset is disabled in Factor mode; the panel's own rule says so.
  EXPECT_NE(
      post("panel", json{{"id", kOffset}, {"value", 1}}, 409)["error"].get<std::string>().find("disabled"),
      std::string::npos);
  start({0, 1, 2, 3}, "");
  EXPECT_NE(post("save", json::object(), 409)["error"].get<std::string>().find("-o OUT.obj"),
            std::string::npos);
}

TEST_F(PlaygroundApiTest, ADragMovesThePairWhereTheSolveDoesAndTheAnswerCarriesOnlyThatPair) {
  const std::int64_t version = state()["version"];
  json answer = post("press", json{{"position", {0, 2, 0}}, {"version", version}});
  EXPECT_EQ(answer["held"], 0);
  answer = post("drag", json{{"position", {0.4, 3, 0}}, {"version", answer["version"]}});
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
}

TEST_F(PlaygroundApiTest, PanelEditsGoThroughTheToolsSetAndShowInTheAnswer) {
  json answer = post("panel", json{{"id", kFactor}, {"value", 1.5}, {"version", state()["version"]}});
  EXPECT_EQ(point(0), (standin::Position{0, 3, 0}));
  EXPECT_EQ(point(2), (standin::Position{3, 4.5, 1}));
  ASSERT_TRUE(answer.contains("panel"));
  for (const json &c : answer["panel"]["controls"]) {
    if (c["id"] == kFactor) {
      EXPECT_EQ(c["value"], 1.5);
    }
  }
  post("panel", json{{"id", kMode}, {"value", 1}});
  post("panel", json{{"id", kOffset}, {"value", 0.5}});
  post("panel", json{{"id", kSymmetry}, {"value", true}});
  // Offset 0.5 with symmetry: the anchor end moves the opposite way by as much.
  EXPECT_EQ(point(0), (standin::Position{0, 2.5, 0}));
  EXPECT_EQ(point(1), (standin::Position{0, -0.5, 0}));
  post("button", json{{"id", kInvert}});
  EXPECT_EQ(playground_->script(),
            "# The playground's session as a script for elasticpull-host MESH --script FILE -o OUT\n"
            "select 0-3\npick\nfactor 1.5\nmode offset\noffset 0.5\nsymmetry on\ninvert\n");
}

TEST_F(PlaygroundApiTest, AboutPaintsItsPictureWhichIsServedAsPng) {
  EXPECT_EQ(api_->get("about.png").status, 404);
  const json answer = post("button", json{{"id", kAbout}});
  ASSERT_TRUE(answer.contains("about"));
  EXPECT_EQ(answer["about"]["serial"], 1);
  EXPECT_EQ(answer["about"]["texts"][0], "Elastic_Pull 1.1");
  const ApiReply png = api_->get("about.png");
  EXPECT_EQ(png.status, 200);
  EXPECT_EQ(png.contentType, "image/png");
  EXPECT_EQ(png.body.substr(1, 3), "PNG");
}

TEST_F(PlaygroundApiTest, SaveWritesTheOutputAsTheCommandLineWouldAndUndoGoesBackToTheFile) {
  post("panel", json{{"id", kFactor}, {"value", 2}});
  const json answer = post("save", json::object());
  EXPECT_FALSE(answer["unsaved"].get<bool>());
  std::ifstream in(dir_ / "out.obj", std::ios::binary);
  std::stringstream saved;
  saved << in.rdbuf();
  EXPECT_EQ(saved.str(), "v 0 4 0\nv 0 0 0\nv 3 6 1\nv 3 0 1\nv 6 1 2\nf 1 2 4 3\nl 3 5\n");
  EXPECT_EQ(api_->get("download").body, saved.str());
  EXPECT_EQ(api_->get("download").headers.at(0).second, "attachment; filename=\"out.obj\"");
  post("undo", json::object());
  EXPECT_EQ(playground_->objText(), kMesh);
  EXPECT_EQ(point(0), (standin::Position{0, 2, 0}));
}

TEST_F(PlaygroundApiTest, RightClickKeepsTheResultAndTheNextStretchStartsFromIt) {
  post("panel", json{{"id", kFactor}, {"value", 1.5}});
  post("keep", json{{"position", {10, 10, 10}}});
  post("panel", json{{"id", kFactor}, {"value", 2}});
  // 2 x the kept length 3, not 2 x the file's 2.
  EXPECT_EQ(point(0), (standin::Position{0, 6, 0}));
}

TEST_F(PlaygroundApiTest, TheScriptSaysWhereTheCommandLinesPickWouldDiffer) {
  // On the handle itself the pick is the same with any radius; 0.1 beside it,
  // radius 0 grabs nothing while the command line's 0.25 grabs the handle.
  post("press", json{{"position", {0, 2, 0}}, {"pickRadius", 0}});
  post("release", json::object());
  post("press", json{{"position", {0.1, 2, 0}}, {"pickRadius", 0}});
  post("release", json::object());
  const std::string script = playground_->script();
  EXPECT_NE(
      script.find("pick\npress 0 2 0\nrelease\n# picked with radius 0; with 0.25 the command line may grab "
                  "another handle here\npress 0.1 2 0\n"),
      std::string::npos)
      << script;
}

TEST_F(PlaygroundApiTest, ToolMessagesReachTheAnswerOnce) {
  start({0}, "");  // one point: the tool warns that two or more are needed
  const json first = state();
  ASSERT_EQ(first["messages"].size(), 1u) << first["messages"].dump();
  EXPECT_EQ(first["messages"][0]["kind"], "Warning");
  EXPECT_EQ(first["messages"][0]["text"], "Please select two or more points.");
  EXPECT_TRUE(state()["messages"].empty());
}

}  // namespace
