#include "standin/session/staged_file.h"

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>
#include <system_error>

#include "standin/session/atomic_file.h"
#include "standin/session/atomic_file_calls.h"

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <pthread.h>
#include <unistd.h>
#endif

namespace standin {

namespace fs = std::filesystem;

void failWrite(const std::string &shown, const std::string &reason) {
  throw Failure(FailureKind::CannotWrite, "cannot write '" + shown + "': " + reason);
}

namespace {

std::string errnoText(int error) { return std::strerror(error); }

constexpr std::size_t kNameLength = 23;  // ".elasticpull-" and ten characters

}  // namespace

// Of fixed length, whatever the target's name.
std::string temporaryFileName() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::uint64_t bits = generator();
  std::string name = ".elasticpull-";
  for (int i = 0; i < 10; ++i, bits /= 36) name += kDigits[bits % 36];
  return name;
}

// The temporary files that exist, for removeTemporaryFileOnSignal: each by
// its folder's descriptor and its name, so that a slot is small and of fixed
// size however long the folder's path. A slot is claimed, filled and then
// published, so a signal handler reads only complete entries. Slots come in
// blocks that are added as more files are staged at once (a script may take
// thousands of pictures) and never freed, so a handler never reads freed
// memory.
struct PendingSlot {
  std::atomic<int> state{0};  // kFree, kFilling or kPublished
  int folder = -1;
  char name[kNameLength + 1] = {};
};

#ifndef _WIN32
namespace {

constexpr int kFree = 0, kFilling = 1, kPublished = 2;
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads the slots");

struct PendingBlock {
  std::array<PendingSlot, 128> slots;
  PendingBlock *next = nullptr;
};
std::atomic<PendingBlock *> pendingBlocks{nullptr};
static_assert(std::atomic<PendingBlock *>::is_always_lock_free, "a signal handler walks the blocks");

PendingSlot *claimSlot() {
  for (PendingBlock *block = pendingBlocks.load(); block != nullptr; block = block->next) {
    for (PendingSlot &slot : block->slots) {
      int expected = kFree;
      if (slot.state.compare_exchange_strong(expected, kFilling)) return &slot;
    }
  }
  auto *block = new PendingBlock;  // lives as long as the program
  block->slots[0].state.store(kFilling);
  block->next = pendingBlocks.load();
  while (!pendingBlocks.compare_exchange_weak(block->next, block)) {
  }
  return &block->slots[0];
}

PendingSlot *publishPending(int folder, const std::string &name) {
  PendingSlot *slot = claimSlot();
  slot->folder = folder;
  std::memcpy(slot->name, name.c_str(), std::min(name.size() + 1, sizeof slot->name));
  slot->state.store(kPublished);
  return slot;
}

void withdrawPending(PendingSlot *slot) {
  if (slot != nullptr) slot->state.store(kFree);
}

}  // namespace

void removeTemporaryFileOnSignal() noexcept {
  for (PendingBlock *block = pendingBlocks.load(); block != nullptr; block = block->next)
    for (PendingSlot &slot : block->slots)
      if (slot.state.load() == kPublished) ::unlinkat(slot.folder, slot.name, 0);
}

SignalsHeld::SignalsHeld() {
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before_);
}
SignalsHeld::~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

#else
namespace {
void withdrawPending(PendingSlot *) {}
}  // namespace

void removeTemporaryFileOnSignal() noexcept {}
SignalsHeld::SignalsHeld() {}
SignalsHeld::~SignalsHeld() {}
#endif

void writeAll(int fd, std::string_view contents, const ProgressReport &progress, const std::string &shown) {
  constexpr std::size_t kChunk = std::size_t{16} << 20;
  std::size_t done = 0;
  while (done < contents.size()) {
    if (writeInterruptRequested())
      throw Failure(FailureKind::Interrupted, "stopped while writing '" + shown + "'");
    const long wrote =
        fileCalls().write(fd, contents.data() + done, std::min(contents.size() - done, kChunk));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) failWrite(shown, errnoText(wrote == 0 ? EIO : errno));
    done += static_cast<std::size_t>(wrote);
    if (progress) progress(done, contents.size());
  }
}

OutputFolder::OutputFolder(const fs::path &path, const std::string &shown) : path_(path) {
#ifndef _WIN32
  fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) failWrite(shown, "cannot open the folder '" + path.string() + "': " + errnoText(errno));
#else
  (void)shown;
#endif
}

OutputFolder::~OutputFolder() {
#ifndef _WIN32
  if (fd_ >= 0) ::close(fd_);
#endif
}

bool OutputFolder::sync() const {
#ifndef _WIN32
  return fileCalls().sync(fd_) == 0 || errno == EINVAL;
#else
  return true;
#endif
}

StagedFile::StagedFile(std::shared_ptr<const OutputFolder> folder, fs::path target, std::string shown,
                       std::string_view contents, const ProgressReport &progress)
    : folder_(std::move(folder)), target_(std::move(target)), shown_(std::move(shown)) {
  std::error_code ec;
#ifndef _WIN32
  // A target that cannot be looked at is taken for one that exists: it is
  // never removed when renames are undone.
  known_ = ::stat(target_.c_str(), &existing_) == 0;
  replaces_ = known_ || errno != ENOENT;
  const std::uintmax_t names = known_ ? existing_.st_nlink : 0;
#else
  replaces_ = fs::exists(target_, ec);
  const std::uintmax_t names = replaces_ ? fs::hard_link_count(target_, ec) : 0;
#endif
  if (names > 1 && !ec) {
    failWrite(shown_, "it has " + std::to_string(names) +
                          " names (hard links), and replacing it would leave the other names with the old "
                          "contents; write to another file, or remove the other names first");
  }
  create();
  try {
    fill(contents, progress);
  } catch (...) {
    discard();
    throw;
  }
}

StagedFile::~StagedFile() { discard(); }

void StagedFile::discard() noexcept {
#ifndef _WIN32
  if (fd_ >= 0) ::close(fd_);
#else
  if (fd_ >= 0) _close(fd_);
#endif
  fd_ = -1;
  if (renamed_ || name_.empty()) return;
  SignalsHeld held;
#ifndef _WIN32
  ::unlinkat(folder_->fd(), name_.c_str(), 0);
#else
  std::error_code ignored;
  fs::remove(folder_->path() / name_, ignored);
#endif
  withdrawPending(pending_);
  pending_ = nullptr;
  name_.clear();
}

void StagedFile::create() {
  int error = EEXIST;
  for (int attempt = 0; attempt < 16 && error == EEXIST; ++attempt) {
    const std::string name = temporaryFileName();
    SignalsHeld held;
#ifndef _WIN32
    pending_ = publishPending(folder_->fd(), name);
    fd_ = ::openat(folder_->fd(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#else
    fd_ = _wopen((folder_->path() / name).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                 _S_IREAD | _S_IWRITE);
#endif
    if (fd_ >= 0) {
      name_ = name;
      return;
    }
    error = errno;
    withdrawPending(pending_);
    pending_ = nullptr;
  }
  failWrite(shown_, error == EEXIST ? "cannot create a temporary file" : errnoText(error));
}

// The contents, then the old file's owner, group and permissions where the
// process may set them, then a flush to the disk.
void StagedFile::fill(std::string_view contents, const ProgressReport &progress) {
  writeAll(fd_, contents, progress, shown_);
#ifndef _WIN32
  if (known_) {
    if (::fchown(fd_, existing_.st_uid, existing_.st_gid) != 0) {
      [[maybe_unused]] const int groupOnly = ::fchown(fd_, static_cast<uid_t>(-1), existing_.st_gid);
    }
    [[maybe_unused]] const int mode = ::fchmod(fd_, existing_.st_mode & 07777);
  }
  const bool synced = fileCalls().sync(fd_) == 0;
  const int error = errno;
  const bool closed = ::close(fd_) == 0;
#else
  const bool synced = fileCalls().sync(fd_) == 0;
  const int error = errno;
  const bool closed = _close(fd_) == 0;
#endif
  fd_ = -1;
  if (!synced || !closed) failWrite(shown_, errnoText(synced ? errno : error));
#ifdef _WIN32
  std::error_code ec;
  const fs::file_status status = fs::status(target_, ec);
  if (replaces_ && !ec) fs::permissions(folder_->path() / name_, status.permissions(), ec);
#endif
}

bool StagedFile::rename() {
  if (fileCalls().rename(folder_->path() / name_, target_) != 0) return false;
  renamed_ = true;
  withdrawPending(pending_);
  pending_ = nullptr;
  return true;
}

}  // namespace standin
