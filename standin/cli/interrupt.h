// Ctrl-C while the program runs: the first one sets a flag that the host's
// progress monitor reads, so a running build is aborted through the tool's
// own abort path (its monitor step answers "abort"); the program then stops
// without writing anything. A second Ctrl-C ends the program at once.
#pragma once

#include <atomic>

namespace cli {

// Installs the handler; returns the flag it sets.
const std::atomic<bool> &installInterruptHandler();
bool interrupted();

}  // namespace cli
