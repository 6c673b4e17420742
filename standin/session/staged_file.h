// The parts of the atomic file writer (atomic_file.h): an output's new
// contents staged in a hidden temporary file beside its target, the folder
// that holds them, and the chunked write that an interrupt can stop.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "standin/host/progress_display.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#endif

namespace standin {

struct PendingSlot;

// Whether the flag of setWriteInterruptFlag is set.
bool writeInterruptRequested();

// Writes all of `contents` to `fd` through fileCalls(), 16 MiB at a time,
// telling `progress` and reading the interrupt flag after each chunk. Throws
// Failure naming `shown`: CannotWrite, or Interrupted.
void writeAll(int fd, std::string_view contents, const ProgressReport &progress, const std::string &shown);

// Holds back every signal of this thread while it lives, so that a temporary
// file and its published name come and go together, and so that a set of
// renames is not cut in half. Does nothing on Windows.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld &) = delete;
  SignalsHeld &operator=(const SignalsHeld &) = delete;

 private:
#ifndef _WIN32
  sigset_t before_;
#endif
};

// A folder that outputs are written into, open for as long as files are
// staged in it (on POSIX, for removing them from a signal handler and for
// flushing the folder after a rename).
class OutputFolder {
 public:
  // Throws Failure(CannotWrite) naming `shown` when the folder cannot be opened.
  OutputFolder(const std::filesystem::path &path, const std::string &shown);
  ~OutputFolder();
  OutputFolder(const OutputFolder &) = delete;
  OutputFolder &operator=(const OutputFolder &) = delete;

  const std::filesystem::path &path() const { return path_; }
  int fd() const { return fd_; }
  // Flushes the folder's entries (renames) to the disk through fileCalls().
  // False with errno set when it cannot; a file system that cannot flush a
  // folder at all (EINVAL) counts as done. Always true on Windows.
  bool sync() const;

 private:
  std::filesystem::path path_;
  int fd_ = -1;
};

// One output's new contents, complete and flushed to the disk in a hidden
// file (".elasticpull-" and ten random characters) in the target's folder,
// until rename() puts it over the target. Removed when destroyed unless it
// was renamed. Registered for removeTemporaryFileOnSignal meanwhile.
class StagedFile {
 public:
  // `target` is the file to replace or create (links already followed);
  // `shown` names the output in messages. Refuses a target with several
  // names (hard links). Throws Failure; nothing is left behind.
  StagedFile(std::shared_ptr<const OutputFolder> folder, std::filesystem::path target, std::string shown,
             std::string_view contents, const ProgressReport &progress);
  ~StagedFile();
  StagedFile(const StagedFile &) = delete;
  StagedFile &operator=(const StagedFile &) = delete;

  const std::filesystem::path &target() const { return target_; }
  const std::string &shown() const { return shown_; }
  const OutputFolder &folder() const { return *folder_; }
  // Whether a file was at the target when the contents were staged.
  bool replaces() const { return replaces_; }
  // Renames the temporary file over the target through fileCalls(); false
  // with errno set when it cannot (the temporary file then stays).
  bool rename();

 private:
  void create();
  void discard() noexcept;
  void fill(std::string_view contents, const ProgressReport &progress);

  std::shared_ptr<const OutputFolder> folder_;
  std::filesystem::path target_;
  std::string shown_;  // as the caller named it, for messages
  std::string name_;   // the temporary file's name in the folder
  int fd_ = -1;
  PendingSlot *pending_ = nullptr;
  bool replaces_ = false;
  bool renamed_ = false;
#ifndef _WIN32
  bool known_ = false;  // existing_ holds the target's owner and mode
  struct stat existing_ {};
#endif
};

// A hidden name for a file beside an output: ".elasticpull-" and ten random
// letters and digits.
std::string temporaryFileName();

// "cannot write 'shown': reason".
[[noreturn]] void failWrite(const std::string &shown, const std::string &reason);

}  // namespace standin
