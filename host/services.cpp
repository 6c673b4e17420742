#include "host/services.h"

namespace ep {

LWMonitorFuncs *monitorService = nullptr;
LWMessageFuncs *messageService = nullptr;
LWXPanelFuncs *panelService = nullptr;

void showError(const char *title, const char *text) { messageService->error(title, text); }

void showWarning(const char *title, const char *text) { messageService->warning(title, text); }

LWMonitor *currentMonitor = nullptr;

PassMonitor::PassMonitor(unsigned total) {
  currentMonitor = monitorService->create(texts::kMonitorTitle, texts::kMonitorCaption);
  if (currentMonitor != nullptr) currentMonitor->init(currentMonitor->data, total);
}

PassMonitor::~PassMonitor() {
  if (currentMonitor == nullptr) return;
  LWMonitor *monitor = currentMonitor;
  currentMonitor = nullptr;
  monitor->done(monitor->data);
  monitorService->destroy(monitor);
}

}  // namespace ep
