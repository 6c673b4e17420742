#include "standin/session/text_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace standin {
namespace {

// Reads `file` to its end; `limit` 0 means no limit.
std::string readAll(std::FILE *file, std::size_t limit) {
  std::string text;
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    if (const void *nul = std::memchr(buffer, '\0', got)) {
      const char *at = static_cast<const char *>(nul);
      const auto newlines = std::count(text.begin(), text.end(), '\n') +
                            std::count(static_cast<const char *>(buffer), at, '\n');
      throw TextInputError(TextInputError::Kind::NotText, "not a text file (contains a NUL byte)",
                           static_cast<std::size_t>(newlines) + 1);
    }
    if (limit != 0 && text.size() + got > limit) {
      throw TextInputError(
          TextInputError::Kind::NeverEnds,
          "it does not end (more than " + std::to_string(limit >> 20) + " MiB from a pipe or a device)");
    }
    text.append(buffer, got);
  }
  if (std::ferror(file) != 0) throw TextInputError(TextInputError::Kind::CannotRead, std::strerror(errno));
  return text;
}

}  // namespace

std::string readTextFile(const std::string &path, std::size_t streamLimit) {
  std::error_code ec;
  const bool regular = std::filesystem::is_regular_file(path, ec);
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) throw TextInputError(TextInputError::Kind::CannotOpen, std::strerror(errno));
  try {
    std::string text = readAll(file, regular ? 0 : streamLimit);
    std::fclose(file);
    return text;
  } catch (...) {
    std::fclose(file);
    throw;
  }
}

std::string readTextStream(std::FILE *stream, std::size_t limit) { return readAll(stream, limit); }

std::size_t byteOrderMarkLength(std::string_view text) { return text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0; }

}  // namespace standin
