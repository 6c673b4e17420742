// elasticpull-host: the stand-in Modeler as a command-line program. It loads
// the Elastic_Pull module, reads a mesh, selects points, picks the tool and
// drives it from options or a session script, then writes the result.
#include <filesystem>
#include <iostream>
#include <string>

#include "command_line.h"
#include "run_program.h"
#include "serve_program.h"
#include "standin/host/failure.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The folder holding this program, where the module and the example are
// looked for by default.
std::filesystem::path programFolder(const char *argv0) {
#ifdef _WIN32
  char buffer[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH)
    return std::filesystem::path(std::string(buffer, length)).parent_path();
#else
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) return self.parent_path();
#endif
  return std::filesystem::absolute(argv0).parent_path();
}

}  // namespace

namespace {

int runMain(int argc, char **argv) {
  cli::ParsedCommandLine parsed = cli::parseCommandLine(argc, argv);
  if (!parsed.options) return parsed.exitCode;
  const std::filesystem::path folder = programFolder(argv[0]);
  if (parsed.options->serve) return cli::runServe(*parsed.options, folder);
  if (parsed.options->describe) {
    const std::string module =
        parsed.options->module.empty() ? (folder / "elasticpull.p").string() : parsed.options->module;
    return cli::describeModule(module);
  }
  return cli::runProgram(std::move(*parsed.options), folder);
}

}  // namespace

// Each front end catches its own failures; whatever still escapes (a failure
// before a front end took over, memory running out) ends here with a message,
// never in std::terminate.
int main(int argc, char **argv) {
  try {
    return runMain(argc, argv);
  } catch (...) {
    const standin::Failure failure = standin::caughtFailure();
    std::cerr << "elasticpull-host: " << failure.what() << "\n";
    return standin::exitCodeOf(failure.kind());
  }
}
