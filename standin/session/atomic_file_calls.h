// The system calls that put an output file on the disk, behind one small
// interface a test can replace, as a database's file layer lets its tests
// fail any disk call.
//
// Every write of an output's bytes, every flush to the disk (of a file, and
// of a folder after a rename) and every rename of the atomic file writer and
// of OutputSet goes through fileCalls(). A test installs a FileCalls of its
// own (setFileCalls) that fails the k-th write, sync or rename the way a full
// disk or a failing device would, and then checks what the program left: no
// output over an input, and the set of outputs all or none.
//
// Contract of each call, as its POSIX namesake: write() returns the number of
// bytes written (possibly fewer than asked, never 0 for a non-empty request
// unless it fails) or -1; sync() and rename() return 0 or -1. On -1, errno
// says why (ENOSPC, EIO, ...). The default implementations are the system's
// calls, so an override can count, fail, or pass the call on to the base.
//
// Not thread-safe: install calls before writes start and remove them after.
#pragma once

#include <cstddef>
#include <filesystem>

namespace standin {

class FileCalls {
 public:
  virtual ~FileCalls() = default;
  // Writes up to `size` bytes of `data` to the descriptor `fd`.
  virtual long write(int fd, const char *data, std::size_t size);
  // Flushes a file (or, on POSIX, a folder opened for reading) to the disk.
  virtual int sync(int fd);
  // Renames `from` over `to` in one step (both in one folder).
  virtual int rename(const std::filesystem::path &from, const std::filesystem::path &to);
};

// The calls in use: those installed last, or the system's.
FileCalls &fileCalls();
// Installs `calls` (null: the system's again); returns those installed before.
FileCalls *setFileCalls(FileCalls *calls);

}  // namespace standin
