#include "tool/lifecycle.h"

#include "engine/tool_state.h"

namespace {
ep::StretchToolState &stateOf(void *instance) { return *static_cast<ep::StretchToolState *>(instance); }

void resetValues(ep::StretchToolState &s) {
  s.factor = 1.0;
  s.offset = 0.0;
  s.symmetry = 0;
  s.testResult = LWT_TEST_UPDATE;
  s.drawState = ep::kDrawCurrent;
  s.updateAll = ep::kUpdateResetOrDrag;
  s.activeHandle = ep::kNoHandle;
}
}  // namespace

extern "C" int toolTest(void *instance) { return stateOf(instance).testResult; }

extern "C" int toolDirty(void *instance) {
  return stateOf(instance).drawState == ep::kDrawRedraw ? (LWT_DIRTY_WIREFRAME | LWT_DIRTY_HELPTEXT) : 0;
}

extern "C" int toolDown(void *instance, LWToolEvent *event) {
  ep::StretchToolState &s = stateOf(instance);
  if ((event->flags & LWT_EVENT_RIGHT_BUTTON) != 0) {  // keep the result, start a new stretch
    s.testResult = LWT_TEST_CLONE;
    // With no handle active and every pair to be recomputed (after a panel
    // edit or Invert Handle) the new stretch does just that, keeping the ends
    // the overlay shows: the reset step would clear them. Otherwise the reset
    // step or the drag solve starts it.
    const bool recomputeKeepingEnds = s.updateAll == ep::kUpdateAllPairs && s.activeHandle == ep::kNoHandle;
    if (!recomputeKeepingEnds) s.updateAll = ep::kUpdateResetOrDrag;
    return 1;
  }
  if (s.active != 0) {  // a press during a live edit: the host picks a handle
    s.updateAll = ep::kUpdateResetOrDrag;
    s.testResult = LWT_TEST_UPDATE;
    s.activeHandle = ep::kNoHandle;
    return 0;
  }
  // No live edit: a new stretch begins from the points where they stand.
  s.active = 1;
  s.factor = 1.0;
  s.offset = 0.0;
  s.testResult = LWT_TEST_UPDATE;
  s.updateAll = ep::kUpdateAllPairs;
  return 1;
}

extern "C" void toolEnd(void *instance, int /*keep: the tool decides from its own code*/) {
  ep::StretchToolState &s = stateOf(instance);
  if (s.testResult == LWT_TEST_CLONE) {
    s.testResult = LWT_TEST_UPDATE;
    s.active = 1;
    return;
  }
  s.testResult = LWT_TEST_UPDATE;
  s.active = 0;
  s.drawState = ep::kDrawNothing;
  s.updateAll = ep::kUpdateResetOrDrag;
}

extern "C" void toolEvent(void *instance, int code) {
  ep::StretchToolState &s = stateOf(instance);
  switch (code) {
    case LWT_EVENT_DROP:
      if (s.active != 0) {
        s.testResult = LWT_TEST_REJECT;
        s.drawState = ep::kDrawCurrent;
        s.updateAll = ep::kUpdateResetOrDrag;
        s.activeHandle = ep::kNoHandle;
      } else {
        resetValues(s);
      }
      break;
    case LWT_EVENT_RESET:
      resetValues(s);
      break;
    case LWT_EVENT_ACTIVATE:
      s.testResult = LWT_TEST_UPDATE;
      s.drawState = ep::kDrawCurrent;
      s.updateAll = ep::kUpdateAllPairs;
      s.active = 1;
      break;
    default:
      break;
  }
}
