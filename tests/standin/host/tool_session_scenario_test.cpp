// Whole sessions with the built module loaded from its file, driven through
// the stand-in host's mouse, panel and event APIs, checked against positions
// worked out by hand.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "standin/host/host_globals.h"
#include "standin/host/mesh.h"
#include "standin/host/module_loader.h"
#include "standin/host/panel_model.h"
#include "standin/host/panel_service.h"
#include "standin/host/tool_session.h"
#include "standin/host/wire_recorder.h"
#include "standin/pictures/svg_view.h"

namespace {

using standin::Position;
using standin::WireCall;
using standin::WireOp;

constexpr std::uintptr_t kMode = 0x8002, kFactor = 0x8003, kOffset = 0x8004, kSymmetry = 0x8005,
                         kInvertHandle = 0x8006;

class Scenario : public ::testing::Test {
 protected:
  void SetUp() override { globals_.messages().setEcho(nullptr); }
  // Four pairs along -x: pair i has its first point (the handle end) at
  // (0, 3i, 0) and its anchor end at (i+1, 3i, 0).
  void makeFourPairs() {
    for (int i = 0; i < 4; ++i) {
      mesh_.addPoint({0, 3.0 * i, 0}, true);
      mesh_.addPoint({i + 1.0, 3.0 * i, 0}, true);
    }
  }
  void startTool() {
    session_ = std::make_unique<standin::ToolSession>(module_, globals_, mesh_);
    session_->setWireDraw(recorder_.access());
    ASSERT_EQ(session_->activate(), 0);
    session_->runCycle();  // the host's first test: update
  }
  void expectPoint(int index, double x, double y, double z) {
    const Position &p = mesh_.position(static_cast<std::size_t>(index));
    EXPECT_DOUBLE_EQ(p[0], x) << "point " << index;
    EXPECT_DOUBLE_EQ(p[1], y) << "point " << index;
    EXPECT_DOUBLE_EQ(p[2], z) << "point " << index;
  }
  // The last full overlay: 12 calls a pair.
  std::vector<WireCall> lastOverlay(std::size_t pairs) const {
    const auto &calls = recorder_.calls();
    if (calls.size() < 12 * pairs) return {};
    return {calls.end() - static_cast<std::ptrdiff_t>(12 * pairs), calls.end()};
  }
  void expectPairDrawn(const std::vector<WireCall> &overlay, std::size_t pair, std::array<float, 3> handle,
                       std::array<float, 3> anchor, std::array<float, 3> vector) {
    SCOPED_TRACE(::testing::Message() << "pair " << pair);
    const WireCall *c = &overlay[12 * pair];
    EXPECT_EQ(c[0].op, WireOp::MoveTo);
    EXPECT_EQ(c[0].point, handle);
    EXPECT_EQ(c[1].point, anchor);
    EXPECT_EQ(c[3].point, vector);
    EXPECT_EQ(c[3].mode, 101);
    EXPECT_EQ(c[6].point, anchor);
    EXPECT_EQ(c[6].mode, 1);
    EXPECT_EQ(c[10].point, handle);
    EXPECT_EQ(c[11].op, WireOp::Circle);
  }

  standin::HostGlobals globals_;
  standin::PanelService &panels_ = globals_.panels();
  standin::LoadedModule module_ = standin::LoadedModule::open(EP_MODULE_PATH);
  standin::Mesh mesh_;
  standin::WireRecorder recorder_;
  std::unique_ptr<standin::ToolSession> session_;
};

TEST_F(Scenario, DraggingAHandleEndWithCtrlForPartOfTheDrag) {
  makeFourPairs();
  startTool();
  expectPoint(2, 0, 3, 0);  // the first build leaves every point in place

  // Grab pair 1's handle end and drag across its line: factor 1.5, only it moves.
  session_->press({0.1, 3.1, 0});
  ASSERT_EQ(session_->heldHandle(), 2);
  session_->drag({-1, 3.7, 0});
  expectPoint(2, -1, 3, 0);
  expectPoint(0, 0, 0, 0);
  expectPoint(6, 0, 9, 0);

  // With CTRL: factor 2 for every pair, each about its own anchor.
  recorder_.clear();
  session_->drag({-2, 3.2, 0}, /*ctrl=*/true);
  expectPoint(0, -1, 0, 0);
  expectPoint(2, -2, 3, 0);
  expectPoint(4, -3, 6, 0);
  expectPoint(6, -4, 9, 0);
  for (int pair = 0; pair < 4; ++pair) expectPoint(2 * pair + 1, pair + 1, 3.0 * pair, 0);
  const std::vector<WireCall> overlay = lastOverlay(4);
  ASSERT_EQ(overlay.size(), 48u);
  for (int i = 0; i < 4; ++i) {
    const float y = 3.0f * static_cast<float>(i), length = static_cast<float>(i + 1);
    expectPairDrawn(overlay, static_cast<std::size_t>(i), {-length, y, 0}, {length, y, 0}, {-3, 0, 0});
  }
  std::vector<standin::ScenePoint> scene;
  for (std::size_t i = 0; i < mesh_.size(); ++i) {
    const Position &p = mesh_.position(i);
    scene.push_back({p[0], p[1], p[2], mesh_.selected(i)});
  }
  standin::SvgOptions options;
  options.view = standin::ViewAxis::Front;
  options.title = "Four pairs after a CTRL drag";
  const std::string svg = standin::renderSvg(scene, overlay, options);
  EXPECT_NE(svg.find("<circle"), std::string::npos);
  EXPECT_NE(svg.find("dasharray"), std::string::npos);
  std::ofstream(std::string(EP_TEST_OUTPUT_DIR) + "/four_pairs_ctrl_drag.svg") << svg;  // to look at
  session_->release();

  // Right click keeps the result as the base of a new stretch.
  session_->press({5, 5, 0}, false, /*rightButton=*/true);
  session_->release();
  session_->press({-2, 3, 0});
  ASSERT_EQ(session_->heldHandle(), 2);
  session_->drag({-3, 3, 0});  // from the new base: length 4 to 5, factor 1.25
  expectPoint(2, -3, 3, 0);
  expectPoint(0, -1, 0, 0);
  session_->release();
  session_->close();
  expectPoint(2, -3, 3, 0);
}

TEST_F(Scenario, ClickingAnAnchorEndSwapsTheEndsBeforeDragging) {
  makeFourPairs();
  startTool();
  session_->press({1, 0, 0});  // pair 0's anchor end
  ASSERT_EQ(session_->heldHandle(), 1);
  expectPoint(1, 1, 0, 0);
  session_->drag({2, 0.5, 0});  // now the handle end, partner point 0 at the origin: factor 2
  expectPoint(1, 2, 0, 0);
  expectPoint(0, 0, 0, 0);
  session_->release();
}

TEST_F(Scenario, APressAwayFromEveryHandleDragsTheNearestHandleEnd) {
  // Pair 0: handle end (0,0,0), anchor (1,0,0); pair 1: handle end (0,2,5),
  // anchor (1,2,5). The press is out of the pick radius of every point.
  for (const auto &[viewAxis, grabbed] : {std::pair{-1, 2}, std::pair{2, 0}}) {
    SCOPED_TRACE(::testing::Message() << "view axis " << viewAxis);
    mesh_ = {};
    for (const Position &p : std::vector<Position>{{0, 0, 0}, {1, 0, 0}, {0, 2, 5}, {1, 2, 5}})
      mesh_.addPoint(p, true);
    standin::SessionOptions options;
    options.viewAxis = viewAxis;
    session_ = std::make_unique<standin::ToolSession>(module_, globals_, mesh_, options);
    ASSERT_EQ(session_->activate(), 0);
    session_->runCycle();
    // In perspective pair 1's handle end is nearer (depth counts); in the front
    // view (z left out) pair 0's is.
    session_->press({0, 0.5, 4});
    ASSERT_EQ(session_->heldHandle(), grabbed);
    session_->drag({-1, 0.5, 4});  // along the grabbed pair's line, away from its anchor: factor 2
    const int other = grabbed == 0 ? 2 : 0;
    expectPoint(grabbed, -1, grabbed == 0 ? 0 : 2, grabbed == 0 ? 0 : 5);
    expectPoint(grabbed + 1, 1, grabbed == 0 ? 0 : 2, grabbed == 0 ? 0 : 5);
    expectPoint(other, 0, other == 0 ? 0 : 2, other == 0 ? 0 : 5);
    session_->release();
    session_->close();
  }
}

TEST_F(Scenario, InvertHandleMovesNoPointAndPanelEditsThenMoveTheOtherEnds) {
  makeFourPairs();
  startTool();
  void *panel = session_->requestPanel();
  ASSERT_NE(panel, nullptr);
  standin::PanelModel model(panels_, panel, session_->binding().instance,
                            [this](std::uintptr_t) { session_->runCycle(); });

  const std::vector<Position> before = mesh_.positions();
  recorder_.clear();
  ASSERT_EQ(model.press(kInvertHandle), standin::EditResult::Done);
  EXPECT_EQ(mesh_.positions(), before) << "inverting the handles moves no point";
  const std::vector<WireCall> overlay = lastOverlay(4);
  ASSERT_EQ(overlay.size(), 48u);
  for (int i = 0; i < 4; ++i) {  // the circle now sits on each pair's second point
    const float y = 3.0f * static_cast<float>(i), length = static_cast<float>(i + 1);
    // The marks keep the direction the last build read: the vector is not recomputed.
    expectPairDrawn(overlay, static_cast<std::size_t>(i), {length, y, 0}, {0, y, 0}, {-3, 0, 0});
  }

  // Every pair now stretches about its first point.
  ASSERT_EQ(model.edit(kFactor, 1.5), standin::EditResult::Done);
  for (int i = 0; i < 4; ++i) {
    expectPoint(2 * i, 0, 3.0 * i, 0);
    expectPoint(2 * i + 1, 1.5 * (i + 1), 3.0 * i, 0);
  }
  ASSERT_EQ(model.edit(kFactor, 1.5), standin::EditResult::Done);
  expectPoint(7, 6, 9, 0);  // 1.5 again is 1.5 of the original, not 2.25

  ASSERT_EQ(model.edit(kMode, 1), standin::EditResult::Done);  // Factor back to 1: the pairs return
  expectPoint(7, 4, 9, 0);
  ASSERT_EQ(model.edit(kOffset, 0.5), standin::EditResult::Done);
  for (int i = 0; i < 4; ++i) expectPoint(2 * i + 1, i + 1.5, 3.0 * i, 0);

  ASSERT_EQ(model.edit(kSymmetry, 1), standin::EditResult::Done);
  for (int i = 0; i < 4; ++i) {
    expectPoint(2 * i + 1, i + 1.5, 3.0 * i, 0);
    expectPoint(2 * i, -0.5, 3.0 * i, 0);
  }
  EXPECT_NE(model.render().find("Offset"), std::string::npos);
  session_->close();
  expectPoint(0, -0.5, 0, 0);  // closing the tool keeps the result
}

// After Factor 1.5 on the four pairs, point 2i is at (-0.5(i+1), 3i, 0) and
// point 2i+1 stays at (i+1, 3i, 0). The stand-in host, like the Modeler, puts
// the base back before every build, so a build after Invert Handle would have
// to recompute the stretch; Invert Handle asks for none.
class InvertAfterAStretch : public Scenario {
 protected:
  void SetUp() override {
    Scenario::SetUp();
    makeFourPairs();
    startTool();
    panel_ =
        std::make_unique<standin::PanelModel>(panels_, session_->requestPanel(), session_->binding().instance,
                                              [this](std::uintptr_t) { session_->runCycle(); });
    ASSERT_EQ(panel_->edit(kFactor, 1.5), standin::EditResult::Done);
    stretched_ = mesh_.positions();
    builds_ = session_->edits().builds().size();
    recorder_.clear();
    ASSERT_EQ(panel_->press(kInvertHandle), standin::EditResult::Done);
  }
  std::unique_ptr<standin::PanelModel> panel_;
  std::vector<Position> stretched_;
  std::size_t builds_ = 0;
};

TEST_F(InvertAfterAStretch, KeepsWhatTheUserSawAndShowsTheEndsSwapped) {
  EXPECT_EQ(mesh_.positions(), stretched_) << "the stretch on show stays";
  EXPECT_EQ(session_->edits().builds().size(), builds_) << "no build: only a redraw";
  const std::vector<WireCall> overlay = lastOverlay(4);
  ASSERT_EQ(overlay.size(), 48u);
  for (int i = 0; i < 4; ++i) {  // the circle on each pair's second point, the points where they stand
    const float y = 3.0f * static_cast<float>(i), length = static_cast<float>(i + 1);
    expectPairDrawn(overlay, static_cast<std::size_t>(i), {length, y, 0}, {-0.5f * length, y, 0}, {-3, 0, 0});
  }
  EXPECT_EQ(panel_->control(kFactor)->doubleValue, 1.5);
  session_->close();
  EXPECT_EQ(mesh_.positions(), stretched_) << "closing keeps the stretch";
}

TEST_F(InvertAfterAStretch, APanelEditWorksFromTheSwappedEnds) {
  // Factor mode chosen again: Factor 1.5 from the edit's base, each second
  // point now moving.
  ASSERT_EQ(panel_->edit(kMode, 0), standin::EditResult::Done);
  for (int i = 0; i < 4; ++i) {
    expectPoint(2 * i, 0, 3.0 * i, 0);
    expectPoint(2 * i + 1, 1.5 * (i + 1), 3.0 * i, 0);
  }
  ASSERT_EQ(panel_->edit(kFactor, 2.0), standin::EditResult::Done);
  for (int i = 0; i < 4; ++i) {
    expectPoint(2 * i, 0, 3.0 * i, 0);
    expectPoint(2 * i + 1, 2.0 * (i + 1), 3.0 * i, 0);
  }
}

TEST_F(InvertAfterAStretch, ADragWorksFromTheSwappedEnds) {
  session_->press({1, 0, 0});  // pair 0's second point, its handle end now
  ASSERT_EQ(session_->heldHandle(), 1);
  session_->drag({3, 0.2, 0});  // about point 0 at the edit's base, the origin: factor 3
  expectPoint(1, 3, 0, 0);
  expectPoint(0, 0, 0, 0);
  session_->release();
}

TEST_F(InvertAfterAStretch, ARightClickKeepsTheStretchAndTheSwappedEnds) {
  // The kept stretch is the new edit's base; its first build applies the
  // panel's Factor 1.5, as after any panel edit, about each first point.
  session_->press({9, 9, 0}, false, /*rightButton=*/true);
  ASSERT_EQ(mesh_.positions(), stretched_);
  session_->release();
  for (int i = 0; i < 4; ++i) {
    expectPoint(2 * i, -0.5 * (i + 1), 3.0 * i, 0);
    expectPoint(2 * i + 1, 1.75 * (i + 1), 3.0 * i, 0);
  }
  ASSERT_EQ(panel_->edit(kFactor, 2.0), standin::EditResult::Done);
  for (int i = 0; i < 4; ++i) {
    expectPoint(2 * i, -0.5 * (i + 1), 3.0 * i, 0);
    expectPoint(2 * i + 1, 2.5 * (i + 1), 3.0 * i, 0);
  }
}

// A host that picks the tool once for each of many small selections of a
// mesh, each in a layer of its own (as --length does for each length): every
// build scans the selected points alone, and every pick's options panel is
// gone once the tool is closed.
TEST_F(Scenario, PicksOfSelectionsInLayersOfTheirOwnScanThoseAndLeaveNoPanel) {
  for (int i = 0; i < 50; ++i) {
    mesh_.addPoint({0, static_cast<double>(i), 0});
    mesh_.addPoint({1.0 + i, static_cast<double>(i), 0});
  }
  for (int pair : {7, 3, 41}) {
    const auto handle = static_cast<std::size_t>(2 * pair);
    mesh_.selectInOrder(std::vector<std::size_t>{handle, handle + 1}, true);
    startTool();
    void *panel = session_->requestPanel();
    ASSERT_NE(panel, nullptr);
    standin::PanelModel model(panels_, panel, session_->binding().instance,
                              [this](std::uintptr_t) { session_->runCycle(); });
    ASSERT_EQ(model.edit(kFactor, 2.0), standin::EditResult::Done);
    EXPECT_EQ(globals_.monitors().history().back().stepCalls, 3u) << "two points scanned, then one pair";
    session_->close();
    EXPECT_EQ(panels_.panel(panel), nullptr) << "the panel closes with the tool";
    expectPoint(2 * pair, -1.0 - pair, pair, 0);
  }
  EXPECT_TRUE(panels_.panels().empty());
  expectPoint(2 * 8, 0, 8, 0);  // a pair never selected stays
  EXPECT_TRUE(globals_.messages().boxes().empty());
}

// The engine over a large selection, with and without a progress monitor.
class LargeSelection : public Scenario, public ::testing::WithParamInterface<bool> {};

TEST_P(LargeSelection, StretchesOneHundredThousandPoints) {
  const bool withMonitor = GetParam();
  globals_.monitors().setAvailable(withMonitor);
  constexpr int kPoints = 100000;
  for (int i = 0; i < kPoints / 2; ++i) {
    mesh_.addPoint({0, static_cast<double>(i), 0}, true);
    mesh_.addPoint({2, static_cast<double>(i), 0}, true);
  }
  startTool();
  void *panel = session_->requestPanel();
  standin::PanelModel model(panels_, panel, session_->binding().instance,
                            [this](std::uintptr_t) { session_->runCycle(); });
  ASSERT_EQ(model.edit(kFactor, 1.5), standin::EditResult::Done);
  for (int i : {0, 2, 50000, 99998}) expectPoint(i, -1, i / 2, 0);
  for (int i : {1, 99999}) expectPoint(i, 2, i / 2, 0);
  EXPECT_TRUE(globals_.messages().boxes().empty());
  const auto &monitors = globals_.monitors().history();
  if (withMonitor) {
    ASSERT_FALSE(monitors.empty());
    EXPECT_EQ(monitors.back().total, 2u * kPoints);
    EXPECT_EQ(monitors.back().stepCalls, kPoints + kPoints / 2u) << "every scanned point, then every pair";
  } else {
    EXPECT_TRUE(monitors.empty());
  }
  session_->close();
}

INSTANTIATE_TEST_SUITE_P(Monitor, LargeSelection, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &param) {
                           return param.param ? "WithMonitor" : "WithoutMonitor";
                         });

}  // namespace
