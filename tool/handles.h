// One handle per point of the edit: where each is, which takes precedence,
// what a drag or a click on it does, and the tool's help line.
#pragma once

#include "host/host_abi.h"

extern "C" {
int toolCount(void *instance, LWToolEvent *event);
int toolStart(void *instance, LWToolEvent *event);
int toolHandle(void *instance, LWToolEvent *event, int index, LWDVector pos);
int toolAdjust(void *instance, LWToolEvent *event, int index);
const char *toolHelp(void *instance, LWToolEvent *event);
}
