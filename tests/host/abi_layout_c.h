/* The host records' sizes and key offsets, and the hint tags, as the C
 * compiler sees them, for comparison with the C++ compiler's view in
 * abi_layout_test.cpp. */
#ifndef ELASTICPULL_TESTS_ABI_LAYOUT_C_H
#define ELASTICPULL_TESTS_ABI_LAYOUT_C_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct EpAbiLayoutC {
  size_t moduleDescriptor;
  size_t descriptorServerDefs;
  size_t serverRecord;
  size_t serverTagInfo;
  size_t toolEvent;
  size_t toolFuncs;
  size_t meshEditTool;
  size_t pointInfo;
  size_t pointInfoPosition;
  size_t meshEditOp;
  size_t panelFuncs;
  size_t panelFuncsPost;
} EpAbiLayoutC;

EpAbiLayoutC epAbiLayoutC(void);

/* The panel hint tags as a C host sees them, in the header's order; *count
 * receives their number. */
const long *epHintTagsC(size_t *count);

#ifdef __cplusplus
}
#endif

#endif
