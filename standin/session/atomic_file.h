// Writing an output file so that a failure never leaves half a file: the
// contents go to a hidden temporary file beside the target, which is then
// renamed over it. Every output of the program (meshes, pictures, reports) is
// written this way, alone (writeFileAtomically) or as one of a set that is
// put in place all together or not at all (OutputSet, output_set.h). Every
// write, flush and rename goes through fileCalls() (atomic_file_calls.h).
#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>

#include "standin/host/failure.h"
#include "standin/host/progress_display.h"

namespace standin {

// Writes `contents` to `path`, the one way a single output file is written.
//
// - A regular file (or a new one) is replaced whole: the contents go to a
//   temporary file in the target's folder (named ".elasticpull-" and ten
//   random letters and digits, whatever the target's name, so a name as long
//   as the file system allows can still be written), which gets the owner,
//   group and permissions of the file it replaces (as far as the process may
//   set them), is flushed to disk, and is renamed over the target; then the
//   folder is flushed, so that the rename survives a crash.
// - A file with more than one name (hard links) is refused: a replacement
//   would leave the other names with the old contents, and writing into the
//   file itself could not be undone if it failed half way.
// - A symbolic link is followed to the file it names, which is replaced or,
//   when the link dangles, created; the link itself stays.
// - A character device or a FIFO (/dev/null, a terminal, a named pipe) is
//   written into directly: it cannot be replaced, and its reader expects the
//   bytes. A block device or a socket is refused.
// - "-", /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N name the
//   program's open descriptor N ("-" is 1, standard output), which is
//   written at its current position (after what the program printed so far,
//   and appending to a file the shell opened with >>), whatever it is open on.
//
// `progress`, when given, is told the bytes written so far (16 MiB at a time).
// The interrupt flag (setWriteInterruptFlag) is read between those chunks
// and once more before the rename.
//
// Throws Failure, after removing the temporary file: CannotWrite ("cannot
// write 'path': reason"; the target is as it was), Interrupted (the interrupt
// flag stopped it; the target is as it was), or NotDurable (the file is in
// place, but its folder could not be flushed to the disk).
void writeFileAtomically(const std::string &path, std::string_view contents,
                         const ProgressReport &progress = {});

// Whether a write to `path` goes into a stream rather than replacing a file:
// a character device, a FIFO or one of the program's descriptors (above).
// Such a target may take several outputs, one after the other.
bool writesIntoStream(const std::string &path);

// The program's descriptor that `path` names ("-", /dev/stdout, /dev/fd/N,
// ...; see writeFileAtomically), or -1.
int descriptorNamed(const std::string &path);

// The file a write to `path` replaces or creates: symbolic links followed (up
// to 40 of them), the last of which may name a file that does not exist yet.
std::filesystem::path outputTarget(const std::string &path);

// The flag that stops every write in progress (set by a Ctrl-C handler); null:
// writes are not stopped. An interrupted write throws
// Failure(FailureKind::Interrupted) and leaves its target as it was.
void setWriteInterruptFlag(const std::atomic<bool> *flag);

// For a signal handler that ends the program: removes the temporary files of
// the writes in progress and of the outputs staged but not yet in place.
// Async-signal-safe (it only calls unlinkat); does nothing on Windows.
void removeTemporaryFileOnSignal() noexcept;

}  // namespace standin
