// The pairs a user chose on the command line: --pairs H:A,... as written, or
// --pairs-from-edges (with --axis) from the mesh file.
#pragma once

#include <string>
#include <vector>

#include "standin/session/obj_file.h"
#include "standin/session/selection.h"

namespace cli {

// The pairs of `pairsText` when it is not empty, else of the file's
// two-point line elements, or with `axis` ("x", "y", "z") of its edges along
// that axis; checked (checkPairs). Throws Failure (BadInput) naming what is
// wrong, also when the file has no such pairs.
std::vector<standin::PointPair> chosenPairs(const std::string &pairsText, const std::string &axis,
                                            const standin::ObjFile &obj);

}  // namespace cli
