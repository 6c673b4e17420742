// The host services the tool uses, fetched by every activation. Null at load;
// the records belong to the host.
#pragma once

#include "host/host_abi.h"

namespace ep {

extern LWMonitorFuncs *monitorService;   // progress and abort while building
extern LWMessageFuncs *messageService;   // error and warning boxes
extern LWXPanelFuncs *panelService;      // panels and panel drawing

}  // namespace ep
