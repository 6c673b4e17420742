// How a session or the program stops: an exit code with a one-line message.
// Mistakes of the user or the environment (a bad point index, a disabled
// panel control, a file that cannot be written) are RunErrors; failures of
// the tool itself are collected by the session runner instead.
#pragma once

#include <stdexcept>
#include <string>

namespace standin {

// The program's exit codes.
enum ExitCode : int {
  kExitOk = 0,
  kExitToolFailed = 1,   // a build failed, or the tool showed an error or a warning
  kExitBadInput = 2,     // command line, mesh file, selection or script
  kExitCannotWrite = 3,  // an output file could not be written
  kExitNoModule = 4,     // the module could not be loaded or activated
  kExitInterrupted = 130,
};

class RunError : public std::runtime_error {
 public:
  RunError(int exitCode, const std::string &message) : std::runtime_error(message), exitCode_(exitCode) {}
  int exitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

}  // namespace standin
