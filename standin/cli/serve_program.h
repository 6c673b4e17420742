// `elasticpull-host serve`: the playground. Reads the mesh (default: the
// bundled example, every point selected), picks the tool on it and serves the
// page in which it is dragged until Ctrl-C. Returns the exit code
// (standin::ExitCode).
#pragma once

#include <filesystem>

#include "command_line.h"

namespace cli {

int runServe(const ProgramOptions &options, const std::filesystem::path &programFolder);

}  // namespace cli
