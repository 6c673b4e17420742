#include "fuzz/conversation/checked_services.h"

#include <cstring>

#include "fuzz/invariant.h"

namespace fuzz {
namespace {
CheckedServices *currentServices = nullptr;
}  // namespace

// The module's calls, each checked and passed on to the stand-in host.
struct ServiceCalls {
  static standin::HostGlobals &host(const char *service) {
    if (currentServices == nullptr) violated("%s called with no host alive", service);
    currentServices->calledByModule(service);
    return currentServices->globals_;
  }

  static void info(const char *title, const char *text) {
    host("messages.info").messages().funcs()->info(title, text);
  }
  static void error(const char *title, const char *text) {
    host("messages.error").messages().funcs()->error(title, text);
  }
  static void warning(const char *title, const char *text) {
    host("messages.warning").messages().funcs()->warning(title, text);
  }

  static LWMonitor *createMonitor(const char *title, const char *caption) {
    return host("monitor.create").monitors().funcs()->create(title, caption);
  }
  static void destroyMonitor(LWMonitor *monitor) {
    host("monitor.destroy").monitors().funcs()->destroy(monitor);
  }

  static LWXPanelFuncs &panels(const char *service) { return *host(service).panels().funcs(); }
  static LWXPanelID create(int type, const LWXPanelControl *controls) {
    return panels("panels.create").create(type, controls);
  }
  static void destroy(LWXPanelID panel) { panels("panels.destroy").destroy(panel); }
  static void describe(LWXPanelID panel, const LWXPanelDataDesc *data, LWXPanelGetFunc get,
                       LWXPanelSetFunc set) {
    panels("panels.describe").describe(panel, data, get, set);
  }
  static void hint(LWXPanelID panel, std::uintptr_t id, const LWXPanelHint *hints) {
    panels("panels.hint").hint(panel, id, hints);
  }
  static int post(LWXPanelID panel) { return panels("panels.post").post(panel); }

  // Thumbnail drawing: checked, and not painted (painting every pixel into
  // a picture would cost more than the rest of a conversation).
  static void drawing(const char *call, LWXPDrAreaID area) {
    host(call);
    if (area == nullptr) violated("%s without the host's drawing area", call);
  }
  static void checkColour(const char *call, int r, int g, int b) {
    for (int channel : {r, g, b})
      if (channel < 0 || channel > 255) violated("%s with colour (%d, %d, %d)", call, r, g, b);
  }
  static void drawRGBPixel(LWXPDrAreaID area, int r, int g, int b, int, int) {
    drawing("drawf.drawRGBPixel", area);
    checkColour("drawRGBPixel", r, g, b);
  }
  static void drawRGBBox(LWXPDrAreaID area, int r, int g, int b, int, int, int w, int h) {
    drawing("drawf.drawRGBBox", area);
    checkColour("drawRGBBox", r, g, b);
    if (w < 0 || h < 0) violated("drawRGBBox of %d by %d pixels", w, h);
  }
  static int textWidth(LWXPDrAreaID area, const char *text) {
    drawing("drawf.textWidth", area);
    return 7 * static_cast<int>(std::strlen(text));
  }
  static int textHeight(LWXPDrAreaID area, const char *text) {
    drawing("drawf.textHeight", area);
    return text[0] != '\0' ? 14 : 0;
  }
  static void drawText(LWXPDrAreaID area, const char *text, int, int, int) {
    drawing("drawf.drawText", area);
    if (std::strlen(text) > 1000) violated("drawText of %zu characters", std::strlen(text));
  }
};

namespace {

LWXPDrawFuncs drawTable = {nullptr,
                           ServiceCalls::drawRGBPixel,
                           nullptr,
                           nullptr,
                           ServiceCalls::drawRGBBox,
                           nullptr,
                           ServiceCalls::textWidth,
                           ServiceCalls::textHeight,
                           ServiceCalls::drawText};
LWMessageFuncs messageTable = {ServiceCalls::info, ServiceCalls::error, ServiceCalls::warning};
LWMonitorFuncs monitorTable = {ServiceCalls::createMonitor, ServiceCalls::destroyMonitor};
// The version is the stand-in host's (filled in by CheckedServices).
LWXPanelFuncs panelTable = {0,
                            &drawTable,
                            ServiceCalls::create,
                            ServiceCalls::destroy,
                            ServiceCalls::describe,
                            ServiceCalls::hint,
                            {},
                            ServiceCalls::post};

}  // namespace

CheckedServices::CheckedServices(standin::HostGlobals &globals)
    : globals_(globals), previous_(currentServices) {
  panelTable.version = globals.panels().funcs()->version;
  currentServices = this;
}

CheckedServices::~CheckedServices() { currentServices = previous_; }

void CheckedServices::calledByModule(const char *service) const {
  if (liveInstances_ <= 0) violated("the module called %s while no instance of the tool lives", service);
}

void *CheckedServices::global(const char *name, int use) {
  if (currentServices == nullptr) violated("global(\"%s\") called with no host alive", name);
  if (use != 0) violated("global(\"%s\", %d): the tool looks services up with use 0", name, use);
  if (name == nullptr || currentServices->withheld_ == name) return nullptr;
  if (std::strcmp(name, LWMESSAGEFUNCS_GLOBAL) == 0) return &messageTable;
  if (std::strcmp(name, LWMONITORFUNCS_GLOBAL) == 0) return &monitorTable;
  if (std::strcmp(name, LWXPANELFUNCS_GLOBAL) == 0) return &panelTable;
  return nullptr;
}

}  // namespace fuzz
