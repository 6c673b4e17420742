#include "fuzz/program/io_faults.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>

extern "C" {
ssize_t __real_write(int fd, const void *data, size_t size);
int __real_fsync(int fd);
int __real_rename(const char *from, const char *to);
}

namespace {

std::string folder;
int countdown = 0;
int faultErrno = 0;

bool underFolder(const std::string &path) {
  return !folder.empty() && path.compare(0, folder.size(), folder) == 0;
}

// Whether the descriptor is open on a regular file under the folder.
bool touchesFolder(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[PATH_MAX];
  const ssize_t length = readlink(link, target, sizeof target - 1);
  return length > 0 && underFolder(std::string(target, static_cast<std::size_t>(length)));
}

// Whether this call is the one that fails.
bool fails(bool touches) {
  if (!touches || countdown <= 0) return false;
  if (--countdown != 0) return false;
  errno = faultErrno;
  return true;
}

}  // namespace

namespace fuzz {

void faultFilesUnder(const std::string &path) { folder = std::filesystem::weakly_canonical(path).string(); }

void failCall(int k, int error) {
  countdown = k;
  faultErrno = error;
}

}  // namespace fuzz

extern "C" {

ssize_t __wrap_write(int fd, const void *data, size_t size) {
  return fails(countdown > 0 && touchesFolder(fd)) ? -1 : __real_write(fd, data, size);
}

int __wrap_fsync(int fd) { return fails(countdown > 0 && touchesFolder(fd)) ? -1 : __real_fsync(fd); }

int __wrap_rename(const char *from, const char *to) {
  const bool touches = countdown > 0 && (underFolder(std::filesystem::absolute(to).string()) ||
                                         underFolder(std::filesystem::absolute(from).string()));
  return fails(touches) ? -1 : __real_rename(from, to);
}
}
