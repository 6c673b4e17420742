// The one failure type of the stand-in host: what kind of failure it is, what
// went wrong in plain words, and where (an input's name, a script's line, an
// option). It never crosses the C interface: only host-side code (loader,
// session, program, server) throws it. Two tables turn a kind into what a
// front end answers: an exit code for the program, an HTTP status for the
// playground's API.
#pragma once

#include <cstddef>
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

enum class FailureKind {
  // What the user gave is wrong: an option, a mesh's text, a selection, a
  // script line, a request's body.
  BadInput,
  // An input that cannot be opened or read (the message is the system's
  // reason), or that is not text: a NUL byte, or no end (from a pipe).
  CannotOpen,
  CannotRead,
  NotText,
  // The command does not fit the session as it stands: the tool is not
  // picked, a control is disabled, no handle is held, nothing to undo.
  Refused,
  NotFound,  // no such resource or command (the API)
  // The tool failed: a build answered an error, a result holds a NaN, the
  // About panel painted nothing.
  ToolFailed,
  CannotWrite,  // an output was not written; its file is as it was
  // An output is in place, but its folder could not be flushed to the disk:
  // it may not survive a crash.
  NotDurable,
  // The module: the file, its loading, its descriptor, its servers, and the
  // activation's answers 1, 2, 3 and any other.
  ModuleMissing,
  ModuleNotLoadable,
  ModuleNoDescriptor,
  ModuleWrongSync,
  ModuleWrongVersion,
  ModuleNoServer,
  ActivationVersion,
  ActivationGlobal,
  ActivationFailed,
  ActivationOther,
  Interrupted,
  OutOfMemory,
  Internal,  // anything else that escaped: a fault of the program itself
};

class Failure : public std::runtime_error {
 public:
  // `line`, when not 0, is the 1-based line of `where` (or of the input, when
  // `where` is still to be named with at()).
  Failure(FailureKind kind, std::string message, std::string where = {}, std::size_t line = 0);

  FailureKind kind() const { return kind_; }
  const std::string &message() const { return message_; }
  const std::string &where() const { return where_; }
  std::size_t line() const { return line_; }
  // "where:line", "where", "line N" or "".
  std::string place() const;

  // The same failure said of `where` (at `line`): a failure that already had
  // a place keeps it after the new one ("script.txt:3: --length: ...").
  Failure at(const std::string &where, std::size_t line = 0) const;

 private:
  FailureKind kind_;
  std::string message_;
  std::string where_;
  std::size_t line_;
};

// The tables: what the program exits with, and what the API answers.
int exitCodeOf(FailureKind kind);
int httpStatusOf(FailureKind kind);

// The failure a front end reports for whatever it caught (call it inside a
// catch block): a Failure as it is, std::bad_alloc as OutOfMemory, any other
// exception as Internal with its text.
Failure caughtFailure();

}  // namespace standin
