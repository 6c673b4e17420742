#include "standin/session/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>

#include <csignal>
#endif

namespace standin {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string &path, const std::string &reason) {
  throw Failure(FailureKind::CannotWrite, "cannot write '" + path + "': " + reason);
}

std::string errnoText(int error) { return std::strerror(error); }

// The system's file calls on descriptors, on both systems.
#ifdef _WIN32
int openNew(const fs::path &path) {
  return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int openExisting(const std::string &path) { return _open(path.c_str(), _O_WRONLY | _O_BINARY); }
long writeSome(int fd, const char *data, std::size_t size) {
  return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, std::size_t{1} << 30)));
}
bool flushToDisk(int fd) { return _commit(fd) == 0; }
int closeFile(int fd) { return _close(fd); }
bool renameFile(const fs::path &from, const fs::path &to, std::string &why) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  why = std::system_category().message(static_cast<int>(GetLastError()));
  return false;
}
#else
int openNew(const fs::path &path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
int openExisting(const std::string &path) { return ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC); }
long writeSome(int fd, const char *data, std::size_t size) { return ::write(fd, data, size); }
bool flushToDisk(int fd) { return ::fsync(fd) == 0; }
int closeFile(int fd) { return ::close(fd); }
bool renameFile(const fs::path &from, const fs::path &to, std::string &why) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  why = errnoText(errno);
  return false;
}
#endif

// Writes all of `contents`, 16 MiB at a time for `progress`; false with
// errno set when it cannot.
bool writeAll(int fd, const std::string &contents, const ProgressReport &progress) {
  constexpr std::size_t kChunk = std::size_t{16} << 20;
  std::size_t done = 0;
  while (done < contents.size()) {
    const long wrote = writeSome(fd, contents.data() + done, std::min(contents.size() - done, kChunk));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      if (wrote == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(wrote);
    if (progress) progress(done, contents.size());
  }
  return true;
}

#ifndef _WIN32
// The temporary files being written, for removeTemporaryFileOnSignal: a slot
// is claimed, filled and then published, so a signal handler reads only
// complete names. More writes at once than slots are not cleaned up on a
// signal.
struct PendingSlot {
  std::atomic<int> state{0};  // kFree, kFilling or kPublished
  char path[4096] = {};
};
constexpr int kFree = 0, kFilling = 1, kPublished = 2;
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads the slots");
std::array<PendingSlot, 16> pendingSlots;

PendingSlot *publishPending(const fs::path &path) {
  const std::string &name = path.native();
  if (name.size() >= sizeof(PendingSlot::path)) return nullptr;
  for (PendingSlot &slot : pendingSlots) {
    int expected = kFree;
    if (!slot.state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(slot.path, name.c_str(), name.size() + 1);
    slot.state.store(kPublished);
    return &slot;
  }
  return nullptr;
}

// Holds back every signal of this thread while it lives, so that a temporary
// file and its published name come and go together.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  SignalsHeld(const SignalsHeld &) = delete;
  SignalsHeld &operator=(const SignalsHeld &) = delete;

 private:
  sigset_t before_;
};
#else
struct PendingSlot {};
PendingSlot *publishPending(const fs::path &) { return nullptr; }
// On Windows no signal handler removes temporary files: nothing to hold back.
class SignalsHeld {
 public:
  SignalsHeld() {}
  ~SignalsHeld() {}
};
#endif

void withdrawPending(PendingSlot *slot) {
#ifndef _WIN32
  if (slot != nullptr) slot->state.store(kFree);
#else
  (void)slot;
#endif
}

// A hidden name of fixed length, whatever the target's name.
std::string temporaryName() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::uint64_t bits = generator();
  std::string name = ".elasticpull-";
  for (int i = 0; i < 10; ++i, bits /= 36) name += kDigits[bits % 36];
  return name;
}

// The hidden file beside the target; removed unless it was renamed over it.
class TemporaryFile {
 public:
  TemporaryFile(const fs::path &folder, const std::string &target) : target_(target) {
    int error = EEXIST;
    for (int attempt = 0; attempt < 16 && error == EEXIST; ++attempt) {
      path_ = folder / temporaryName();
      SignalsHeld held;
      pending_ = publishPending(path_);
      fd_ = openNew(path_);
      if (fd_ >= 0) return;
      error = errno;
      withdrawPending(pending_);
    }
    fail(target_, error == EEXIST ? "cannot create a temporary file" : errnoText(error));
  }
  ~TemporaryFile() {
    if (fd_ >= 0) closeFile(fd_);
    if (renamed_) return;
    SignalsHeld held;
    std::error_code ignored;
    fs::remove(path_, ignored);
    withdrawPending(pending_);
  }
  TemporaryFile(const TemporaryFile &) = delete;
  TemporaryFile &operator=(const TemporaryFile &) = delete;

  const fs::path &path() const { return path_; }

  void write(const std::string &contents, const ProgressReport &progress) {
    const bool written = writeAll(fd_, contents, progress) && flushToDisk(fd_);
    const int error = errno;
    const bool closed = closeFile(fd_) == 0;
    fd_ = -1;
    if (!written || !closed) fail(target_, errnoText(written ? errno : error));
  }

  void renameOver(const fs::path &target) {
    std::string why;
    SignalsHeld held;
    if (!renameFile(path_, target, why)) fail(target_, why);
    renamed_ = true;
    withdrawPending(pending_);
  }

 private:
  std::string target_;  // as the caller named it, for messages
  fs::path path_;
  int fd_ = -1;
  PendingSlot *pending_ = nullptr;
  bool renamed_ = false;
};

// The open descriptor a name such as /dev/stdout, /dev/fd/3 or
// /proc/self/fd/3 stands for, or -1.
int descriptorNamed(const std::string &path) {
#ifdef _WIN32
  (void)path;
#else
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

// One of the program's descriptors, written at its position (appending to a
// file opened with >>, as the shell's redirection meant).
void writeToDescriptor(const std::string &path, int fd, const std::string &contents,
                       const ProgressReport &progress) {
  std::fflush(nullptr);  // what the program printed comes first
  if (!writeAll(fd, contents, progress)) fail(path, errnoText(errno));
}

// A device or a FIFO, written into. False when `path` turned out to be a
// regular file after all (it was replaced meanwhile).
bool writeInto(const std::string &path, const std::string &contents, const fs::file_status &status,
               const ProgressReport &progress) {
  if (fs::is_block_file(status)) fail(path, "it is a block device (a disk): refused");
  if (fs::is_socket(status)) fail(path, "it is a socket");
  const int fd = openExisting(path);
  if (fd < 0) fail(path, errnoText(errno));
#ifndef _WIN32
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    closeFile(fd);
    return false;
  }
#endif
  const bool written = writeAll(fd, contents, progress);
  const int error = errno;
  const bool closed = closeFile(fd) == 0;
  if (!written || !closed) fail(path, errnoText(written ? errno : error));
  return true;
}

void replaceWhole(const std::string &path, const std::string &contents, const ProgressReport &progress) {
  std::error_code ec;
  const fs::path target = outputTarget(path);
  if (fs::is_symlink(target, ec)) fail(path, "too many levels of symbolic links");
  if (fs::is_directory(target, ec)) fail(path, "is a directory");
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, ec)) fail(path, "no such directory '" + folder.string() + "'");

  TemporaryFile temporary(folder, path);
  temporary.write(contents, progress);
  // Keep the permissions of the file being replaced.
  const fs::file_status existing = fs::status(target, ec);
  if (!ec && fs::exists(existing)) fs::permissions(temporary.path(), existing.permissions(), ec);
  temporary.renameOver(target);
}

}  // namespace

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

bool writesIntoStream(const std::string &path) {
  if (descriptorNamed(path) >= 0) return true;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  return fs::is_character_file(status) || fs::is_fifo(status);
}

void writeFileAtomically(const std::string &path, const std::string &contents,
                         const ProgressReport &progress) {
  if (const int fd = descriptorNamed(path); fd >= 0) return writeToDescriptor(path, fd, contents, progress);
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  const bool special = fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
  if (special && writeInto(path, contents, status, progress)) return;
  replaceWhole(path, contents, progress);
}

void removeTemporaryFileOnSignal() noexcept {
#ifndef _WIN32
  for (PendingSlot &slot : pendingSlots)
    if (slot.state.load() == kPublished) ::unlink(slot.path);
#endif
}

}  // namespace standin
