// The options panel as the host receives it, its values through get and set,
// the remembered settings, and Invert Handle.
#include "panels/options_panel.h"

#include <cstring>
#include <variant>

#include "standin/host/panel_model.h"
#include "tests/engine/engine_fixture.h"

namespace ep::testing {
namespace {

using standin::PanelCall;
using standin::PanelCallKind;

// What one received word must be: a number, a text, a function, or the
// Factor enable map; a pointer only valid during the call is just "set".
struct Text {
  const char *text;
};
struct Function {
  const void *address;
};
struct EnableMap {};
struct LivePointer {};
using Word = std::variant<long long, Text, Function, EnableMap, LivePointer>;

void expectWords(const std::vector<LWXPanelHint> &got, const std::vector<Word> &want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "word " << i);
    const LWXPanelHint w = got[i];
    if (auto *n = std::get_if<long long>(&want[i])) {
      EXPECT_EQ(static_cast<long long>(w), *n);
    } else if (auto *t = std::get_if<Text>(&want[i])) {
      ASSERT_NE(w, 0);
      EXPECT_STREQ(reinterpret_cast<const char *>(w), t->text);
    } else if (auto *f = std::get_if<Function>(&want[i])) {
      EXPECT_EQ(reinterpret_cast<const void *>(w), f->address);
    } else if (std::holds_alternative<EnableMap>(want[i])) {
      ASSERT_NE(w, 0);
      const int *map = reinterpret_cast<const int *>(w);
      EXPECT_EQ(map[0], 1);
      EXPECT_EQ(map[1], 0);
    } else {
      EXPECT_NE(w, 0);
    }
  }
}

class OptionsPanel : public EngineTest {
 protected:
  LWXPanelID buildPanel() {
    panels_.clearCalls();
    return funcs_.panel(state_);
  }
  const PanelCall &call(PanelCallKind kind) {
    for (const PanelCall &c : panels_.calls())
      if (c.kind == kind) return c;
    ADD_FAILURE() << "no such call";
    return panels_.calls().front();
  }
  int setInt(std::uintptr_t id, int v) { return optionsPanelSet(state_, id, &v); }
  int setDouble(std::uintptr_t id, double v) { return optionsPanelSet(state_, id, &v); }
};

TEST_F(OptionsPanel, TheHostReceivesTheTablesAndTheHintListWordForWord) {
  ASSERT_NE(buildPanel(), nullptr);
  const auto &calls = panels_.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].kind, PanelCallKind::Create);
  EXPECT_EQ(calls[0].type, 1);
  expectWords(calls[0].words, {0x8001, Text{"hidden"}, Text{"integer"}, 0x8002, Text{""}, Text{"iChoice"},
                               0x8003, Text{"Factor"}, Text{"percent"}, 0x8004, Text{"Offset"}, Text{"distance"},
                               0x8005, Text{"Symmetry"}, Text{"iBoolean"}, 0x8006, Text{"Invert Handle"},
                               Text{"vButton"}, 0x8007, Text{"About"}, Text{"vButton"}, 0, 0, 0});
  EXPECT_EQ(calls[1].kind, PanelCallKind::Describe);
  expectWords(calls[1].words, {0x8001, Text{"hidden"}, Text{"integer"}, 0x8002, Text{""}, Text{"integer"},
                               0x8003, Text{"Factor"}, Text{"percent"}, 0x8004, Text{"Offset"}, Text{"distance"},
                               0x8005, Text{"Symmetry"}, Text{"integer"}, 0, 0, 0});
  EXPECT_NE(calls[1].get, nullptr);
  EXPECT_NE(calls[1].set, nullptr);
  EXPECT_EQ(calls[2].kind, PanelCallKind::Hint);
  EXPECT_EQ(calls[2].controlId, 0u);
  expectWords(calls[2].words,
              {0x3D000E01, 0x8001,
               0x3D000B03, 0, Text{"Elastic_Pull"}, 0,
               0x3D01F984, 0x8001, Text{"Tool is currently inactive."}, 0, 0,
               0x8002, 0x8003, 0x8004, 0x8005, 0x8006, 0x8007, 0,
               0x3D01F984, 0x8002, 0, 0, EnableMap{}, 0x8003, 0,
               0x3D01F984, 0x8002, 0, 0, 0, 0x8004, 0,
               0x3D014503, 0x8002, LivePointer{}, 0,
               0x3D014102, 0x8003, 21000000,
               0x3D014002, 0x8003, -21000000,
               0x3D014202, 0x8003, 1,
               0x3D021481, 0x8006, 0,
               0x3D015F02, 0x8006, Function{reinterpret_cast<const void *>(&onInvertHandle)},
               0x3D015F02, 0x8007, Function{reinterpret_cast<const void *>(&onAbout)},
               0});
  // The choice items were read during the call.
  const standin::ControlHints *mode = panels_.newestPanel()->hintsFor(0x8002);
  ASSERT_NE(mode, nullptr);
  ASSERT_TRUE(mode->choiceItems.has_value());
  EXPECT_EQ(*mode->choiceItems, (std::vector<std::string>{"Factor", "Offset"}));
}

TEST_F(OptionsPanel, EveryCallBuildsANewPanelAndARefusedCreateStopsThere) {
  LWXPanelID first = buildPanel();
  LWXPanelID second = buildPanel();
  EXPECT_NE(first, nullptr);
  EXPECT_NE(first, second);
  panels_.failNextCreates(1);
  EXPECT_EQ(buildPanel(), nullptr);
  EXPECT_EQ(panels_.calls().size(), 1u) << "nothing is described or hinted without a panel";
}

TEST_F(OptionsPanel, GetAnswersTheAddressOfEachValue) {
  EXPECT_EQ(optionsPanelGet(state_, 0x8001), &state_->active);
  EXPECT_EQ(optionsPanelGet(state_, 0x8002), &state_->mode);
  EXPECT_EQ(optionsPanelGet(state_, 0x8003), &state_->factor);
  EXPECT_EQ(optionsPanelGet(state_, 0x8004), &state_->offset);
  EXPECT_EQ(optionsPanelGet(state_, 0x8005), &state_->symmetry);
  for (std::uintptr_t id : {0x8000u, 0x8006u, 0x8007u, 0u}) EXPECT_EQ(optionsPanelGet(state_, id), nullptr);
}

TEST_F(OptionsPanel, SetWritesTheInstanceAndTheTemplateAndAsksForAnUpdate) {
  struct Row {
    std::uintptr_t id;
    double value;
    bool updatesAll;
  };
  for (const Row &r : {Row{0x8003, 1.75, true}, Row{0x8004, -0.5, true}, Row{0x8005, 1, true}}) {
    SCOPED_TRACE(r.id);
    state_->testResult = LWT_TEST_NOTHING;
    state_->updateAll = kUpdateResetOrDrag;
    const int result = r.id == 0x8005 ? setInt(r.id, 1) : setDouble(r.id, r.value);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(state_->testResult, LWT_TEST_UPDATE);
    EXPECT_EQ(state_->updateAll, kUpdateAllPairs);
    EXPECT_EQ(rememberedSettings.testResult, LWT_TEST_UPDATE) << "flags are the instance's only";
    EXPECT_EQ(rememberedSettings.updateAll, kUpdateResetOrDrag);
  }
  EXPECT_EQ(state_->factor, 1.75);
  EXPECT_EQ(rememberedSettings.factor, 1.75);
  EXPECT_EQ(state_->offset, -0.5);
  EXPECT_EQ(rememberedSettings.offset, -0.5);
  EXPECT_EQ(state_->symmetry, 1);
  EXPECT_EQ(rememberedSettings.symmetry, 1);

  // The hidden control stores nothing; an unknown one is refused.
  state_->testResult = LWT_TEST_NOTHING;
  state_->active = 0;
  EXPECT_EQ(setInt(0x8001, 1), 2);
  EXPECT_EQ(state_->active, 0);
  EXPECT_EQ(state_->testResult, LWT_TEST_UPDATE);
  state_->testResult = LWT_TEST_NOTHING;
  EXPECT_EQ(setInt(0x8006, 1), 0);
  EXPECT_EQ(state_->testResult, LWT_TEST_NOTHING);
}

TEST_F(OptionsPanel, SwitchingModeResetsTheOtherValueInBothPlaces) {
  setDouble(0x8003, 2.0);
  setDouble(0x8004, 0.75);
  state_->updateAll = kUpdateResetOrDrag;
  EXPECT_EQ(setInt(0x8002, 1), 2);
  EXPECT_EQ(state_->mode, 1);
  EXPECT_EQ(state_->factor, 1.0);
  EXPECT_EQ(rememberedSettings.factor, 1.0);
  EXPECT_EQ(state_->offset, 0.75) << "the chosen mode's value stays";
  EXPECT_EQ(state_->updateAll, kUpdateResetOrDrag) << "a mode change alone does not recompute";

  setDouble(0x8003, 3.0);
  EXPECT_EQ(setInt(0x8002, 0), 2);
  EXPECT_EQ(state_->offset, 0.0);
  EXPECT_EQ(rememberedSettings.offset, 0.0);
  EXPECT_EQ(state_->factor, 3.0);

  EXPECT_EQ(setInt(0x8002, 7), 2);  // any non-zero value counts as Offset, stored as given
  EXPECT_EQ(state_->mode, 7);
  EXPECT_EQ(rememberedSettings.mode, 7);
  EXPECT_EQ(state_->factor, 1.0);
}

TEST_F(OptionsPanel, RememberedSettingsReachAnInstanceCreatedWhileThisOneLives) {
  setInt(0x8002, 1);
  setDouble(0x8004, 0.5);
  setInt(0x8005, 1);
  LWToolFuncs funcs{};
  LWMeshEditTool second{};
  second.tool = &funcs;
  ASSERT_EQ(server_.activate(4, standin::HostGlobals::global, &second, nullptr), 0);
  const auto &s = *static_cast<StretchToolState *>(second.instance);
  EXPECT_EQ(s.mode, 1);
  EXPECT_EQ(s.offset, 0.5);
  EXPECT_EQ(s.symmetry, 1);
  EXPECT_EQ(s.testResult, LWT_TEST_UPDATE);
  EXPECT_EQ(s.updateAll, kUpdateResetOrDrag);
  funcs.done(second.instance);
  EXPECT_EQ(rememberedSettings.mode, 0) << "destroying an instance resets the template";
  EXPECT_EQ(rememberedSettings.offset, 0.0);
  EXPECT_EQ(rememberedSettings.symmetry, 0);
}

TEST_F(OptionsPanel, InvertHandleTogglesEveryPairOfTheNewestInstance) {
  addPoints({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
  ASSERT_EQ(build(), "");
  state_->inverted[1] = 5;
  state_->activeHandle = 2;
  onInvertHandle(nullptr, 0x8006);
  EXPECT_EQ(state_->inverted[0], 1);
  EXPECT_EQ(state_->inverted[1], 0);
  EXPECT_EQ(state_->updateAll, kUpdateAllPairs) << "the next build recomputes from the swapped ends";
  EXPECT_EQ(state_->testResult, LWT_TEST_NOTHING) << "only a redraw, no build";
  EXPECT_EQ(state_->activeHandle, kNoHandle);
  EXPECT_EQ(state_->drawState, kDrawRedraw);
  onInvertHandle(nullptr, 0x8006);
  EXPECT_EQ(state_->inverted[0], 0);
  EXPECT_EQ(state_->inverted[1], 1);
  // A build that comes anyway keeps the ends; at Factor 1 no point moves.
  const std::vector<Position> before = mesh_.positions();
  ASSERT_EQ(build(), "");
  EXPECT_EQ(mesh_.positions(), before);
  EXPECT_EQ(state_->inverted[0], 0);
  EXPECT_EQ(state_->inverted[1], 1);
}

// A host that keeps every move (no base put back before a build): after
// Invert Handle the stretch stays, and a right click's new stretch keeps the
// swapped ends.
TEST_F(OptionsPanel, InvertHandleKeepsTheStretchOnAHostThatKeepsMoves) {
  addPoints({{0, 2, 0}, {0, 0, 0}, {1, 2, 0}, {1, 0, 0}});
  ASSERT_EQ(build(), "");
  setDouble(0x8003, 1.5);
  ASSERT_EQ(build(), "");
  const std::vector<Position> stretched = mesh_.positions();
  expectPosition(stretched[0], 0, 3, 0);

  onInvertHandle(nullptr, 0x8006);
  EXPECT_EQ(state_->testResult, LWT_TEST_NOTHING) << "no build is asked for";
  EXPECT_EQ(state_->drawState, kDrawRedraw);
  EXPECT_EQ(state_->factor, 1.5) << "the panel's values stay";
  EXPECT_EQ(mesh_.positions(), stretched);

  LWToolEvent right{};
  right.flags = LWT_EVENT_RIGHT_BUTTON;
  EXPECT_EQ(funcs_.down(state_, &right), 1);
  binding_.end(state_, 1);
  ASSERT_EQ(build(), "");  // the new stretch: Factor 1.5 about the first points, where they stand
  EXPECT_EQ(state_->inverted[0], 1);
  EXPECT_EQ(state_->inverted[1], 1);
  expectPosition(mesh_.position(0), 0, 3, 0);
  expectPosition(mesh_.position(1), 0, -1.5, 0);
}

// Where the edit stands when the button is pressed.
TEST_F(OptionsPanel, InvertHandleLetsAPendingUpdateRunFromTheSwappedEnds) {
  addPoints({{0, 2, 0}, {0, 0, 0}});
  ASSERT_EQ(build(), "");

  // A Factor edit the host has not built yet: it applies from the second point.
  setDouble(0x8003, 1.5);
  onInvertHandle(nullptr, 0x8006);
  EXPECT_EQ(state_->testResult, LWT_TEST_UPDATE);
  EXPECT_EQ(state_->updateAll, kUpdateAllPairs);
  ASSERT_EQ(build(), "");
  expectPosition(mesh_.position(1), 0, -1, 0);
  expectPosition(mesh_.position(0), 0, 2, 0);

  // A drag of point 1 the host has not built yet: it is solved as dragged,
  // about point 0 (this host kept point 1 at (0,-1,0): length 3 to 5).
  LWToolEvent e{};
  e.posRaw[1] = -3;
  funcs_.adjust(state_, &e, 1);
  onInvertHandle(nullptr, 0x8006);
  EXPECT_EQ(state_->activeHandle, 1);
  EXPECT_EQ(state_->updateAll, kUpdateResetOrDrag);
  ASSERT_EQ(build(), "");
  expectPosition(mesh_.position(1), 0, -3, 0);
  EXPECT_DOUBLE_EQ(state_->factor, 5.0 / 3.0);
  EXPECT_EQ(state_->inverted[0], 0) << "point 0 is the handle end again";
}

TEST_F(OptionsPanel, InvertHandleWithNoLiveEditSwapsTheEndsForTheNext) {
  for (bool failedBuild : {false, true}) {
    SCOPED_TRACE(failedBuild ? "after a failed build" : "after the edit ended");
    startOver();
    addPoints({{0, 2, 0}, {0, 0, 0}});
    state_->active = 1;
    state_->factor = 1.0;
    ASSERT_EQ(build(), "");
    if (failedBuild) {
      EditFaults moveFails;
      moveFails.failMovePoint = 0;
      ASSERT_EQ(build(moveFails), "Failed");
    } else {
      binding_.end(state_, 1);
    }
    ASSERT_EQ(state_->active, 0);
    onInvertHandle(nullptr, 0x8006);
    EXPECT_EQ(state_->inverted[0], 1);
    EXPECT_EQ(state_->testResult, LWT_TEST_UPDATE) << "unchanged";
    EXPECT_EQ(state_->updateAll, kUpdateAllPairs);
    LWToolEvent press{};
    EXPECT_EQ(funcs_.down(state_, &press), 1);  // a new stretch
    setDouble(0x8003, 2.0);
    ASSERT_EQ(build(), "");
    expectPosition(mesh_.position(1), 0, -2, 0);  // about point 0
  }
}

TEST_F(OptionsPanel, InvertHandleActsOnTheNewestInstanceNotThePanels) {
  addPoints({{0, 0, 0}, {1, 0, 0}});
  ASSERT_EQ(build(), "");
  LWToolFuncs funcs{};
  LWMeshEditTool second{};
  second.tool = &funcs;
  ASSERT_EQ(server_.activate(4, standin::HostGlobals::global, &second, nullptr), 0);
  auto &newest = *static_cast<StretchToolState *>(second.instance);
  onInvertHandle(nullptr, 0x8006);  // pressed in the first instance's panel
  EXPECT_EQ(state_->inverted[0], 0);
  EXPECT_EQ(state_->updateAll, kUpdateResetOrDrag);
  EXPECT_EQ(newest.updateAll, kUpdateAllPairs) << "no pairs yet: nothing toggled, the flags still set";
  EXPECT_EQ(newest.drawState, kDrawRedraw);

  funcs.done(second.instance);  // the newest is gone: the button must not reach it
  state_->updateAll = kUpdateResetOrDrag;
  onInvertHandle(nullptr, 0x8006);
  EXPECT_EQ(state_->inverted[0], 0);
  EXPECT_EQ(state_->updateAll, kUpdateResetOrDrag);
}

TEST_F(OptionsPanel, InvertHandleWithoutBuffersTogglesNothing) {
  addPoints({{0, 0, 0}, {1, 0, 0}});
  ::ep::testing::failAllocationNumber(3);
  ASSERT_EQ(build(), "");
  ::ep::testing::failAllocationNumber(0);
  ASSERT_EQ(state_->inverted, nullptr);
  onInvertHandle(nullptr, 0x8006);
  EXPECT_EQ(state_->updateAll, kUpdateAllPairs);
}

TEST_F(OptionsPanel, EnableStatesFollowTheToolAndTheMode) {
  LWXPanelID id = buildPanel();
  standin::PanelModel model(panels_, id, state_);
  auto enabled = [&](std::uintptr_t control) { return model.control(control)->enabled; };

  state_->active = 0;
  for (std::uintptr_t c : {0x8002u, 0x8003u, 0x8004u, 0x8005u, 0x8006u, 0x8007u}) {
    EXPECT_FALSE(enabled(c)) << c;
    EXPECT_EQ(model.control(c)->disabledMessage, "Tool is currently inactive.");
  }
  EXPECT_TRUE(model.control(0x8001)->hidden);

  state_->active = 1;
  state_->mode = 0;
  EXPECT_TRUE(enabled(0x8003));
  EXPECT_FALSE(enabled(0x8004));
  EXPECT_TRUE(enabled(0x8005));
  EXPECT_TRUE(enabled(0x8006));
  state_->mode = 1;
  EXPECT_FALSE(enabled(0x8003));
  EXPECT_TRUE(enabled(0x8004));
  EXPECT_EQ(model.title(), "Elastic_Pull");
}

}  // namespace
}  // namespace ep::testing
