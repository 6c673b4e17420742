#include "standin/session/output_set.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "standin/session/atomic_file.h"
#include "standin/session/atomic_file_calls.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace standin {
namespace {

namespace fs = std::filesystem;

std::string errnoText(int error) { return std::strerror(error); }

#ifdef _WIN32
int openExisting(const std::string &path) { return _open(path.c_str(), _O_WRONLY | _O_BINARY); }
int closeFile(int fd) { return _close(fd); }
bool isRegular(int) { return false; }
#else
int openExisting(const std::string &path) { return ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC); }
int closeFile(int fd) { return ::close(fd); }
bool isRegular(int fd) {
  struct stat info;
  return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}
#endif

}  // namespace

OutputSet::OutputSet(std::function<void(const std::string &)> wrote) : wrote_(std::move(wrote)) {}

OutputSet::~OutputSet() = default;

std::shared_ptr<const OutputFolder> OutputSet::folder(const fs::path &path, const std::string &shown) {
  std::shared_ptr<const OutputFolder> &open = folders_[path.string()];
  if (open == nullptr) open = std::make_shared<const OutputFolder>(path, shown);
  return open;
}

void OutputSet::add(const std::string &path, const std::string &shown, std::string_view contents,
                    const ProgressReport &progress) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  const bool special = fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
  if (descriptorNamed(path) >= 0 || special) {
    if (fs::is_block_file(status)) failWrite(shown, "it is a block device (a disk): refused");
    if (fs::is_socket(status)) failWrite(shown, "it is a socket");
    streams_.push_back(Stream{path, shown, std::string(contents)});
    return;
  }
  const fs::path target = outputTarget(path);
  if (fs::is_symlink(target, ec)) failWrite(shown, "too many levels of symbolic links");
  if (fs::is_directory(target, ec)) failWrite(shown, "is a directory");
  const fs::path place = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (!fs::is_directory(place, ec)) failWrite(shown, "no such directory '" + place.string() + "'");
  files_.push_back(std::make_unique<StagedFile>(folder(place, shown), target, shown, contents, progress));
}

// A stream is written into, at its position for one of the program's
// descriptors (after what the program printed).
void OutputSet::writeStream(const Stream &stream) {
  if (const int fd = descriptorNamed(stream.path); fd >= 0) {
    std::fflush(nullptr);
    writeAll(fd, stream.contents, {}, stream.shown);
    return;
  }
  const int fd = openExisting(stream.path);
  if (fd < 0) failWrite(stream.shown, errnoText(errno));
  if (isRegular(fd)) {
    closeFile(fd);
    failWrite(stream.shown, "it was replaced by a file while the run went on");
  }
  try {
    writeAll(fd, stream.contents, {}, stream.shown);
  } catch (...) {
    closeFile(fd);
    throw;
  }
  if (closeFile(fd) != 0) failWrite(stream.shown, errnoText(errno));
}

// Renames every staged file over its target; when one fails, undoes the
// renames before it and throws.
void OutputSet::renameAll() {
  std::vector<fs::path> backups(files_.size());  // second names of the old files
  std::vector<std::size_t> order, last;          // undoable renames first
  for (std::size_t i = 0; i < files_.size(); ++i) {
    const StagedFile &file = *files_[i];
    std::error_code ec;
    if (file.replaces()) {
      const fs::path backup = file.folder().path() / temporaryFileName();
      fs::create_hard_link(file.target(), backup, ec);
      if (!ec) backups[i] = backup;
    }
    (!file.replaces() || !backups[i].empty() ? order : last).push_back(i);
  }
  order.insert(order.end(), last.begin(), last.end());
  std::string failure;
  std::vector<std::size_t> done;
  for (const std::size_t i : order) {
    if (files_[i]->rename()) {
      done.push_back(i);
      continue;
    }
    failure = "cannot write '" + files_[i]->shown() + "': " + errnoText(errno);
    for (auto undo = done.rbegin(); undo != done.rend(); ++undo) {
      const StagedFile &file = *files_[*undo];
      std::error_code ec;
      if (!file.replaces()) {
        fs::remove(file.target(), ec);
      } else if (backups[*undo].empty() || fileCalls().rename(backups[*undo], file.target()) != 0) {
        failure +=
            "; '" + file.shown() + "' was replaced already and could not be put back" +
            (backups[*undo].empty() ? "" : " (its old contents are in '" + backups[*undo].string() + "')");
        backups[*undo].clear();
      } else {
        backups[*undo].clear();
      }
    }
    break;
  }
  for (const fs::path &backup : backups) {
    std::error_code ignored;
    if (!backup.empty()) fs::remove(backup, ignored);
  }
  if (!failure.empty()) throw Failure(FailureKind::CannotWrite, failure);
}

void OutputSet::commit() {
  for (const Stream &stream : streams_) {
    writeStream(stream);
    if (wrote_) wrote_(stream.shown);
  }
  streams_.clear();
  {
    SignalsHeld held;
    try {
      if (writeInterruptRequested())
        throw Failure(FailureKind::Interrupted, "stopped before the outputs were put in place");
      renameAll();
    } catch (...) {
      files_.clear();
      throw;
    }
  }
  if (wrote_)
    for (const auto &file : files_) wrote_(file->shown());
  std::string unsynced;
  for (const auto &file : files_) {
    std::shared_ptr<const OutputFolder> &open = folders_[file->folder().path().string()];
    if (open == nullptr) continue;  // flushed already
    if (!open->sync() && unsynced.empty()) {
      unsynced = "'" + file->shown() + "' is written, but its folder '" + open->path().string() +
                 "' could not be flushed to the disk (" + errnoText(errno) + "): it may not survive a crash";
    }
    open.reset();
  }
  files_.clear();
  if (!unsynced.empty()) throw Failure(FailureKind::NotDurable, unsynced);
}

}  // namespace standin
