#include "output_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>
#include <unordered_map>

#include "standin/session/atomic_file.h"
#include "standin/session/run_error.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
using standin::RunError;

// A file's identity: its device and inode.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileId &) const = default;
};
struct FileIdHash {
  std::size_t operator()(const FileId &id) const {
    return std::hash<std::uint64_t>()(id.inode * 31 + id.device);
  }
};

std::optional<FileId> idOf(const struct stat &info) {
  return FileId{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// The identity of what `path` names (links followed), or of the descriptor it
// names; nothing when it does not exist.
std::optional<FileId> identity(const std::string &path, struct stat &info) {
  const int fd = standin::descriptorNamed(path);
  if (fd >= 0 ? fstat(fd, &info) != 0 : stat(path.c_str(), &info) != 0) return std::nullopt;
  return idOf(info);
}

std::string where(const PlannedOutput &o, const std::string &scriptName) {
  return o.line == 0 ? "" : scriptName + ":" + std::to_string(o.line) + ": ";
}

// How a message names an output among others: "--svg", "script.txt:4 (save)".
std::string named(const PlannedOutput &o, const std::string &scriptName) {
  return o.line == 0 ? o.option : scriptName + ":" + std::to_string(o.line) + " (" + o.option + ")";
}

class Checker {
 public:
  Checker(const std::vector<ReadFile> &inputs, const std::string &scriptName) : scriptName_(scriptName) {
    struct stat info;
    for (const ReadFile &input : inputs) {
      const bool fromStdin = input.path == "-";
      if (fromStdin ? fstat(0, &info) != 0 || !S_ISREG(info.st_mode) : stat(input.path.c_str(), &info) != 0)
        continue;
      read_.emplace(*idOf(info), &input);
    }
    // Standard output's file or pipe, unless it is /dev/null, which may take
    // any number of outputs.
    struct stat null;
    if (fstat(1, &info) == 0 && !(stat("/dev/null", &null) == 0 && idOf(null) == idOf(info)))
      stdout_ = idOf(info);
  }

  // First every output's place and whether it is a file the run reads, the
  // mistakes that matter most; then the rest.
  void check(const std::vector<PlannedOutput> &outputs) {
    std::vector<std::optional<struct stat>> found(outputs.size());
    for (std::size_t i = 0; i < outputs.size(); ++i) {
      const PlannedOutput &o = outputs[i];
      if (standin::writesIntoStream(o.path)) continue;
      const fs::path target = standin::outputTarget(o.path);
      checkPlace(o, target);
      struct stat info;
      if (stat(target.c_str(), &info) != 0) continue;
      checkNotRead(o, *idOf(info), info.st_nlink);
      found[i] = info;
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
      const PlannedOutput &o = outputs[i];
      checkStandardOutput(o);
      if (found[i]) {
        checkSingleName(o, *found[i]);
        noteOnce(o, files_.emplace(*idOf(*found[i]), &o).first->second);
      } else if (!standin::writesIntoStream(o.path)) {
        std::error_code ec;
        const fs::path target = standin::outputTarget(o.path);
        const std::string place = fs::weakly_canonical(fs::absolute(target, ec), ec).string();
        if (!ec) noteOnce(o, places_.emplace(place, &o).first->second);
      }
    }
  }

  bool toStandardOutput() const { return toStdout_ != nullptr; }

 private:
  void checkStandardOutput(const PlannedOutput &o) {
    struct stat info;
    const bool reaches =
        standin::descriptorNamed(o.path) == 1 || (stdout_ && identity(o.path, info) == stdout_);
    if (!reaches) return;
    if (toStdout_ != nullptr) {
      throw RunError(standin::kExitBadInput, named(*toStdout_, scriptName_) + " '" + toStdout_->shown +
                                                 "' and " + named(o, scriptName_) + " '" + o.shown +
                                                 "' both go to standard output; give one of them a file");
    }
    toStdout_ = &o;
  }

  void checkPlace(const PlannedOutput &o, const fs::path &target) const {
    std::error_code error;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string cannot = where(o, scriptName_) + "cannot write " + o.kind + " '" + o.shown + "': ";
    if (!fs::is_directory(folder, error))
      throw RunError(standin::kExitCannotWrite, cannot + "no such folder '" + folder.string() + "'");
    if (fs::is_directory(target, error)) throw RunError(standin::kExitCannotWrite, cannot + "it is a folder");
  }

  void checkNotRead(const PlannedOutput &o, const FileId &id, std::uintmax_t names) const {
    const auto found = read_.find(id);
    if (found == read_.end()) return;
    const std::string &what = found->second->what;
    const std::string label = where(o, scriptName_) + o.option + " '" + o.shown + "'";
    if (what != kInputMesh) {
      throw RunError(standin::kExitBadInput,
                     label + " is " + what + " this run reads; give the output a file of its own");
    }
    if (o.isResult) return;
    if (o.option == "-o" && names > 1) {
      throw RunError(standin::kExitBadInput, "the output '" + o.shown +
                                                 "' is the input mesh under another name (a hard link); write "
                                                 "the result to a file of its own");
    }
    if (o.option == "-o") {
      throw RunError(standin::kExitBadInput,
                     "the output '" + o.shown + "' is the input mesh; use --in-place to overwrite it");
    }
    throw RunError(standin::kExitBadInput,
                   label + " is the input mesh; only the result may replace it (--in-place)");
  }

  // A file with several names keeps them all only if it is written into,
  // which could not be undone if it failed half way; a replacement would
  // part the names. Neither is done without asking.
  void checkSingleName(const PlannedOutput &o, const struct stat &info) const {
    if (!S_ISREG(info.st_mode) || info.st_nlink <= 1) return;
    const std::string names = std::to_string(info.st_nlink) + " names (hard links)";
    if (o.isResult) {
      throw RunError(standin::kExitCannotWrite,
                     "--in-place: '" + o.shown + "' has " + names +
                         "; replacing it would leave the other names with the old mesh, and writing into it "
                         "could not be undone if it failed half way: write the result with -o and copy it "
                         "over the mesh (cp), which every name sees");
    }
    throw RunError(standin::kExitCannotWrite, where(o, scriptName_) + "cannot write " + o.kind + " '" +
                                                  o.shown + "': it has " + names +
                                                  ", and replacing it would leave the other names with the "
                                                  "old contents; write to another file, or remove the other "
                                                  "names first");
  }

  // `first` is the output noted first for the same file.
  void noteOnce(const PlannedOutput &o, const PlannedOutput *first) const {
    if (first == &o) return;
    throw RunError(standin::kExitBadInput, named(*first, scriptName_) + " and " + named(o, scriptName_) +
                                               " both write '" + o.shown +
                                               "'; give each output its own file");
  }

  const std::string &scriptName_;
  std::unordered_map<FileId, const ReadFile *, FileIdHash> read_;
  std::unordered_map<FileId, const PlannedOutput *, FileIdHash> files_;
  std::unordered_map<std::string, const PlannedOutput *> places_;
  std::optional<FileId> stdout_;
  const PlannedOutput *toStdout_ = nullptr;
};

}  // namespace

CheckedOutputs checkOutputs(const std::vector<PlannedOutput> &outputs, const std::vector<ReadFile> &inputs,
                            const std::string &scriptName) {
  Checker checker(inputs, scriptName);
  checker.check(outputs);
  return CheckedOutputs{checker.toStandardOutput()};
}

}  // namespace cli
