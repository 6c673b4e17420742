// The files a run reads (its mesh, its script, the module, a font), known by
// their identity, so that no output is ever written over one of them: not by
// its own name, nor through a symbolic or a hard link. The command line checks
// its planned outputs against them before it starts (output_check.h), and the
// session checks each output again as it writes it (SessionSetup::inputs), so
// that a file renamed or linked meanwhile, or an output only a page's Save
// names, is caught too.
//
// A file's identity is its device and its file number (inode), read with
// symbolic links followed; on Windows, its volume's serial number and its file
// index. Each look-up costs one system call and a hash look-up.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

namespace standin {

struct FileId {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool operator==(const FileId &) const = default;
};

struct FileIdHash {
  std::size_t operator()(const FileId &id) const { return std::hash<std::uint64_t>()(id.file * 31 + id.device); }
};

// The identity of the file `path` names, symbolic links followed; nothing
// when it does not exist or cannot be looked at.
std::optional<FileId> fileIdentity(const std::string &path);

// How the run names its input mesh among the files it reads.
inline constexpr const char *kInputMesh = "the input mesh";

class ReadFiles {
 public:
  // Notes the file `path` names as one the run reads; `what` says what it is
  // ("the input mesh", "the script"). A file that does not exist is left out.
  void add(const std::string &path, const std::string &what);
  void add(const FileId &id, const std::string &what);

  // What the run reads as the file `id`, or null when it reads no such file.
  const std::string *find(const FileId &id) const;
  // What the run reads as the file that a write to `path` would replace
  // (symbolic links followed), or null.
  const std::string *replacedBy(const std::string &path) const;

  bool empty() const { return files_.empty(); }

 private:
  std::unordered_map<FileId, std::string, FileIdHash> files_;
};

}  // namespace standin
