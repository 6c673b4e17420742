// test, dirty, down, end and event: the flags each call leaves and the code
// the host receives, row by row of the edit's conversation.
#include "tests/engine/engine_fixture.h"

namespace ep::testing {
namespace {

// The flags a row writes; -2 marks "unchanged".
constexpr int kSame = -2;
struct Flags {
  int active, testResult, drawState, updateAll, activeHandle;
};

class Lifecycle : public EngineTest {
 protected:
  void setFlags(const Flags &f) {
    state_->active = f.active;
    state_->testResult = f.testResult;
    state_->drawState = f.drawState;
    state_->updateAll = f.updateAll;
    state_->activeHandle = f.activeHandle;
  }
  void expectFlags(const Flags &before, const Flags &written) {
    auto pick = [](int w, int b) { return w == kSame ? b : w; };
    EXPECT_EQ(state_->active, pick(written.active, before.active));
    EXPECT_EQ(state_->testResult, pick(written.testResult, before.testResult));
    EXPECT_EQ(state_->drawState, pick(written.drawState, before.drawState));
    EXPECT_EQ(state_->updateAll, pick(written.updateAll, before.updateAll));
    EXPECT_EQ(state_->activeHandle, pick(written.activeHandle, before.activeHandle));
  }
  LWToolEvent eventWith(int flags) {
    LWToolEvent e{};
    e.flags = flags;
    return e;
  }
};

TEST_F(Lifecycle, TestAndDirtyOnlyRead) {
  for (int code : {0, 1, 3, 4}) {
    state_->testResult = code;
    EXPECT_EQ(funcs_.dirty != nullptr, true);
    EXPECT_EQ(binding_.test(state_), code);
    EXPECT_EQ(binding_.test(state_), code);
  }
  for (auto [drawState, bits] : {std::pair{1, 3}, {0, 0}, {-1, 0}}) {
    state_->drawState = drawState;
    EXPECT_EQ(funcs_.dirty(state_), bits);
    EXPECT_EQ(funcs_.dirty(state_), bits);
    EXPECT_EQ(state_->drawState, drawState);
  }
}

TEST_F(Lifecycle, DownFollowsTheButtonAndTheLiveEdit) {
  struct Row {
    const char *what;
    int activeBefore;
    int flags;
    Flags written;
    int result;
    bool resetsValues;
  };
  const Row rows[] = {
      {"right button", 1, LWT_EVENT_RIGHT_BUTTON, {kSame, 4, kSame, 0, kSame}, 1, false},
      {"right button with CTRL, no live edit", 0, LWT_EVENT_RIGHT_BUTTON | LWT_EVENT_CTRL,
       {kSame, 4, kSame, 0, kSame}, 1, false},
      {"press during a live edit", 1, 0, {kSame, 1, kSame, 0, -1}, 0, false},
      {"CTRL press during a live edit", 1, LWT_EVENT_CTRL, {kSame, 1, kSame, 0, -1}, 0, false},
      {"press with no live edit starts a new stretch", 0, 0, {1, 1, kSame, 1, kSame}, 1, true},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.what);
    const Flags before{r.activeBefore, 0, 1, -1, 5};
    setFlags(before);
    state_->mode = 1;
    state_->symmetry = 1;
    state_->factor = 2.5;
    state_->offset = 0.5;
    LWToolEvent e = eventWith(r.flags | 0x40);  // unrelated host bits mean nothing
    EXPECT_EQ(funcs_.down(state_, &e), r.result);
    expectFlags(before, r.written);
    EXPECT_EQ(state_->factor, r.resetsValues ? 1.0 : 2.5);
    EXPECT_EQ(state_->offset, r.resetsValues ? 0.0 : 0.5);
    EXPECT_EQ(state_->mode, 1);
    EXPECT_EQ(state_->symmetry, 1);
  }
}

TEST_F(Lifecycle, EndKeepsACloneLiveAndOtherwiseEndsTheEdit) {
  for (int keep : {0, 1}) {
    const Flags clone{0, 4, 1, -1, 3};
    setFlags(clone);
    binding_.end(state_, keep);
    expectFlags(clone, {1, 1, kSame, kSame, kSame});

    const Flags live{1, 0, 1, 1, 3};
    setFlags(live);
    binding_.end(state_, keep);
    expectFlags(live, {0, 1, -1, 0, kSame});
    binding_.end(state_, keep);  // a second end changes nothing more
    expectFlags(live, {0, 1, -1, 0, kSame});
  }
}

TEST_F(Lifecycle, EventsDropResetAndActivate) {
  struct Row {
    const char *what;
    int code;
    int activeBefore;
    Flags written;
    bool resetsValues;
  };
  const Row rows[] = {
      {"drop while live rejects", 0, 1, {kSame, 3, 0, 0, -1}, false},
      {"drop while not live resets", 0, 0, {kSame, 1, 0, 0, -1}, true},
      {"reset", 1, 1, {kSame, 1, 0, 0, -1}, true},
      {"reset while not live", 1, 0, {kSame, 1, 0, 0, -1}, true},
      {"activate", 2, 0, {1, 1, 0, 1, kSame}, false},
      {"unknown code 3", 3, 1, {kSame, kSame, kSame, kSame, kSame}, false},
      {"unknown code 255", 255, 0, {kSame, kSame, kSame, kSame, kSame}, false},
      {"unknown code -1", -1, 1, {kSame, kSame, kSame, kSame, kSame}, false},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.what);
    const Flags before{r.activeBefore, 4, -1, -1, 6};
    setFlags(before);
    state_->mode = 1;
    state_->factor = 2.5;
    state_->offset = 0.5;
    state_->symmetry = 1;
    funcs_.event(state_, r.code);
    expectFlags(before, r.written);
    EXPECT_EQ(state_->factor, r.resetsValues ? 1.0 : 2.5);
    EXPECT_EQ(state_->offset, r.resetsValues ? 0.0 : 0.5);
    EXPECT_EQ(state_->symmetry, r.resetsValues ? 0 : 1);
    EXPECT_EQ(state_->mode, 1) << "no event changes the mode";
  }
}

TEST_F(Lifecycle, ARightClickWithNoLiveEditIsLiveAgainAfterEnd) {
  state_->active = 0;
  LWToolEvent right = eventWith(LWT_EVENT_RIGHT_BUTTON);
  EXPECT_EQ(funcs_.down(state_, &right), 1);
  EXPECT_EQ(state_->active, 0);
  EXPECT_EQ(binding_.test(state_), 4);
  binding_.end(state_, 1);
  EXPECT_EQ(state_->active, 1);
  EXPECT_EQ(binding_.test(state_), 1);
}

}  // namespace
}  // namespace ep::testing
