// Faults planted on purpose, to show that the conversation target finds a
// module that moves a point wrongly: with EP_FUZZ_PLANT set in the
// environment, a position the module hands to pntMove is changed on its way
// to the host, as a slip in the module's arithmetic would change it. The
// shipped module is never touched; without the variable nothing changes.
//
//   EP_FUZZ_PLANT=symmetry-anchor  every anchor end that Symmetry moves lands
//                                  one unit in the last place off (shallow)
//   EP_FUZZ_PLANT=fifth-pair       only the anchor end of the fifth pair, moved
//                                  by a CTRL drag in Offset mode with Symmetry
//                                  (deep: ten selected points, the mode and
//                                  Symmetry set in the panel, a CTRL drag of
//                                  another pair, then a build)
#pragma once

#include "host/host_abi.h"

namespace fuzz {

// Changes `position` as the planted fault says, for a pntMove of `point` by
// the instance `instance` (a no-op without EP_FUZZ_PLANT).
void applyPlantedFault(const void *instance, LWPntID point, double position[3]);

}  // namespace fuzz
