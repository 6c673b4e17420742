// The stand-in host's panel service and panel model: with hand-built panels for the service's own rules,
// and with the module's options and About panels built in-process.
#include "standin/host/panel_service.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/tool_state.h"
#include "host/services.h"
#include "host/texts.h"
#include "panels/about_panel.h"
#include "panels/options_panel.h"
#include "standin/host/host_globals.h"
#include "standin/host/panel_model.h"

namespace standin {
namespace {

// ---- A hand-built panel -------------------------------------------------------------------------------

struct Values {
  int toggle = 0;
  int choice = 0;
  double amount = 0.5;
  std::vector<std::uintptr_t> sets;
  int clicks = 0;
};

void *getValue(void *instance, std::uintptr_t id) {
  auto *v = static_cast<Values *>(instance);
  switch (id) {
    case 1:
      return &v->toggle;
    case 2:
      return &v->choice;
    case 3:
      return &v->amount;
    default:
      return nullptr;
  }
}

int setValue(void *instance, std::uintptr_t id, void *value) {
  auto *v = static_cast<Values *>(instance);
  v->sets.push_back(id);
  if (id == 3)
    v->amount = *static_cast<double *>(value);
  else if (id == 1)
    v->toggle = *static_cast<int *>(value);
  else if (id == 2)
    v->choice = *static_cast<int *>(value);
  return 2;
}

Values *gClickTarget = nullptr;
void click(LWXPanelID, int) { ++gClickTarget->clicks; }

const LWXPanelControl kControls[] = {{1, "Toggle", "iBoolean"},
                                     {2, "Pick", "iChoice"},
                                     {3, "Amount", "percent"},
                                     {4, "Go", "vButton"},
                                     {0, nullptr, nullptr}};
const LWXPanelDataDesc kData[] = {
    {1, "Toggle", "integer"}, {2, "Pick", "integer"}, {3, "Amount", "percent"}, {0, nullptr, nullptr}};
const int kPickMap[] = {0, 1, 0};

class HandBuiltPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    gClickTarget = &values;
    LWXPanelFuncs *f = service.funcs();
    panel = f->create(LWXP_FORM, kControls);
    ASSERT_NE(panel, nullptr);
    f->describe(panel, kData, getValue, setValue);
    // Choice items come in a later hint call than the map that indexes them, from a temporary list.
    const LWXPanelHint first[] = {static_cast<LWXPanelHint>(LWXP_HINT_ENABLE_LINK),
                                  1,
                                  0,
                                  0,
                                  0,
                                  2,
                                  0,  // Pick follows Toggle
                                  static_cast<LWXPanelHint>(LWXP_HINT_ENABLE_LINK),
                                  2,
                                  reinterpret_cast<LWXPanelHint>("pick B"),
                                  0,
                                  reinterpret_cast<LWXPanelHint>(kPickMap),
                                  3,
                                  0,  // Amount only for item 1
                                  0x3D999902,
                                  0,
                                  0,  // unknown: kept, not acted on
                                  static_cast<LWXPanelHint>(LWXP_HINT_BUTTON_CLICK),
                                  4,
                                  reinterpret_cast<LWXPanelHint>(&click),
                                  static_cast<LWXPanelHint>(LWXP_HINT_MAX),
                                  3,
                                  200,
                                  0};
    f->hint(panel, 0, first);
    std::string a = "A", b = "B", c = "C";
    const char *items[] = {a.c_str(), b.c_str(), c.c_str(), nullptr};
    const LWXPanelHint second[] = {static_cast<LWXPanelHint>(LWXP_HINT_CHOICE_ITEMS), 2,
                                   reinterpret_cast<LWXPanelHint>(items), 0, 0};
    f->hint(panel, 0, second);
    a = b = c = "gone";  // the host must have copied the texts
  }

  standin::HostGlobals host;
  PanelService &service = host.panels();
  Values values;
  LWXPanelID panel = nullptr;
  std::vector<std::uintptr_t> changes;
  PanelModel model{service, nullptr, &values};
  PanelModel make() {
    return PanelModel(service, panel, &values, [this](std::uintptr_t id) { changes.push_back(id); });
  }
};

TEST_F(HandBuiltPanel, EnableLinksFollowTheControllerValueAndTheMap) {
  PanelModel m = make();
  struct Case {
    int toggle, choice;
    bool pickEnabled, amountEnabled;
  };
  const Case cases[] = {{0, 1, false, true},
                        {1, 0, true, false},
                        {1, 1, true, true},
                        {1, 2, true, false},
                        {1, 3, true, false} /* past the map */,
                        {1, -1, true, false}};
  for (const Case &c : cases) {
    values.toggle = c.toggle;
    values.choice = c.choice;
    EXPECT_EQ(m.control(2)->enabled, c.pickEnabled) << c.toggle << "," << c.choice;
    EXPECT_EQ(m.control(3)->enabled, c.amountEnabled) << c.toggle << "," << c.choice;
    if (!c.amountEnabled) {
      EXPECT_EQ(m.control(3)->disabledMessage.value_or(""), "pick B");
    }
  }
  EXPECT_EQ(m.control(2)->disabledMessage, std::nullopt);  // its link has no message
  EXPECT_TRUE(m.control(1)->enabled);                      // named by no link
}

TEST_F(HandBuiltPanel, KeepsCopiesOfTextsAndUnknownHints) {
  const PanelRecord *r = service.panel(panel);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(*r->hintsFor(2)->choiceItems, (std::vector<std::string>{"A", "B", "C"}));
  ASSERT_EQ(r->otherHints.size(), 1u);
  EXPECT_EQ(r->otherHints[0].tag, 0x3D999902u);
  EXPECT_EQ(r->links.size(), 2u);
  // The map came before the choice items were known, so it is read from the tool's (lasting) table.
  EXPECT_FALSE(r->links[1].map.has_value());
  EXPECT_EQ(r->links[1].mapAddress, kPickMap);
}

TEST_F(HandBuiltPanel, EditsGoThroughSetThenTheChangeCallback) {
  PanelModel m = make();
  values.toggle = 1;
  values.choice = 1;
  EXPECT_EQ(m.edit(3, 1.25), EditResult::Done);
  EXPECT_DOUBLE_EQ(values.amount, 1.25);
  EXPECT_EQ(m.lastSetResult(), 2);
  EXPECT_EQ(m.editText(3, "150%"), EditResult::Done);
  EXPECT_DOUBLE_EQ(values.amount, 1.5);
  EXPECT_EQ(m.editText(2, "c"), EditResult::Done);
  EXPECT_EQ(values.choice, 2);
  EXPECT_EQ(changes, (std::vector<std::uintptr_t>{3, 3, 2}));

  // Refused edits never reach set.
  const std::size_t setsBefore = values.sets.size();
  EXPECT_EQ(m.edit(3, 0.5), EditResult::Disabled);  // choice 2 disables Amount
  values.choice = 1;
  EXPECT_EQ(m.edit(3, 2.5), EditResult::OutOfRange);  // 250% over the max of 200
  EXPECT_EQ(m.edit(2, 3), EditResult::OutOfRange);    // no item 3
  EXPECT_EQ(m.edit(1, 2), EditResult::OutOfRange);    // a boolean is 0 or 1
  EXPECT_EQ(m.edit(2, 0.5), EditResult::WrongType);
  EXPECT_EQ(m.editText(3, "lots"), EditResult::BadText);
  EXPECT_EQ(m.edit(4, 1), EditResult::NotEditable);  // a button has no value
  EXPECT_EQ(m.edit(99, 1), EditResult::NoControl);
  EXPECT_EQ(values.sets.size(), setsBefore);
}

TEST_F(HandBuiltPanel, PressCallsTheHandlerUnlessTheButtonCannotBePressed) {
  PanelModel m = make();
  EXPECT_EQ(m.press(4), EditResult::Done);
  EXPECT_EQ(values.clicks, 1);
  EXPECT_EQ(changes, (std::vector<std::uintptr_t>{4}));
  values.toggle = 1;
  values.choice = 1;
  EXPECT_EQ(m.press(3), EditResult::NotEditable);  // enabled, but not a button
  service.funcs()->destroy(panel);
  EXPECT_EQ(m.press(4), EditResult::NoPanel);
  EXPECT_EQ(m.edit(3, 1.0), EditResult::NoPanel);
  EXPECT_EQ(values.clicks, 1);
}

TEST_F(HandBuiltPanel, CallsOnUnknownOrDestroyedPanelsAreRecordedAndIgnored) {
  LWXPanelFuncs *f = service.funcs();
  f->destroy(panel);
  f->describe(panel, kData, getValue, setValue);
  const LWXPanelHint hide[] = {static_cast<LWXPanelHint>(LWXP_HINT_HIDDEN), 1, 0};
  f->hint(panel, 0, hide);
  EXPECT_EQ(f->post(panel), 0);
  EXPECT_EQ(service.panel(panel), nullptr);
  const std::vector<PanelCall> &calls = service.calls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_TRUE(calls[calls.size() - 4].known);  // the destroy itself
  for (std::size_t i = calls.size() - 3; i < calls.size(); ++i) EXPECT_FALSE(calls[i].known) << i;
  // A new panel never reuses a destroyed panel's ID.
  EXPECT_NE(f->create(LWXP_VIEW, kControls), panel);
}

TEST_F(HandBuiltPanel, WithoutTheCallLogPanelsAreBuiltAndDestroyedAlike) {
  const std::size_t logged = service.calls().size();
  service.recordCalls(false);
  LWXPanelFuncs *f = service.funcs();
  const LWXPanelID quiet = f->create(LWXP_FORM, kControls);
  ASSERT_NE(quiet, nullptr);
  f->describe(quiet, kData, getValue, setValue);
  const LWXPanelHint hints[] = {static_cast<LWXPanelHint>(LWXP_HINT_HIDDEN),
                                4,
                                static_cast<LWXPanelHint>(LWXP_HINT_MAX),
                                3,
                                150,
                                0x3D999902,
                                0,
                                0,
                                0};
  f->hint(quiet, 0, hints);
  EXPECT_EQ(f->post(quiet), 1);
  const PanelRecord *r = service.panel(quiet);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->controls.size(), 4u);
  EXPECT_EQ(r->data.size(), 3u);
  EXPECT_TRUE(r->hintsFor(4)->hidden);
  EXPECT_EQ(r->hintsFor(3)->max, 150);
  ASSERT_EQ(r->otherHints.size(), 1u);
  EXPECT_EQ(r->posts, 1);
  f->destroy(quiet);
  EXPECT_EQ(service.panel(quiet), nullptr);
  EXPECT_EQ(service.calls().size(), logged);
  service.recordCalls(true);
  f->destroy(panel);
  EXPECT_EQ(service.calls().size(), logged + 1);
}

TEST(PanelService, RefusedCreatesAnswerNullAndAreRecorded) {
  standin::HostGlobals host;
  PanelService &service = host.panels();
  service.failNextCreates(1);
  EXPECT_EQ(service.funcs()->create(LWXP_VIEW, kControls), nullptr);
  EXPECT_NE(service.funcs()->create(LWXP_VIEW, kControls), nullptr);
  ASSERT_EQ(service.calls().size(), 2u);
  EXPECT_EQ(service.calls()[0].panel, nullptr);
  EXPECT_EQ(service.calls()[0].words.size(), 15u);  // 4 entries and the zero entry, 3 words each
}

TEST(PanelService, TheCFunctionsReachTheCurrentHostsServiceEvenAfterAnOutOfOrderEnd) {
  auto outer = std::make_unique<standin::HostGlobals>();
  auto inner = std::make_unique<standin::HostGlobals>();
  const auto create = outer->panels().funcs()->create;  // the same C function in every host's record
  EXPECT_NE(create(LWXP_VIEW, kControls), nullptr);
  EXPECT_EQ(inner->panels().panels().size(), 1u);
  EXPECT_TRUE(outer->panels().panels().empty());
  // The older host ends first: calls still reach the live one, never the dead one.
  outer.reset();
  EXPECT_NE(create(LWXP_VIEW, kControls), nullptr);
  EXPECT_EQ(inner->panels().panels().size(), 2u);
  inner.reset();
  EXPECT_EQ(create(LWXP_VIEW, kControls), nullptr) << "no host: no panel";
}

// ---- The module's panels --------------------------------------------------------------------------------

class ModulePanels : public ::testing::Test {
 protected:
  void SetUp() override {
    savedService = ep::panelService;
    ep::panelService = service.funcs();
    state = ep::createToolState();
    ASSERT_NE(state, nullptr);
  }
  void TearDown() override {
    toolDone(state);
    ep::panelService = savedService;
  }
  PanelModel buildOptions() {
    LWXPanelID id = toolPanel(state);
    EXPECT_NE(id, nullptr);
    return PanelModel(service, id, state, [this](std::uintptr_t c) { changes.push_back(c); });
  }

  standin::HostGlobals host;
  PanelService &service = host.panels();
  LWXPanelFuncs *savedService = nullptr;
  ep::StretchToolState *state = nullptr;
  std::vector<std::uintptr_t> changes;
};

TEST_F(ModulePanels, OptionsPanelHintListIsReceivedWordForWord) {
  buildOptions();
  const PanelCall *hintCall = nullptr;
  for (const PanelCall &c : service.calls())
    if (c.kind == PanelCallKind::Hint) hintCall = &c;
  ASSERT_NE(hintCall, nullptr);
  const std::vector<LWXPanelHint> &w = hintCall->words;
  ASSERT_EQ(w.size(), 55u);
  EXPECT_EQ(w[0], 0x3D000E01);
  EXPECT_EQ(w[2], 0x3D000B03);
  EXPECT_STREQ(reinterpret_cast<const char *>(w[4]), "Elastic_Pull");
  EXPECT_EQ(w[6], 0x3D01F984);
  EXPECT_STREQ(reinterpret_cast<const char *>(w[8]), "Tool is currently inactive.");
  EXPECT_EQ(w[53], reinterpret_cast<LWXPanelHint>(&onAbout));
  EXPECT_EQ(w[54], 0);
  EXPECT_EQ(hintCall->controlId, 0u);

  const PanelRecord *r = service.newestPanel();
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->title().value_or(""), "Elastic_Pull");
  EXPECT_EQ(r->links.size(), 3u);
  ASSERT_TRUE(r->links[1].map.has_value());  // the mode's items were known: the map was copied
  EXPECT_EQ(*r->links[1].map, (std::vector<int>{1, 0}));
  ASSERT_EQ(r->otherHints.size(), 1u);  // the button layout hint
  EXPECT_EQ(r->otherHints[0].tag, 0x3D021481u);
}

TEST_F(ModulePanels, OptionsPanelEnableStatesFollowActiveAndMode) {
  PanelModel m = buildOptions();
  struct Case {
    int active, mode;
    bool mode_, factor, offset, rest;
  };
  const Case cases[] = {{0, 0, false, false, false, false},
                        {0, 1, false, false, false, false},
                        {1, 0, true, true, false, true},
                        {1, 1, true, false, true, true}};
  for (const Case &c : cases) {
    state->active = c.active;
    state->mode = c.mode;
    EXPECT_EQ(m.control(0x8002)->enabled, c.mode_) << c.active << c.mode;
    EXPECT_EQ(m.control(0x8003)->enabled, c.factor) << c.active << c.mode;
    EXPECT_EQ(m.control(0x8004)->enabled, c.offset) << c.active << c.mode;
    for (std::uintptr_t id : {0x8005u, 0x8006u, 0x8007u}) EXPECT_EQ(m.control(id)->enabled, c.rest) << id;
    if (c.active == 0) {
      for (std::uintptr_t id = 0x8002; id <= 0x8007; ++id)
        EXPECT_EQ(m.control(id)->disabledMessage.value_or(""), "Tool is currently inactive.") << id;
    }
  }
  EXPECT_TRUE(m.control(0x8001)->hidden);
}

TEST_F(ModulePanels, OptionsPanelEditsReachTheInstance) {
  PanelModel m = buildOptions();
  state->active = 1;
  state->mode = 0;
  EXPECT_EQ(m.edit(0x8003, 1.5), EditResult::Done);
  EXPECT_DOUBLE_EQ(state->factor, 1.5);
  EXPECT_EQ(state->testResult, 1);
  EXPECT_EQ(m.edit(0x8004, 0.25), EditResult::Disabled);  // Offset in Factor mode
  EXPECT_EQ(m.editText(0x8002, "Offset"), EditResult::Done);
  EXPECT_EQ(state->mode, 1);
  EXPECT_DOUBLE_EQ(state->factor, 1.0);
  EXPECT_EQ(m.editText(0x8005, "on"), EditResult::Done);
  EXPECT_EQ(state->symmetry, 1);
  EXPECT_EQ(m.edit(0x8001, 0), EditResult::Hidden);
  EXPECT_EQ(changes, (std::vector<std::uintptr_t>{0x8003, 0x8002, 0x8005}));

  const std::string text = m.render();
  EXPECT_NE(text.find("Panel \"Elastic_Pull\""), std::string::npos) << text;
  EXPECT_NE(text.find("Offset"), std::string::npos) << text;
  EXPECT_NE(text.find("1 (100%)"), std::string::npos) << text;
  EXPECT_NE(text.find("[Invert Handle]"), std::string::npos) << text;
  EXPECT_EQ(text.find("hidden"), std::string::npos) << text;  // the hidden control is not shown

  state->active = 0;
  const std::string inactive = m.render();
  EXPECT_NE(inactive.find("disabled: Tool is currently inactive."), std::string::npos) << inactive;
}

TEST_F(ModulePanels, AboutButtonPostsAPaintedThumbnailAndTheAboutPanelIsGoneAfterwards) {
  PanelModel m = buildOptions();
  state->active = 1;
  std::vector<CanvasCall> painted;
  std::string title;
  service.setThumbnailSink([&](const PanelRecord &p, std::uintptr_t id, const ThumbnailCanvas &canvas) {
    EXPECT_EQ(id, 0x8102u);
    title = p.title().value_or("");
    painted = canvas.calls();
  });
  const std::size_t panelsBefore = service.panels().size();
  EXPECT_EQ(m.press(0x8007), EditResult::Done);
  EXPECT_EQ(title, "About Elastic_Pull");
  EXPECT_EQ(service.panels().size(), panelsBefore);  // destroyed after post

  ASSERT_GE(painted.size(), 1u + 8400u);
  EXPECT_EQ(painted[0].op, CanvasOp::Box);
  EXPECT_EQ(painted[1].op, CanvasOp::Pixel);
  EXPECT_EQ(painted[1].x, 53);
  EXPECT_EQ(painted[1].y, 54);
  EXPECT_EQ(painted[8400].x, 252);
  EXPECT_EQ(painted[8400].y, 95);
  // The About panel's own hint list arrived whole: 14 words.
  for (const PanelCall &c : service.calls())
    if (c.kind == PanelCallKind::Hint && c.panel != m.panelId()) {
      EXPECT_EQ(c.words.size(), 14u);
    }
}

}  // namespace
}  // namespace standin
