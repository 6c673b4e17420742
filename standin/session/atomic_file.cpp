#include "standin/session/atomic_file.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace standin {
namespace {

namespace fs = std::filesystem;

std::string errnoText() { return std::strerror(errno); }

std::string randomSuffix() {
  static std::mt19937_64 generator{std::random_device{}()};
  char buffer[17];
  auto [ptr, ec] = std::to_chars(buffer, buffer + 16, generator(), 16);
  (void)ec;
  return std::string(buffer, ptr);
}

void renameOver(const fs::path &from, const fs::path &to) {
#ifdef _WIN32
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
  }
#else
  fs::rename(from, to);
#endif
}

}  // namespace

void writeFileAtomically(const std::string &path, const std::string &contents) {
  auto fail = [&](const std::string &reason) {
    throw FileWriteError("cannot write '" + path + "': " + reason);
  };
  std::error_code ec;
  fs::path target(path);
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::canonical(target, ec);
    if (!ec) target = resolved;
  }
  if (fs::is_directory(target, ec)) fail("is a directory");
  const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (!fs::is_directory(directory, ec)) fail("no such directory '" + directory.string() + "'");

  fs::path temporary;
  std::FILE *file = nullptr;
  for (int attempt = 0; attempt < 16 && file == nullptr; ++attempt) {
    std::string name = ".";
    name += target.filename().string();
    name += ".tmp-";
    name += randomSuffix();
    temporary = directory / name;
#ifdef _WIN32
    if (fs::exists(temporary, ec)) continue;
    file = std::fopen(temporary.string().c_str(), "wb");
#else
    file = std::fopen(temporary.c_str(), "wbx");
    if (file == nullptr && errno == EEXIST) continue;
#endif
    if (file == nullptr) fail(errnoText());
  }
  if (file == nullptr) fail("cannot create a temporary file");

  const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
  const int writeErrno = errno;
  const bool flushed = std::fflush(file) == 0;
  const bool closed = std::fclose(file) == 0;
  if (!written || !flushed || !closed) {
    fs::remove(temporary, ec);
    errno = written ? errno : writeErrno;
    fail(errnoText());
  }
  // Keep the permissions of the file being replaced.
  const fs::file_status existing = fs::status(target, ec);
  if (!ec && fs::exists(existing)) fs::permissions(temporary, existing.permissions(), ec);
  try {
    renameOver(temporary, target);
  } catch (const std::system_error &error) {
    fs::remove(temporary, ec);
    fail(error.code().message());
  }
}

}  // namespace standin
