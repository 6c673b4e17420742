// The wireframe overlay: every pair's line, a mark through each end along the
// line, and a circle around the handle end.
#pragma once

#include "host/host_abi.h"

extern "C" void toolDraw(void *instance, LWWireDrawAccess *access);

namespace ep {
// The float nearest to v, as the drawing calls take single precision. Values
// beyond float's range become infinities instead of an undefined conversion.
float toDrawFloat(double v);
}  // namespace ep
