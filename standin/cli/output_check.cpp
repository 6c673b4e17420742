#include "output_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>
#include <unordered_map>

#include "standin/session/atomic_file.h"
#include "standin/session/read_files.h"
#include "standin/host/failure.h"
#include "standin/media/freetype_font.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
using standin::Failure;
using standin::FailureKind;

using standin::FileId;

FileId idOf(const struct stat &info) {
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
  Checker(const standin::ReadFiles &inputs, const std::string &scriptName)
      : inputs_(inputs), scriptName_(scriptName) {
    struct stat info;
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
      checkNotRead(o, idOf(info), info.st_nlink);
      found[i] = info;
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
      const PlannedOutput &o = outputs[i];
      checkStandardOutput(o);
      if (found[i]) {
        checkSingleName(o, *found[i]);
        noteOnce(o, files_.emplace(idOf(*found[i]), &o).first->second);
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
      throw Failure(FailureKind::BadInput, named(*toStdout_, scriptName_) + " '" + toStdout_->shown +
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
      throw Failure(FailureKind::CannotWrite, cannot + "no such folder '" + folder.string() + "'");
    if (fs::is_directory(target, error)) throw Failure(FailureKind::CannotWrite, cannot + "it is a folder");
  }

  void checkNotRead(const PlannedOutput &o, const FileId &id, std::uintmax_t names) const {
    const std::string *found = inputs_.find(id);
    if (found == nullptr) return;
    const std::string &what = *found;
    const std::string label = where(o, scriptName_) + o.option + " '" + o.shown + "'";
    if (what != standin::kInputMesh) {
      throw Failure(FailureKind::BadInput,
                     label + " is " + what + " this run reads; give the output a file of its own");
    }
    if (o.isResult) return;
    if (o.option == "-o" && names > 1) {
      throw Failure(FailureKind::BadInput, "the output '" + o.shown +
                                                 "' is the input mesh under another name (a hard link); write "
                                                 "the result to a file of its own");
    }
    if (o.option == "-o") {
      throw Failure(FailureKind::BadInput,
                     "the output '" + o.shown + "' is the input mesh; use --in-place to overwrite it");
    }
    throw Failure(FailureKind::BadInput,
                   label + " is the input mesh; only the result may replace it (--in-place)");
  }

  // A file with several names keeps them all only if it is written into,
  // which could not be undone if it failed half way; a replacement would
  // part the names. Neither is done without asking.
  void checkSingleName(const PlannedOutput &o, const struct stat &info) const {
    if (!S_ISREG(info.st_mode) || info.st_nlink <= 1) return;
    const std::string names = std::to_string(info.st_nlink) + " names (hard links)";
    if (o.isResult) {
      throw Failure(FailureKind::CannotWrite,
                     "--in-place: '" + o.shown + "' has " + names +
                         "; replacing it would leave the other names with the old mesh, and writing into it "
                         "could not be undone if it failed half way: write the result with -o and copy it "
                         "over the mesh (cp), which every name sees");
    }
    throw Failure(FailureKind::CannotWrite, where(o, scriptName_) + "cannot write " + o.kind + " '" +
                                                  o.shown + "': it has " + names +
                                                  ", and replacing it would leave the other names with the "
                                                  "old contents; write to another file, or remove the other "
                                                  "names first");
  }

  // `first` is the output noted first for the same file.
  void noteOnce(const PlannedOutput &o, const PlannedOutput *first) const {
    if (first == &o) return;
    throw Failure(FailureKind::BadInput, named(*first, scriptName_) + " and " + named(o, scriptName_) +
                                               " both write '" + o.shown +
                                               "'; give each output its own file");
  }

  const standin::ReadFiles &inputs_;
  const std::string &scriptName_;
  std::unordered_map<FileId, const PlannedOutput *, standin::FileIdHash> files_;
  std::unordered_map<std::string, const PlannedOutput *> places_;
  std::optional<FileId> stdout_;
  const PlannedOutput *toStdout_ = nullptr;
};

}  // namespace

CheckedOutputs checkOutputs(const std::vector<PlannedOutput> &outputs, const standin::ReadFiles &inputs,
                            const std::string &scriptName) {
  Checker checker(inputs, scriptName);
  checker.check(outputs);
  return CheckedOutputs{checker.toStandardOutput()};
}

standin::ReadFiles filesTheRunReads(const std::string &mesh, const std::string &script, const std::string &module) {
  standin::ReadFiles files;
  // Standard input ("-") counts when it is a file.
  const auto add = [&files](const std::string &path, const char *what) {
    struct stat info;
    if (path != "-")
      files.add(path, what);
    else if (fstat(0, &info) == 0 && S_ISREG(info.st_mode))
      files.add(idOf(info), what);
  };
  add(mesh, standin::kInputMesh);
  if (!script.empty()) add(script, "the script");
  files.add(module, "the module");
  files.add(standin::FreeTypeFont::findDefaultFont(), "the font of the About picture");
  return files;
}

}  // namespace cli
