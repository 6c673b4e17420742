// The scene the page builds from the answers is the session's scene: a page
// that applies every answer of a random run of commands (drags with and
// without CTRL, panel edits, undo, redo, reset, release, a new selection)
// holds the points, handles and overlay the session has after each one.
#include "standin/server/scene_tracker.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "standin/host/host_globals.h"
#include "standin/host/module_loader.h"
#include "standin/server/playground_api.h"
#include "standin/session/obj_file.h"
#include "standin/session/session.h"

namespace {

using nlohmann::json;

// What a page keeps: the flat arrays of the whole scene, patched by changes.
struct PageScene {
  json points, handles, overlay;

  void apply(const json &answer) {
    if (answer.value("full", false)) {
      points = answer["points"];
      handles = answer["handles"];
      overlay = answer["overlay"];
      return;
    }
    const json &moved = answer["moved"];
    for (std::size_t k = 0; k < moved.size(); k += 4)
      for (std::size_t i = 0; i < 3; ++i) points[3 * moved[k].get<std::size_t>() + i] = moved[k + 1 + i];
    const json &h = answer["handles"];
    resize(handles, 3 * h["count"].get<std::size_t>());
    for (std::size_t k = 0; k < h["changed"].size(); k += 4)
      for (std::size_t i = 0; i < 3; ++i)
        handles[3 * h["changed"][k].get<std::size_t>() + i] = h["changed"][k + 1 + i];
    resize(overlay, standin::kOverlayNumbersPerCall * answer["overlay"]["length"].get<std::size_t>());
    for (const json &run : answer["overlay"]["runs"])
      for (std::size_t i = 0; i < run[1].size(); ++i)
        overlay[standin::kOverlayNumbersPerCall * run[0].get<std::size_t>() + i] = run[1][i];
  }
  static void resize(json &flat, std::size_t size) {
    while (flat.size() > size) flat.erase(flat.size() - 1);
    while (flat.size() < size) flat.push_back(nullptr);
  }
};

json flat(const std::vector<standin::Position> &positions) {
  json out = json::array();
  for (const auto &p : positions)
    for (double v : p) out.push_back(v);
  return out;
}

json flat(const std::vector<standin::WireCall> &calls) {
  json out = json::array();
  for (const standin::WireCall &c : calls) {
    out.push_back(static_cast<int>(c.op));
    if (c.op == standin::WireOp::Circle) {
      out.push_back(c.radius);
      out.push_back(0);
      out.push_back(0);
    } else {
      for (float v : c.point) out.push_back(static_cast<double>(v));
    }
    out.push_back(c.mode);
  }
  return out;
}

// 20 points on a bent line, pairs of neighbours; point 19 is not selected.
std::string mesh() {
  std::string text;
  for (int i = 0; i < 20; ++i)
    text += "v " + std::to_string(i) + " " + std::to_string(i % 2 == 0 ? 2 + i % 3 : 0) + " " +
            std::to_string(i / 5) + "\n";
  return text;
}

TEST(SceneTrackerTest, APageApplyingEveryAnswerHoldsTheSessionsScene) {
  standin::HostGlobals globals;
  globals.messages().setEcho(nullptr);
  const standin::LoadedModule module = standin::LoadedModule::open(EP_MODULE_PATH);
  std::ostream silent{nullptr};
  standin::ObjFile obj = standin::ObjFile::parse(mesh(), "line.obj");
  standin::SessionSetup setup;
  setup.out = &silent;
  setup.liveViewport = true;
  standin::Session session(module, globals, obj, setup);
  session.run(standin::parseCommand("select 0-17"));
  session.run(standin::parseCommand("pick"));
  session.beginHistoryHere();
  standin::PlaygroundApi api(session);

  PageScene page;
  json answer = json::parse(api.get("state").body);
  page.apply(answer);
  std::mt19937 random(20);
  auto number = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
  };
  int fullAnswers = 0, changeAnswers = 0;
  for (int step = 0; step < 300; ++step) {
    json body{{"version", answer["version"]}};
    std::string action;
    switch (random() % 10) {
      case 0:
      case 1:
        action = "press";
        body["handle"] = static_cast<int>(random() % 18);
        body["position"] = {number(0, 20), number(0, 5), number(0, 4)};
        break;
      case 2:
      case 3:
      case 4:
        action = "drag";
        body["position"] = {number(0, 20), number(-3, 8), number(0, 4)};
        body["ctrl"] = random() % 3 == 0;
        break;
      case 5:
        action = "release";
        break;
      case 6:
        action = random() % 2 == 0 ? "factor" : "symmetry";
        if (action == "factor")
          body["value"] = number(0.2, 3);
        else
          body["on"] = random() % 2 == 0;
        break;
      case 7:
        action = random() % 2 == 0 ? "undo" : "redo";
        break;
      case 8:
        action = "reset";
        break;
      default:
        action = "select";
        body["selection"] = random() % 2 == 0 ? "0-17" : "2-13";
        break;
    }
    const standin::ApiReply reply = api.post(action, body.dump());
    if (reply.status != 200) continue;  // refused as the session stands: nothing changed
    answer = json::parse(reply.body);
    (answer.value("full", false) ? fullAnswers : changeAnswers)++;
    page.apply(answer);
    ASSERT_EQ(page.points, flat(session.mesh().positions())) << "step " << step << ": " << action;
    ASSERT_EQ(page.handles, flat(session.handles())) << "step " << step << ": " << action;
    ASSERT_EQ(page.overlay, flat(session.overlay())) << "step " << step << ": " << action;
  }
  // The run went through both kinds of answer, many times.
  EXPECT_GT(fullAnswers, 10);
  EXPECT_GT(changeAnswers, 100);
}

}  // namespace
