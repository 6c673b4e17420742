/* Compiled as C: the layout a plain-C host sees. On the 32-bit builds the
 * shipping sizes are also pinned here at compile time. */
#include "tests/abi/abi_layout_c.h"

#include <stdint.h>

#include "host/host_abi.h"

#if UINTPTR_MAX == 0xFFFFFFFFu
_Static_assert(sizeof(ModuleDescriptor) == 24, "module descriptor is 24 bytes on 32-bit targets");
_Static_assert(sizeof(ServerRecord) == 16, "server record is 16 bytes on 32-bit targets");
_Static_assert(sizeof(ServerTagInfo) == 8, "tag entry is 8 bytes on 32-bit targets");
_Static_assert(sizeof(uintptr_t) == 4, "a word is 4 bytes on 32-bit targets");
#endif

EpAbiLayoutC epAbiLayoutC(void) {
  EpAbiLayoutC layout;
  layout.moduleDescriptor = sizeof(ModuleDescriptor);
  layout.descriptorServerDefs = offsetof(ModuleDescriptor, serverDefs);
  layout.serverRecord = sizeof(ServerRecord);
  layout.serverTagInfo = sizeof(ServerTagInfo);
  layout.toolEvent = sizeof(LWToolEvent);
  layout.toolFuncs = sizeof(LWToolFuncs);
  layout.meshEditTool = sizeof(LWMeshEditTool);
  layout.pointInfo = sizeof(EDPointInfo);
  layout.pointInfoPosition = offsetof(EDPointInfo, position);
  layout.meshEditOp = sizeof(MeshEditOp);
  layout.panelFuncs = sizeof(LWXPanelFuncs);
  layout.panelFuncsPost = offsetof(LWXPanelFuncs, post);
  return layout;
}
