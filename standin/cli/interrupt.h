// Signals while the program runs.
//
// Ctrl-C (SIGINT): the first one sets a flag that every stage of the run
// reads: the reading of the mesh (between chunks), the host's progress
// monitor (a running build is aborted through the tool's own abort path: its
// monitor step answers "abort", and the tool shows its error box), a script
// (before its next command), and every output file being written (between
// chunks, and once more before the outputs are renamed into place). The run
// then stops, removes the temporary files of its unfinished outputs, leaves
// the input and every file it had not yet replaced as they were, and exits
// with 130. Once the renames that put the outputs in place have begun, they
// are finished (a Ctrl-C then comes too late to stop anything).
//
// A second Ctrl-C, SIGTERM, SIGHUP and SIGPIPE (a closed pipe on standard
// output) end the program at once, as their default action does, after
// removing the temporary files of the writes in progress (the targets are
// left as they were). SIGTERM or SIGHUP ignored when the program started
// (SIGHUP under nohup) stays ignored.
#pragma once

#include <atomic>
#include <string>

#include "standin/host/progress_display.h"

namespace cli {

// Installs the handlers and makes the flag stop every output write; returns
// the flag Ctrl-C sets.
const std::atomic<bool> &installInterruptHandler();
bool interrupted();

// A progress report for reading an input (`what`, e.g. "the mesh") that
// throws standin::Failure (Interrupted: exit 130) once Ctrl-C was pressed, and
// otherwise passes on to `report` (which may be empty).
standin::ProgressReport interruptibleReading(standin::ProgressReport report, const std::string &what);

}  // namespace cli
