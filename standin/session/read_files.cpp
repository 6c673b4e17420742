#include "standin/session/read_files.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace standin {

#ifdef _WIN32
std::optional<FileId> fileIdentity(const std::string &path) {
  const std::filesystem::path name(path);
  const HANDLE file = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (!known) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}
#else
std::optional<FileId> fileIdentity(const std::string &path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileId{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}
#endif

void ReadFiles::add(const std::string &path, const std::string &what) {
  if (const std::optional<FileId> id = fileIdentity(path)) add(*id, what);
}

void ReadFiles::add(const FileId &id, const std::string &what) { files_.emplace(id, what); }

const std::string *ReadFiles::find(const FileId &id) const {
  const auto found = files_.find(id);
  return found == files_.end() ? nullptr : &found->second;
}

const std::string *ReadFiles::replacedBy(const std::string &path) const {
  if (files_.empty()) return nullptr;
  const std::optional<FileId> id = fileIdentity(path);
  return id ? find(*id) : nullptr;
}

}  // namespace standin
