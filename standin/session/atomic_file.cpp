#include "standin/session/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "standin/session/output_set.h"
#include "standin/session/staged_file.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace standin {
namespace {

namespace fs = std::filesystem;

std::atomic<const std::atomic<bool> *> interruptFlag{nullptr};

}  // namespace

void setWriteInterruptFlag(const std::atomic<bool> *flag) { interruptFlag.store(flag); }

bool writeInterruptRequested() {
  const std::atomic<bool> *flag = interruptFlag.load();
  return flag != nullptr && flag->load();
}

fs::path outputTarget(const std::string &path) {
  fs::path target(path);
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(target, ec); ++hops) {
    const fs::path next = fs::read_symlink(target, ec);
    if (ec) break;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
}

int descriptorNamed(const std::string &path) {
  if (path == "-") return 1;
#ifndef _WIN32
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  for (const std::string prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = path.substr(prefix.size());
    if (digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoi(digits);
  }
#endif
  return -1;
}

bool writesIntoStream(const std::string &path) {
  if (descriptorNamed(path) >= 0) return true;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  return fs::is_character_file(status) || fs::is_fifo(status);
}

void writeFileAtomically(const std::string &path, std::string_view contents, const ProgressReport &progress) {
  OutputSet set;
  set.add(path, path, contents, progress);
  set.commit();
}

}  // namespace standin
