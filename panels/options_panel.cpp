#include "panels/options_panel.h"

#include "engine/tool_state.h"
#include "host/services.h"
#include "host/texts.h"
#include "panels/about_panel.h"

namespace ep {
namespace {

const LWXPanelControl kControls[] = {
    {kControlActive, "hidden", "integer"},
    {kControlMode, "", "iChoice"},
    {kControlFactor, "Factor", "percent"},
    {kControlOffset, "Offset", "distance"},
    {kControlSymmetry, "Symmetry", "iBoolean"},
    {kControlInvertHandle, "Invert Handle", "vButton"},
    {kControlAbout, "About", "vButton"},
    {0, nullptr, nullptr},
};

const LWXPanelDataDesc kDataDescription[] = {
    {kControlActive, "hidden", "integer"},
    {kControlMode, "", "integer"},
    {kControlFactor, "Factor", "percent"},
    {kControlOffset, "Offset", "distance"},
    {kControlSymmetry, "Symmetry", "integer"},
    {0, nullptr, nullptr},
};

// Indexed by mode: Factor is editable in Factor mode only.
const int kFactorEnableMap[] = {1, 0};

template <typename T>
LWXPanelHint word(T *pointer) {
  return reinterpret_cast<LWXPanelHint>(pointer);
}
LWXPanelHint word(std::uintptr_t id) { return static_cast<LWXPanelHint>(id); }

}  // namespace

// Builds the hint list with the mode choice list's address filled in. The
// list and the choice items need live only during the host's hint call.
void fillOptionsHints(LWXPanelHint (&hints)[kOptionsHintWords], const char *(&modeItems)[3]) {
  modeItems[0] = "Factor";
  modeItems[1] = "Offset";
  modeItems[2] = nullptr;
  const LWXPanelHint list[kOptionsHintWords] = {
      LWXP_HINT_HIDDEN, word(kControlActive),
      LWXP_HINT_TITLE, 0, word(texts::kPanelTitle), 0,
      LWXP_HINT_ENABLE_LINK, word(kControlActive), word(texts::kInactiveMessage), 0, 0,
          word(kControlMode), word(kControlFactor), word(kControlOffset), word(kControlSymmetry),
          word(kControlInvertHandle), word(kControlAbout), 0,
      LWXP_HINT_ENABLE_LINK, word(kControlMode), 0, 0, word(kFactorEnableMap), word(kControlFactor), 0,
      LWXP_HINT_ENABLE_LINK, word(kControlMode), 0, 0, 0, word(kControlOffset), 0,
      LWXP_HINT_CHOICE_ITEMS, word(kControlMode), word(modeItems), 0,
      LWXP_HINT_MAX, word(kControlFactor), 21000000,
      LWXP_HINT_MIN, word(kControlFactor), -21000000,
      LWXP_HINT_STEP, word(kControlFactor), 1,
      LWXP_HINT_BUTTON_LAYOUT, word(kControlInvertHandle), 0,
      LWXP_HINT_BUTTON_CLICK, word(kControlInvertHandle), word(&onInvertHandle),
      LWXP_HINT_BUTTON_CLICK, word(kControlAbout), word(&onAbout),
      0,
  };
  for (int i = 0; i < kOptionsHintWords; ++i) hints[i] = list[i];
}

}  // namespace ep

extern "C" void *toolPanel(void *) {
  using namespace ep;
  LWXPanelID panel = panelService->create(LWXP_VIEW, kControls);
  if (panel == nullptr) return nullptr;
  panelService->describe(panel, kDataDescription, optionsPanelGet, optionsPanelSet);
  LWXPanelHint hints[kOptionsHintWords];
  const char *modeItems[3];
  fillOptionsHints(hints, modeItems);
  panelService->hint(panel, 0, hints);
  return panel;
}

extern "C" void *optionsPanelGet(void *instance, std::uintptr_t id) {
  auto &s = *static_cast<ep::StretchToolState *>(instance);
  switch (id) {
    case ep::kControlActive: return &s.active;
    case ep::kControlMode: return &s.mode;
    case ep::kControlFactor: return &s.factor;
    case ep::kControlOffset: return &s.offset;
    case ep::kControlSymmetry: return &s.symmetry;
    default: return nullptr;
  }
}

extern "C" int optionsPanelSet(void *instance, std::uintptr_t id, void *value) {
  using namespace ep;
  auto &s = *static_cast<StretchToolState *>(instance);
  StretchToolState &t = rememberedSettings;
  switch (id) {
    case kControlActive:
      break;
    case kControlMode: {
      const int mode = *static_cast<const int *>(value);
      s.mode = t.mode = mode;
      // Switching mode starts the other value from "no change".
      if (mode != 0) {
        s.factor = t.factor = 1.0;
      } else {
        s.offset = t.offset = 0.0;
      }
      break;
    }
    case kControlFactor:
      s.factor = t.factor = *static_cast<const double *>(value);
      s.updateAll = kUpdateAllPairs;
      break;
    case kControlOffset:
      s.offset = t.offset = *static_cast<const double *>(value);
      s.updateAll = kUpdateAllPairs;
      break;
    case kControlSymmetry:
      s.symmetry = t.symmetry = *static_cast<const int *>(value);
      s.updateAll = kUpdateAllPairs;
      break;
    default:
      return LWXPSET_NONE;
  }
  s.testResult = LWT_TEST_UPDATE;
  return LWXPSET_REDRAW;
}

// Swapping the ends changes no point, so like a click on an anchor end it asks
// only for a redraw, never for a build: on a host that puts the edit's base
// back before every build (the Modeler does), a build that only read the
// points back would undo the stretch on show. Whatever build comes next (a
// panel edit's, a right click's new stretch) recomputes every pair from the
// panel's values with the swapped ends, and a drag solves from them. A drag
// the host has not built yet keeps its handle and is solved as dragged.
extern "C" void onInvertHandle(LWXPanelID, int) {
  using namespace ep;
  // The button carries no instance: it acts on the newest one, and only while
  // that instance lives (destroying it clears currentTool).
  StretchToolState *s = currentTool;
  if (s == nullptr) return;
  if (s->inverted != nullptr) {
    for (int i = 0; i < s->pointCount / 2; ++i) s->inverted[i] = s->inverted[i] == 0 ? 1 : 0;
  }
  s->drawState = kDrawRedraw;
  const bool dragPending = s->testResult == LWT_TEST_UPDATE && s->active != 0 &&
                           s->updateAll != kUpdateAllPairs && s->activeHandle >= 0 &&
                           s->activeHandle < s->pointCount;
  if (dragPending) return;
  s->activeHandle = kNoHandle;
  s->updateAll = kUpdateAllPairs;
}

extern "C" void onAbout(LWXPanelID, int) { ep::showAboutPanel(); }
