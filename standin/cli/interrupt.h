// Signals while the program runs.
//
// Ctrl-C (SIGINT): the first one sets a flag that the host's progress monitor
// reads, so a running build is aborted through the tool's own abort path (its
// monitor step answers "abort"), and a script stops before its next command;
// a write in progress is finished. The program then stops and says what it
// had written.
//
// A second Ctrl-C, SIGTERM and SIGHUP end the program at once, as their
// default action does, after removing the temporary file of a write in
// progress (the target is left as it was). SIGTERM or SIGHUP ignored when the
// program started (SIGHUP under nohup) stays ignored.
#pragma once

#include <atomic>

namespace cli {

// Installs the handlers; returns the flag Ctrl-C sets.
const std::atomic<bool> &installInterruptHandler();
bool interrupted();

}  // namespace cli
