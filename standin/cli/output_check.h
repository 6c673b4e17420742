// The program's output files, checked together before anything runs: each
// goes into an existing folder and is not a folder; none is the input mesh
// (only the result, with --in-place, may replace it); no two name the same
// file. Files are compared by identity: a hard or symbolic link to the mesh
// is the mesh. A stream (/dev/null, a FIFO, /dev/stdout) may take several
// outputs.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cli {

struct PlannedOutput {
  std::string path;       // where it is written (relative names resolved)
  std::string shown;      // as the user wrote it
  std::string kind;       // "the mesh", "the SVG", "the About picture"
  std::string option;     // "-o", "--in-place", "--svg", "--about-png"; in a script its command
  std::size_t line = 0;   // its script line; 0 on the command line
  bool isResult = false;  // the result mesh of --in-place: it is meant to replace the input
};

// Throws standin::Failure: CannotWrite (exit 3) for a missing folder or a folder as the
// target, BadInput (exit 2) for the input mesh or two outputs naming one file. `mesh`
// is empty when the mesh came from standard input.
void checkOutputs(const std::vector<PlannedOutput> &outputs, const std::string &mesh,
                  const std::string &scriptName);

}  // namespace cli
