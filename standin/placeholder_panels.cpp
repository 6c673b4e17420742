#include "standin/placeholder_panels.h"

#include "standin/host_globals.h"

namespace standin {

namespace {

void record(const std::string &call) {
  HostGlobals *host = HostGlobals::current();
  if (host == nullptr) return;
  host->placeholderPanels().record(call);
  host->tracer()("panel." + call);
}

LWXPanelID create(int type, const LWXPanelControl *) {
  record("create(type=" + std::to_string(type) + ") -> NULL");
  return nullptr;
}
void destroy(LWXPanelID) { record("destroy"); }
void describe(LWXPanelID, const LWXPanelDataDesc *, LWXPanelGetFunc, LWXPanelSetFunc) { record("describe"); }
void hint(LWXPanelID, uintptr_t id, const LWXPanelHint *) { record("hint(id=" + std::to_string(id) + ")"); }
int post(LWXPanelID) {
  record("post -> 0");
  return 0;
}

// Drawing does nothing here: there is never a panel to draw in.
void drawRGBPixel(LWXPDrAreaID, int, int, int, int, int) {}
void drawRGBBox(LWXPDrAreaID, int, int, int, int, int, int, int) {}
int textWidth(LWXPDrAreaID, const char *) { return 0; }
int textHeight(LWXPDrAreaID, const char *) { return 0; }
void drawText(LWXPDrAreaID, const char *, int, int, int) {}

}  // namespace

PlaceholderPanels::PlaceholderPanels()
    : funcs_{}, drawFuncs_{nullptr, &drawRGBPixel, nullptr,     nullptr,  &drawRGBBox,
                           nullptr, &textWidth,    &textHeight, &drawText} {
  funcs_.version = 1;
  funcs_.drawf = &drawFuncs_;
  funcs_.create = &create;
  funcs_.destroy = &destroy;
  funcs_.describe = &describe;
  funcs_.hint = &hint;
  funcs_.post = &post;
}

}  // namespace standin
