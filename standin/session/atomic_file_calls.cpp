#include "standin/session/atomic_file_calls.h"

#include <algorithm>
#include <cerrno>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>

#include <cstdio>
#endif

namespace standin {
namespace {

FileCalls systemCalls;
FileCalls *installed = nullptr;

#ifdef _WIN32
// errno for the few reasons a rename fails that a message should name.
int errnoOf(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    default:
      return EIO;
  }
}
#endif

}  // namespace

#ifdef _WIN32
long FileCalls::write(int fd, const char *data, std::size_t size) {
  return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, std::size_t{1} << 30)));
}
int FileCalls::sync(int fd) { return _commit(fd); }
int FileCalls::rename(const std::filesystem::path &from, const std::filesystem::path &to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  errno = errnoOf(GetLastError());
  return -1;
}
#else
long FileCalls::write(int fd, const char *data, std::size_t size) { return ::write(fd, data, size); }
int FileCalls::sync(int fd) { return ::fsync(fd); }
int FileCalls::rename(const std::filesystem::path &from, const std::filesystem::path &to) {
  return std::rename(from.c_str(), to.c_str());
}
#endif

FileCalls &fileCalls() { return installed != nullptr ? *installed : systemCalls; }

FileCalls *setFileCalls(FileCalls *calls) {
  FileCalls *before = installed;
  installed = calls;
  return before;
}

}  // namespace standin
