// The stand-in host driving a tool: activation, the edit model's builds and
// edit ends, the host cycle, the mouse with its handle pick, and closing.
#include "standin/host/tool_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "standin/host/failure.h"
#include "standin/host/host_globals.h"
#include "standin/host/mesh.h"
#include "tests/standin/host/fake_tool.h"

namespace {

using standin::Failure;
using standin::FailureKind;
using standin::HostGlobals;
using standin::Mesh;
using standin::Position;
using standin::ToolSession;
using standin_test::fakeServer;
using standin_test::FakeTool;
using testing::ElementsAre;
using testing::HasSubstr;

class Session : public testing::Test {
 protected:
  Session() {
    globals.messages().setEcho(nullptr);
    mesh.addPoint({2, 0, 0}, true);
    mesh.addPoint({4, 0, 0}, false);
    mesh.addPoint({6, 1, 0}, true);
  }
  std::unique_ptr<ToolSession> activated() {
    auto session = std::make_unique<ToolSession>(fakeServer(), &tool, globals, mesh);
    EXPECT_EQ(session->activate(), 0);
    return session;
  }
  double x(std::size_t i) const { return mesh.position(i)[0]; }

  HostGlobals globals;
  Mesh mesh;
  FakeTool tool;
};

TEST_F(Session, ActivationFillsTheTableButLeavesMoveAndUpAlone) {
  auto session = activated();
  EXPECT_TRUE(session->live());
  EXPECT_EQ(session->binding().instance, &tool);
  EXPECT_EQ(session->binding().tool, &session->table());
  EXPECT_TRUE(session->moveUpUntouched());
  EXPECT_THAT(globals.lookups(), ElementsAre("LWM: Dynamic Monitor", "Info Messages 2", "LWXPanel"));
}

TEST_F(Session, EachFailedActivationThrowsSayingWhyAndLeavesNothingToClose) {
  struct Case {
    int version;
    const char *withheld;
    int toolResult;
    FailureKind kind;
    const char *says;
  };
  for (const Case &c :
       {Case{3, nullptr, 0, FailureKind::ActivationVersion, "interface version 4 (result 1)"},
        Case{4, "Info Messages 2", 0, FailureKind::ActivationGlobal,
             "missing (last looked up: \"Info Messages 2\") (result 2)"},
        Case{4, nullptr, 3, FailureKind::ActivationFailed, "could not start"}}) {
    HostGlobals host;
    host.messages().setEcho(nullptr);
    if (c.withheld != nullptr) host.withhold(c.withheld);
    FakeTool failing;
    failing.activationResult = c.toolResult;
    ToolSession session(fakeServer(), &failing, host, mesh);
    try {
      session.activateOrThrow(c.version);
      ADD_FAILURE() << "activated";
    } catch (const Failure &error) {
      EXPECT_EQ(error.kind(), c.kind);
      EXPECT_THAT(error.what(), HasSubstr(c.says));
      EXPECT_THAT(error.what(), HasSubstr("\"Fake_Tool\""));
    }
    EXPECT_FALSE(session.live());
    session.close();
    EXPECT_EQ(failing.doneCalls, 0);
  }
}

TEST_F(Session, EveryBuildOfAnEditStartsFromItsBase) {
  auto session = activated();
  tool.factor = 1.5;
  session->runCycle();  // the tool's first update opens the edit
  EXPECT_EQ(x(0), 3.0);
  tool.nextTest = LWT_TEST_UPDATE;  // the same Factor typed again
  session->runCycle();
  EXPECT_EQ(x(0), 3.0);
  EXPECT_EQ(x(2), 9.0);
  EXPECT_EQ(x(1), 4.0);  // not selected
  ASSERT_EQ(session->edits().builds().size(), 2u);
  EXPECT_TRUE(session->edits().builds()[1].applied);
  EXPECT_EQ(session->edits().builds()[1].moves, 2u);
}

// The base is put back from what the last build moved: a build that moves
// other points than the one before still starts from the base everywhere.
TEST_F(Session, ABuildMovingOtherPointsStillStartsFromTheBase) {
  auto session = activated();
  tool.factor = 2.0;
  session->runCycle();
  EXPECT_EQ(x(0), 4.0);
  EXPECT_EQ(x(2), 12.0);
  mesh.setSelected(0, false);
  mesh.setSelected(1, true);
  tool.nextTest = LWT_TEST_UPDATE;
  session->runCycle();
  EXPECT_EQ(x(0), 2.0) << "moved by the first build only: back at the base";
  EXPECT_EQ(x(1), 8.0);
  EXPECT_EQ(x(2), 12.0) << "moved by both builds, each from the base";
  tool.nextTest = LWT_TEST_REJECT;
  session->runCycle();
  EXPECT_EQ(mesh.positions(), (std::vector<Position>{{2, 0, 0}, {4, 0, 0}, {6, 1, 0}}));
}

TEST_F(Session, CloneKeepsTheResultAndStartsTheNextEditOnIt) {
  auto session = activated();
  tool.factor = 2.0;
  session->runCycle();
  tool.nextTest = LWT_TEST_CLONE;
  tool.testAfterEnd = LWT_TEST_UPDATE;
  session->runCycle();
  EXPECT_THAT(tool.ends, ElementsAre(1));
  EXPECT_EQ(x(0), 4.0);
  session->runCycle();  // the tool asks for the new edit's build
  EXPECT_EQ(x(0), 8.0);
}

TEST_F(Session, RejectRestoresTheBase) {
  auto session = activated();
  tool.factor = 2.0;
  session->runCycle();
  tool.nextTest = LWT_TEST_REJECT;
  session->runCycle();
  EXPECT_THAT(tool.ends, ElementsAre(0));
  EXPECT_EQ(x(0), 2.0);
  EXPECT_FALSE(session->edits().editOpen());
}

TEST_F(Session, ABuildThatFailsOrLeavesItsOperationOpenIsDiscarded) {
  for (int variant = 0; variant < 2; ++variant) {
    Mesh fresh;
    fresh.addPoint({2, 0, 0}, true);
    FakeTool failing;
    failing.factor = 3.0;
    if (variant == 0)
      failing.buildError = "Failed";
    else
      failing.skipDone = true;
    ToolSession session(fakeServer(), &failing, globals, fresh);
    ASSERT_EQ(session.activate(), 0);
    session.runCycle();
    EXPECT_EQ(fresh.position(0)[0], 2.0) << "variant " << variant;
    const standin::BuildRecord &build = session.edits().builds().back();
    EXPECT_EQ(build.errorText, variant == 0);
    EXPECT_EQ(build.text, variant == 0 ? "Failed" : "");
    EXPECT_FALSE(build.applied);
  }
}

TEST_F(Session, DirtyLeadsToDrawAndBitTwoToHelp) {
  auto session = activated();
  tool.nextTest = LWT_TEST_NOTHING;
  for (int dirty : {0, 1, 3}) {
    tool.dirty = dirty;
    session->runCycle();
  }
  EXPECT_EQ(tool.draws, 2);
  EXPECT_EQ(tool.helps, 1);
  EXPECT_EQ(session->lastHelp(), "fake help");
  EXPECT_EQ(session->countingWireDraw().moveTo, 2u);
  EXPECT_EQ(session->countingWireDraw().lineTo, 2u);
}

TEST_F(Session, CloseEndsTheOpenEditKeepingItThenCallsDoneOnce) {
  auto session = activated();
  tool.factor = 2.0;
  session->runCycle();
  session->close();
  session.reset();
  EXPECT_THAT(tool.ends, ElementsAre(1));
  EXPECT_EQ(tool.doneCalls, 1);
  EXPECT_EQ(x(0), 4.0);
}

TEST_F(Session, HostEventsReachTheToolAsCodes) {
  auto session = activated();
  session->drop();
  session->reset();
  session->activateEvent();
  EXPECT_THAT(tool.events, ElementsAre(0, 1, 2));
}

// The mouse: handles at x = 0, 1 and 1.5 on the x axis, pick radius 0.25.
class Mouse : public Session {
 protected:
  Mouse() {
    tool.nextTest = LWT_TEST_NOTHING;
    tool.handles = {{0, 0, 0}, {1, 0, 0}, {1.5, 0, 0}};
  }
};

TEST_F(Mouse, PressPicksTheNearestHandleAndDragsItWithRawAndSnappedPositions) {
  auto session = activated();
  session->press({1.05, 0.2, 0}, false, false);
  session->drag({1.3, 0.1, 0}, true);
  session->release();
  ASSERT_THAT(tool.adjustIndices, ElementsAre(1, 1));
  const LWToolEvent &pressed = tool.adjustEvents[0];
  EXPECT_EQ(pressed.posRaw[0], 1.05);
  EXPECT_EQ(pressed.posRaw[1], 0.2);
  EXPECT_EQ(pressed.posSnap[0], 1.0);
  EXPECT_EQ(pressed.posSnap[1], 0.0);
  EXPECT_EQ(pressed.flags, 0);
  EXPECT_EQ(tool.adjustEvents[1].flags, LWT_EVENT_CTRL);
  EXPECT_EQ(tool.adjustEvents[1].posRaw[0], 1.3);
  EXPECT_EQ(tool.startCalls, 0);
  EXPECT_EQ(tool.upCalls, 0);  // the tool has no up
}

TEST_F(Mouse, ATieGoesToTheHigherPriorityAndNoHandleNearAsksStart) {
  tool.priorities = {1, 5, 2};
  auto session = activated();
  session->press({1.25, 0, 0}, false, false);  // 0.25 from handles 1 and 2
  session->release();
  tool.priorities = {1, 2, 5};
  session->press({1.25, 0, 0}, false, false);
  session->release();
  session->press({5, 5, 5}, false, true);  // nothing near: start answers 7
  EXPECT_THAT(tool.adjustIndices, ElementsAre(1, 2, 7));
  EXPECT_EQ(tool.startCalls, 1);
  EXPECT_EQ(tool.adjustEvents[2].flags, LWT_EVENT_RIGHT_BUTTON);
}

TEST_F(Mouse, ADownThatTakesTheClickGetsNoAdjustAndUpIsCalledOnlyWhenBound) {
  tool.downResult = 1;
  tool.bindUp = true;
  auto session = activated();
  EXPECT_FALSE(session->moveUpUntouched());
  session->press({0, 0, 0}, true, true);
  session->drag({1, 0, 0});
  session->release();
  EXPECT_TRUE(tool.adjustIndices.empty());
  EXPECT_EQ(tool.upCalls, 1);
}

TEST_F(Mouse, TraceGetsOneLinePerCallback) {
  std::vector<std::string> lines;
  globals.tracer().setSink([&](const std::string &line) { lines.push_back(line); });
  auto session = activated();
  session->press({0, 0, 0});
  EXPECT_THAT(lines,
              testing::IsSupersetOf({HasSubstr("activate(version=4) -> 0"), HasSubstr("down("),
                                     HasSubstr("count() -> 3"), HasSubstr("adjust(0, posRaw=(0, 0, 0)"),
                                     HasSubstr("test() -> 0"), HasSubstr("dirty() -> 0")}));
}

}  // namespace
