// The result a build pass and its steps end on when they fail by themselves.
#pragma once

#include "host/host_abi.h"

namespace ep {

// Too few selected points, a user abort at a monitor step, a point the host
// cannot place, or a failure inside a pair loop. It is the operation's code for
// a user abort: the scan callback ends the host's point scan with it.
inline constexpr int kPassFailed = EDERR_USERABORT;

}  // namespace ep
