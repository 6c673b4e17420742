// The program's output files, checked together before anything runs: each
// goes into an existing folder and is not a folder; none is a file the run
// reads (the input mesh, the script, the module, the About picture's font;
// only the result, with --in-place, may replace the mesh); none is a file
// with several names (hard links), which a replacement would part; no two
// name the same file; and at most one reaches the program's standard output
// ("-", /dev/stdout, or the file or pipe standard output is open on).
//
// Files are compared by identity (device and inode, links followed): a hard
// or symbolic link to the mesh is the mesh. A stream (/dev/null, a FIFO)
// may take several outputs. Each output costs a few system calls and a hash
// look-up, so thousands of outputs are checked at once.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "standin/session/read_files.h"

namespace cli {

struct PlannedOutput {
  std::string path;       // where it is written (relative names resolved)
  std::string shown;      // as the user wrote it
  std::string kind;       // "the mesh", "the SVG", "the About picture", "the report"
  std::string option;     // "-o", "--in-place", "--svg", "--about-png", "--report"; in a script its command
  std::size_t line = 0;   // its script line; 0 on the command line
  bool isResult = false;  // the result mesh of --in-place: it is meant to replace the input
};

struct CheckedOutputs {
  bool toStandardOutput = false;  // one output goes to standard output
};

// Throws standin::Failure: CannotWrite (exit 3) for a missing folder, a
// folder or a file with several names as the target; BadInput (exit 2) for a
// file the run reads, two outputs naming one file, or two reaching standard
// output.
CheckedOutputs checkOutputs(const std::vector<PlannedOutput> &outputs, const standin::ReadFiles &inputs,
                            const std::string &scriptName);

// The files a run reads, which no output may replace: the mesh and the script
// ("-": standard input, when it is a file), the module, and the font of the
// About picture.
standin::ReadFiles filesTheRunReads(const std::string &mesh, const std::string &script, const std::string &module);

}  // namespace cli
