// Activation: check the interface version, fetch the three services, create
// the instance and bind every callback of the tool.
#include "entry/activation.h"

#include "engine/build_pass.h"
#include "engine/tool_state.h"
#include "host/services.h"
#include "panels/options_panel.h"
#include "tool/handles.h"
#include "tool/lifecycle.h"
#include "tool/overlay.h"

namespace ep {
namespace {

// Looks one service up into a local; true when the host has it.
template <typename T>
bool fetch(LWGlobalFunc global, const char *name, T *&found) {
  found = static_cast<T *>(global(name, 0));
  return found != nullptr;
}

}  // namespace
}  // namespace ep

extern "C" int activateElasticPull(int version, LWGlobalFunc global, void *local, void *) {
  using namespace ep;
  if (version != LW_MESHEDITTOOL_VERSION) return LW_ACTIVATE_BAD_VERSION;

  // The services are module-wide and every live instance uses them: a failed
  // activation must not take one away, so they are stored only once all three
  // were found. The lookups stop at the first missing one.
  LWMonitorFuncs *monitor = nullptr;
  LWMessageFuncs *messages = nullptr;
  LWXPanelFuncs *panels = nullptr;
  if (!fetch(global, LWMONITORFUNCS_GLOBAL, monitor)) return LW_ACTIVATE_BAD_GLOBAL;
  if (!fetch(global, LWMESSAGEFUNCS_GLOBAL, messages)) return LW_ACTIVATE_BAD_GLOBAL;
  if (!fetch(global, LWXPANELFUNCS_GLOBAL, panels)) return LW_ACTIVATE_BAD_GLOBAL;
  monitorService = monitor;
  messageService = messages;
  panelService = panels;

  StretchToolState *state = createToolState();
  // No instance: the binding stays exactly as the host gave it, and the host
  // is told the server could not start.
  if (state == nullptr) return LW_ACTIVATE_BAD_LOCAL;

  auto *binding = static_cast<LWMeshEditTool *>(local);
  binding->instance = state;
  binding->test = toolTest;
  binding->build = toolBuild;
  binding->end = toolEnd;

  LWToolFuncs *tool = binding->tool;
  tool->done = toolDone;
  tool->draw = toolDraw;
  tool->help = toolHelp;
  tool->dirty = toolDirty;
  tool->count = toolCount;
  tool->handle = toolHandle;
  tool->start = toolStart;
  tool->adjust = toolAdjust;
  tool->down = toolDown;
  // move and up stay as the host set them: the tool has neither.
  tool->event = toolEvent;
  tool->panel = toolPanel;
  return LW_ACTIVATE_OK;
}
