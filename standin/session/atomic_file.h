// Writing an output file so that a failure never leaves half a file: the
// contents go to a hidden temporary file beside the target, which is then
// renamed over it. Every output of the program (meshes, pictures) is written
// this way.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "standin/host/failure.h"
#include "standin/host/progress_display.h"

namespace standin {

// Writes `contents` to `path`, the one way an output file is written.
//
// - A regular file (or a new one) is replaced whole: the contents go to a
//   temporary file in the target's folder (named ".elasticpull-" and ten
//   random letters and digits, whatever the target's name, so a name as long
//   as the file system allows can still be written), are flushed to disk, and
//   the temporary file is renamed over the target. An existing file's
//   permissions are kept.
// - A symbolic link is followed to the file it names, which is replaced or,
//   when the link dangles, created; the link itself stays.
// - A character device or a FIFO (/dev/null, a terminal, a named pipe) is
//   written into directly: it cannot be replaced, and its reader expects the
//   bytes. A block device or a socket is refused.
// - /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N name the
//   program's open descriptor N, which is written at its current position
//   (after what the program printed so far, and appending to a file the shell
//   opened with >>), whatever it is open on.
//
// `progress`, when given, is told the bytes written so far (16 MiB at a time).
//
// Throws Failure(CannotWrite, "cannot write 'path': reason") and removes the
// temporary file on failure.
void writeFileAtomically(const std::string &path, const std::string &contents,
                         const ProgressReport &progress = {});

// Whether a write to `path` goes into a stream rather than replacing a file:
// a character device, a FIFO or one of the program's descriptors (above).
// Such a target may take several outputs, one after the other.
bool writesIntoStream(const std::string &path);

// The file a write to `path` replaces or creates: symbolic links followed (up
// to 40 of them), the last of which may name a file that does not exist yet.
std::filesystem::path outputTarget(const std::string &path);

// For a signal handler that ends the program: removes the temporary file of
// a write in progress, if there is one. Async-signal-safe (it only calls
// unlink); does nothing on Windows.
void removeTemporaryFileOnSignal() noexcept;

}  // namespace standin
