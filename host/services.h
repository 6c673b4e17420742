// The host services the tool uses, and the module's helpers around them: the
// message boxes and the progress monitor of a build pass. Activation fetches
// the three services anew each time and stores them only when all three are
// there, so a failed activation leaves the live instances theirs; they are
// null until the first successful activation and the records belong to the
// host.
#pragma once

#include "host/host_abi.h"
#include "host/texts.h"

namespace ep {

extern LWMonitorFuncs *monitorService;  // progress and abort while building
extern LWMessageFuncs *messageService;  // error and warning boxes
extern LWXPanelFuncs *panelService;     // panels and panel drawing

// ---- Message boxes --------------------------------------------------------
// The message service is present whenever they are called: activation fails
// without it, and only callbacks of an activated tool show boxes.

void showError(const char *title, const char *text = texts::kUnknown);
void showWarning(const char *title, const char *text);

// ---- Progress monitor of a build pass -------------------------------------

// The running pass's monitor, or nullptr (the host gave none, or no pass runs).
extern LWMonitor *currentMonitor;

// Steps currentMonitor by 1, if there is one; true when the user asks to
// abort. Without a monitor a pass cannot be aborted.
inline bool monitorAborts() {
  return currentMonitor != nullptr && currentMonitor->step(currentMonitor->data, 1) != 0;
}

// The monitor of one build pass: on construction it becomes currentMonitor
// (initialised with `total`, when the host gives one); it is finished and
// destroyed when the object goes out of scope, so on every way out of the pass
// and after the operation's own done.
class PassMonitor {
 public:
  explicit PassMonitor(unsigned total);
  PassMonitor(const PassMonitor &) = delete;
  PassMonitor &operator=(const PassMonitor &) = delete;
  ~PassMonitor();
};

}  // namespace ep
