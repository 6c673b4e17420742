/* Compiled as C: the layout a plain-C host sees. On the 32-bit builds the
 * shipping sizes are also pinned here at compile time. */
#include "tests/host/abi_layout_c.h"

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

static const long kHintTags[] = {
    LWXP_HINT_HIDDEN,       LWXP_HINT_TITLE,     LWXP_HINT_ENABLE_LINK,   LWXP_HINT_CHOICE_ITEMS,
    LWXP_HINT_MAX,          LWXP_HINT_MIN,       LWXP_HINT_STEP,          LWXP_HINT_BUTTON_LAYOUT,
    LWXP_HINT_BUTTON_CLICK, LWXP_HINT_DRAW_FUNC, LWXP_HINT_PANEL_SETTING, LWXP_HINT_THUMBNAIL_SETTING,
};

const long *epHintTagsC(size_t *count) {
  *count = sizeof kHintTags / sizeof kHintTags[0];
  return kHintTags;
}
