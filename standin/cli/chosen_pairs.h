// The pairs a user chose on the command line: --pairs H:A,... as written (or
// --pairs @FILE), or
// --pairs-from-edges (with --axis and --axis-tolerance) from the mesh file.
// Both the one-run program and `serve` take them so.
#pragma once

#include <string>
#include <vector>

#include "standin/session/obj_file.h"
#include "standin/session/selection.h"

namespace cli {

// What was chosen, and what the file's edges left out (a sentence, empty when
// nothing was).
struct ChosenPairs {
  std::vector<standin::PointPair> pairs;
  std::string skipped;
};

// The pairs of `pairsText` when it is not empty ("@FILE": those of FILE, H:A
// one a line or comma-separated, blank lines and '#' comments allowed, for
// more pairs than a command line holds), else of the file's line
// elements, or with `axis` ("x", "y", "z") of its edges within `degrees` of
// that axis. Throws Failure (BadInput) naming what is wrong, also when the
// file has no such pairs.
ChosenPairs chosenPairs(const std::string &pairsText, const std::string &axis, double degrees,
                        const standin::ObjFile &obj);

}  // namespace cli
