// The scene the page builds from the answers is the session's scene: a page
// that applies every answer of a random run of commands (drags with and
// without CTRL, panel edits, undo, redo, reset, release, a new selection)
// holds the points, handles and overlay the session has after each one.
#include "standin/server/scene_tracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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

// What a page keeps from the binary answers: the same flat arrays (NaN for
// null), with each handle's and call's link, moved with the points.
struct BinaryPage {
  std::vector<double> points, handles, overlay;
  std::vector<std::uint32_t> handleLinks, callLinks;

  template <typename T>
  static std::vector<T> array(const json &index, const std::string &bytes, std::size_t start, const char *name) {
    const json &entry = index.at(name);
    const std::size_t offset = entry.at("offset").get<std::size_t>(), count = entry.at("count").get<std::size_t>();
    EXPECT_EQ(offset % 8, 0u) << name;
    EXPECT_LE(start + offset + count * sizeof(T), bytes.size()) << name;
    std::vector<T> out(count);
    if (count > 0) std::memcpy(out.data(), bytes.data() + start + offset, count * sizeof(T));
    return out;
  }

  void apply(const std::string &body) {
    std::uint32_t length = 0;
    ASSERT_GE(body.size(), 4u);
    std::memcpy(&length, body.data(), 4);
    const std::size_t start = 4 + length;
    ASSERT_EQ(start % 8, 0u);
    const json header = json::parse(body.substr(4, length));
    const json &index = header["arrays"];
    auto u32 = [&](const char *name) { return array<std::uint32_t>(index, body, start, name); };
    auto f64 = [&](const char *name) { return array<double>(index, body, start, name); };
    if (header.value("full", false)) {
      points = f64("points");
      handleLinks = u32("handleLinks");
      handles.assign(3 * handleLinks.size(), std::nan(""));
      setHandles(handleLinks, handleLinks.size(), nullptr, f64("handleOwn"));
      overlay.clear();
      callLinks.clear();
      setCalls(index, body, start, nullptr);
      return;
    }
    const std::vector<std::uint32_t> moved = u32("movedIndex");
    const std::vector<double> xyz = f64("movedXyz");
    for (std::size_t k = 0; k < moved.size(); ++k)
      for (std::size_t i = 0; i < 3; ++i) points[3 * moved[k] + i] = xyz[3 * k + i];
    const auto handleCount = header["handleCount"].get<std::size_t>();
    handles.resize(3 * handleCount, std::nan(""));
    handleLinks.resize(handleCount, standin::kNoLink);
    const auto calls = header["overlayLength"].get<std::size_t>();
    overlay.resize(standin::kOverlayNumbersPerCall * calls, 0);
    callLinks.resize(calls, standin::kNoLink);
    std::vector<unsigned char> isMoved(points.size() / 3, 0);
    for (std::uint32_t p : moved) isMoved[p] = 1;
    for (std::size_t j = 0; j < handleLinks.size(); ++j)
      if (handleLinks[j] != standin::kNoLink && isMoved[handleLinks[j]]) follow(handles, 3 * j, handleLinks[j]);
    for (std::size_t slot = 0; slot < callLinks.size(); ++slot)
      if (callLinks[slot] != standin::kNoLink && isMoved[callLinks[slot]]) followAsFloat(slot, callLinks[slot]);
    const std::vector<std::uint32_t> named = u32("handleIndex");
    setHandles(u32("handleLinks"), named.size(), named.data(), f64("handleOwn"));
    const std::vector<std::uint32_t> slots = u32("overlaySlots");
    setCalls(index, body, start, &slots);
  }

  void follow(std::vector<double> &to, std::size_t at, std::uint32_t point) {
    for (std::size_t i = 0; i < 3; ++i) to[at + i] = points[3 * point + i];
  }
  void followAsFloat(std::size_t slot, std::uint32_t point) {
    for (std::size_t i = 0; i < 3; ++i)
      overlay[standin::kOverlayNumbersPerCall * slot + 1 + i] = static_cast<float>(points[3 * point + i]);
  }
  void setHandles(const std::vector<std::uint32_t> &links, std::size_t count, const std::uint32_t *which,
                  const std::vector<double> &own) {
    std::size_t o = 0;
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t j = which != nullptr ? which[k] : k;
      handleLinks[j] = links[k];
      if (links[k] != standin::kNoLink) {
        follow(handles, 3 * j, links[k]);
      } else {
        for (std::size_t i = 0; i < 3; ++i) handles[3 * j + i] = own.at(3 * o + i);
        ++o;
      }
    }
  }
  void setCalls(const json &index, const std::string &body, std::size_t start, const std::vector<std::uint32_t> *slots) {
    const auto ops = array<std::uint8_t>(index, body, start, "overlayOps");
    std::vector<std::int32_t> modes;
    if (index.at("overlayModes").at("type") == "u8") {
      for (std::uint8_t m : array<std::uint8_t>(index, body, start, "overlayModes")) modes.push_back(m);
    } else {
      modes = array<std::int32_t>(index, body, start, "overlayModes");
    }
    const auto links = array<std::uint32_t>(index, body, start, "overlayLinks");
    const auto xyz = array<float>(index, body, start, "overlayXyz");
    const auto radii = array<double>(index, body, start, "overlayRadii");
    if (slots == nullptr) {
      overlay.assign(standin::kOverlayNumbersPerCall * ops.size(), 0);
      callLinks.assign(ops.size(), standin::kNoLink);
    }
    std::size_t o = 0, r = 0;
    for (std::size_t k = 0; k < ops.size(); ++k) {
      const std::size_t slot = slots != nullptr ? slots->at(k) : k;
      double *call = &overlay[standin::kOverlayNumbersPerCall * slot];
      call[0] = ops[k];
      call[4] = modes[k];
      callLinks[slot] = links[k];
      if (ops[k] == 3) {
        call[1] = radii.at(r++);
        call[2] = call[3] = 0;
      } else if (links[k] != standin::kNoLink) {
        followAsFloat(slot, links[k]);
      } else {
        for (std::size_t i = 0; i < 3; ++i) call[1 + i] = xyz.at(3 * o + i);
        ++o;
      }
    }
  }
};

// The flat arrays as doubles, null as NaN.
std::vector<double> numbers(const json &flat) {
  std::vector<double> out;
  for (const json &v : flat) out.push_back(v.is_null() ? std::nan("") : v.get<double>());
  return out;
}

// Equal, NaN equal to NaN.
bool sameNumbers(const std::vector<double> &a, const std::vector<double> &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](double x, double y) {
           return x == y || (std::isnan(x) && std::isnan(y));
         });
}

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

// The line mesh in a session with a live viewport, nine pairs selected and
// the tool picked.
struct LineSession {
  LineSession() {
    globals.messages().setEcho(nullptr);
    session.run(standin::parseCommand("select 0-17"));
    session.run(standin::parseCommand("pick"));
  }
  standin::HostGlobals globals;
  const standin::LoadedModule module = standin::LoadedModule::open(EP_MODULE_PATH);
  std::ostream silent{nullptr};
  standin::ObjFile obj = standin::ObjFile::parse(mesh(), "line.obj");
  standin::Session session{module, globals, obj, setup()};

 private:
  standin::SessionSetup setup() {
    standin::SessionSetup s;
    s.out = &silent;
    s.liveViewport = true;
    return s;
  }
};

// A random run of commands; after each answer the page (of either form) must
// hold the session's scene. A binary page also reloads the scene now and then.
void runRandomSession(standin::AnswerForm form) {
  const bool binary = form == standin::AnswerForm::Binary;
  LineSession line;
  standin::Session &session = line.session;
  session.beginHistoryHere();
  standin::PlaygroundApi api(session);

  PageScene page;
  BinaryPage binaryPage;
  std::int64_t version = 0;
  auto take = [&](const standin::ApiReply &reply) {
    if (binary) {
      EXPECT_EQ(reply.contentType, standin::kBinarySceneType);
      binaryPage.apply(reply.body);
      std::uint32_t length = 0;
      std::memcpy(&length, reply.body.data(), 4);
      const json header = json::parse(reply.body.substr(4, length));
      version = header["version"].get<std::int64_t>();
      return header;
    }
    json answer = json::parse(reply.body);
    page.apply(answer);
    version = answer["version"].get<std::int64_t>();
    return answer;
  };
  take(api.get("state", form));
  std::mt19937 random(20);
  auto number = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
  };
  int fullAnswers = 0, changeAnswers = 0;
  for (int step = 0; step < 300; ++step) {
    json body{{"version", version}};
    std::string action;
    if (binary && random() % 25 == 0) {  // a reload
      take(api.get("state", form));
      continue;
    }
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
    const standin::ApiReply reply = api.post(action, body.dump(), form);
    if (reply.status != 200) continue;  // refused as the session stands: nothing changed
    const json answer = take(reply);
    (answer.value("full", false) ? fullAnswers : changeAnswers)++;
    const std::vector<double> points = binary ? binaryPage.points : numbers(page.points);
    const std::vector<double> handles = binary ? binaryPage.handles : numbers(page.handles);
    const std::vector<double> overlay = binary ? binaryPage.overlay : numbers(page.overlay);
    ASSERT_TRUE(sameNumbers(points, numbers(flat(session.mesh().positions())))) << "step " << step << ": " << action;
    ASSERT_TRUE(sameNumbers(handles, numbers(flat(session.handles())))) << "step " << step << ": " << action;
    ASSERT_TRUE(sameNumbers(overlay, numbers(flat(session.overlay())))) << "step " << step << ": " << action;
  }
  // The run went through both kinds of answer, many times.
  EXPECT_GT(fullAnswers, 10);
  EXPECT_GT(changeAnswers, 100);
}

TEST(SceneTrackerTest, APageApplyingEveryAnswerHoldsTheSessionsScene) { runRandomSession(standin::AnswerForm::Json); }

TEST(SceneTrackerTest, APageApplyingEveryBinaryAnswerHoldsTheSessionsScene) {
  runRandomSession(standin::AnswerForm::Binary);
}

// A CTRL drag frame moves every pair: its binary answer is the moved points,
// with every handle and overlay call following its point (none named).
TEST(SceneTrackerTest, ACtrlDragFrameNamesNoHandleAndNoCallThatFollowsItsPoint) {
  LineSession line;
  standin::Session &session = line.session;
  standin::PlaygroundApi api(session);
  const auto binary = standin::AnswerForm::Binary;
  auto header = [](const std::string &body) {
    std::uint32_t length = 0;
    std::memcpy(&length, body.data(), 4);
    return json::parse(body.substr(4, length));
  };
  std::int64_t version = header(api.get("state", binary).body)["version"];
  auto send = [&](const char *action, json body) {
    body["version"] = version;
    const standin::ApiReply reply = api.post(action, body.dump(), binary);
    EXPECT_EQ(reply.status, 200) << reply.body;
    const json h = header(reply.body);
    version = h["version"];
    return std::pair(h, reply.body.size());
  };
  send("press", {{"handle", 0}, {"position", {0, 2, 0}}});
  for (double y : {4.0, 5.0, 3.5}) {
    const auto [h, bytes] = send("drag", {{"position", {0, y, 0}}, {"ctrl", true}});
    EXPECT_FALSE(h.value("full", false));
    const json &arrays = h["arrays"];
    const auto moved = arrays["movedIndex"]["count"].get<std::size_t>();
    EXPECT_GE(moved, 9u) << "every pair's handle end moves";
    EXPECT_EQ(arrays["handleIndex"]["count"], 0) << "at y " << y;
    EXPECT_EQ(arrays["overlaySlots"]["count"], 0) << "at y " << y;
    EXPECT_EQ(arrays["overlayXyz"]["count"], 0) << "at y " << y;
    EXPECT_EQ(arrays["movedXyz"]["count"], 3 * moved);
  }
}

}  // namespace

namespace {

// The answers are the same bytes whether the recorder marks the calls that
// follow their points (and the tracker leaves them out) or notes every
// changed call: a session of each, one after the other (the module is one
// per process), runs the same random commands (drags with and without CTRL,
// presses, panel edits, undo, redo, reset, new selections, reloads, a page a
// step behind), and every answer of each form is compared.
std::vector<std::pair<int, std::string>> randomAnswers(standin::AnswerForm form, bool follow, int &ctrlFrames) {
  LineSession line;
  line.session.followOverlayPoints(follow);
  standin::PlaygroundApi api(line.session);
  std::vector<std::pair<int, std::string>> answers;
  std::int64_t version = 0;
  auto keep = [&](standin::ApiReply reply) {
    if (reply.status == 200) {
      if (form == standin::AnswerForm::Json) {
        version = json::parse(reply.body)["version"].get<std::int64_t>();
      } else {
        std::uint32_t length = 0;
        std::memcpy(&length, reply.body.data(), 4);
        version = json::parse(reply.body.substr(4, length))["version"].get<std::int64_t>();
      }
    }
    answers.emplace_back(reply.status, std::move(reply.body));
  };
  keep(api.get("state", form));
  std::mt19937 random(21);
  auto number = [&](double low, double high) { return std::uniform_real_distribution<double>(low, high)(random); };
  ctrlFrames = 0;
  for (int step = 0; step < 400; ++step) {
    if (random() % 30 == 0) {
      keep(api.get("state", form));
      continue;
    }
    json body{{"version", random() % 40 == 0 ? version - 1 : version}};
    std::string action;
    const auto pick = random() % 12;
    if (pick < 2) {
      action = "press";
      body["handle"] = static_cast<int>(random() % 18);
      body["position"] = {number(0, 20), number(0, 5), number(0, 4)};
    } else if (pick < 7) {
      action = "drag";
      // Small steps as a mouse makes them, and jumps; often with CTRL.
      body["position"] = {number(0, 20), random() % 2 == 0 ? number(2, 2.01) : number(-3, 8), number(0, 4)};
      body["ctrl"] = random() % 2 == 0;
      ctrlFrames += body["ctrl"].get<bool>();
    } else if (pick == 7) {
      action = "release";
    } else if (pick == 8) {
      action = random() % 2 == 0 ? "factor" : "symmetry";
      if (action == "factor")
        body["value"] = number(0.2, 3);
      else
        body["on"] = random() % 2 == 0;
    } else if (pick == 9) {
      action = random() % 2 == 0 ? "undo" : "redo";
    } else if (pick == 10) {
      action = "reset";
    } else {
      action = "select";
      body["selection"] = random() % 2 == 0 ? "0-17" : "2-13";
    }
    keep(api.post(action, body.dump(), form));
  }
  return answers;
}

void compareWithGeneralPath(standin::AnswerForm form) {
  int ctrlFrames = 0, plainCtrlFrames = 0;
  const auto fast = randomAnswers(form, true, ctrlFrames);
  const auto plain = randomAnswers(form, false, plainCtrlFrames);
  ASSERT_EQ(fast.size(), plain.size());
  int answered = 0;
  for (std::size_t k = 0; k < fast.size(); ++k) {
    ASSERT_EQ(fast[k].first, plain[k].first) << "answer " << k;
    ASSERT_EQ(fast[k].second, plain[k].second) << "answer " << k;
    answered += fast[k].first == 200;
  }
  EXPECT_GT(ctrlFrames, 50);
  EXPECT_GT(answered, 200);
}

}  // namespace

TEST(SceneTrackerTest, JsonAnswersAreTheSameWithCallsMarkedAsFollowingTheirPoints) {
  compareWithGeneralPath(standin::AnswerForm::Json);
}

TEST(SceneTrackerTest, BinaryAnswersAreTheSameWithCallsMarkedAsFollowingTheirPoints) {
  compareWithGeneralPath(standin::AnswerForm::Binary);
}
