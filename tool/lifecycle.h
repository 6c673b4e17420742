// The callbacks that carry an edit through update, reject, clone, reset and
// activate: test, dirty, down, end and event. They only move the instance's
// flags; the mesh changes in the next build.
#pragma once

#include "host/host_abi.h"

extern "C" {
int toolTest(void *instance);
int toolDirty(void *instance);
int toolDown(void *instance, LWToolEvent *event);
void toolEnd(void *instance, int keep);
void toolEvent(void *instance, int code);
}
