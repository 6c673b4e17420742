// What elasticpull-host does with its options: read the mesh, select, load
// and drive the tool, write the outputs, print the summary. Returns the exit
// code (standin::ExitCode).
#pragma once

#include <filesystem>

#include "command_line.h"
#include "host/host_abi.h"

namespace cli {

int runProgram(ProgramOptions options, const std::filesystem::path &programFolder);
// The same with a module linked into this process (its descriptor) in place
// of the module file: how the program-layer fuzz target runs the program.
int runProgramLinked(ProgramOptions options, const std::filesystem::path &programFolder,
                     const ModuleDescriptor *linked);

// Prints the module's descriptor and server, activates the tool and closes
// it again (--describe).
int describeModule(const std::string &modulePath);

}  // namespace cli
