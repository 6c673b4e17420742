#include "standin/session/text_input.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>

namespace standin {
namespace {

// The first read of a regular file: a binary file is refused at its first
// NUL byte without being read whole.
constexpr std::size_t kFirstRead = std::size_t{1} << 16;

// Throws NotText when data[0, size) holds a NUL byte; `before` is what was
// read before it, for the line number.
void refuseNul(std::string_view before, const char *data, std::size_t size) {
  const void *nul = std::memchr(data, '\0', size);
  if (nul == nullptr) return;
  const auto newlines =
      std::count(before.begin(), before.end(), '\n') + std::count(data, static_cast<const char *>(nul), '\n');
  throw Failure(FailureKind::NotText, "not a text file (contains a NUL byte)", "",
                static_cast<std::size_t>(newlines) + 1);
}

void refuseReadError(std::FILE *file) {
  if (std::ferror(file) != 0) throw Failure(FailureKind::CannotRead, std::strerror(errno));
}

// Appends the rest of `file` to `text`, a chunk at a time; `limit` 0 means
// no limit.
void readRest(std::FILE *file, std::string &text, std::size_t limit) {
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    refuseNul(text, buffer, got);
    if (limit != 0 && text.size() + got > limit) {
      throw Failure(FailureKind::NotText, "it does not end (more than " + std::to_string(limit >> 20) +
                                              " MiB from a pipe or a device)");
    }
    text.append(buffer, got);
  }
  refuseReadError(file);
}

// A regular file of about `expected` bytes: read into a buffer of that size
// (the first chunk, then the rest 16 MiB at a time, told to `progress`), then
// whatever it grew by meanwhile (a file the system reports as empty, such as
// one in /proc, is read in chunks).
std::string readRegular(std::FILE *file, std::uintmax_t expected, const ProgressReport &progress) {
  constexpr std::size_t kChunk = std::size_t{16} << 20;
  std::string text;
  const std::size_t size = static_cast<std::size_t>(
      std::min<std::uintmax_t>(expected, std::numeric_limits<std::size_t>::max() / 2));
  text.resize(size);
  std::size_t got = std::fread(text.data(), 1, std::min(size, kFirstRead), file);
  refuseNul({}, text.data(), got);
  std::size_t last = got;  // the size of the last read
  while (last > 0 && got < size) {
    last = std::fread(text.data() + got, 1, std::min(size - got, kChunk), file);
    refuseNul(std::string_view(text.data(), got), text.data() + got, last);
    got += last;
    if (progress) progress(got, size);
  }
  text.resize(got);
  refuseReadError(file);
  readRest(file, text, 0);
  return text;
}

}  // namespace

std::string readTextFile(const std::string &path, std::size_t streamLimit, const ProgressReport &progress) {
  std::error_code ec;
  const bool regular = std::filesystem::is_regular_file(path, ec);
  const std::uintmax_t size = regular ? std::filesystem::file_size(path, ec) : 0;
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) throw Failure(FailureKind::CannotOpen, std::strerror(errno));
  try {
    std::string text;
    if (regular && !ec) {
      text = readRegular(file, size, progress);
    } else {
      readRest(file, text, regular ? 0 : streamLimit);
    }
    std::fclose(file);
    return text;
  } catch (...) {
    std::fclose(file);
    throw;
  }
}

std::string readTextStream(std::FILE *stream, std::size_t limit) {
  std::string text;
  readRest(stream, text, limit);
  return text;
}

std::size_t byteOrderMarkLength(std::string_view text) { return text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0; }

void refuseCarriageReturnLineEnds(std::string_view text, const std::string &name) {
  if (text.find('\n') != std::string_view::npos) return;
  // A text of one line may end in a carriage return, and a quoted word (a
  // file name) may hold one; two, or one with a line after it, end lines.
  const auto returns = std::count(text.begin(), text.end(), '\r');
  const bool oneEndsALine =
      returns == 1 && text.find('\r') + 1 < text.size() && text.find('"') == std::string_view::npos;
  if (returns < 2 && !oneEndsALine) return;
  throw Failure(
      FailureKind::BadInput,
      "the lines end in a carriage return alone (old Mac OS line ends), which this program does not "
      "read; convert them to line feeds first, for example with: tr '\\r' '\\n' < IN > OUT",
      name, 1);
}

}  // namespace standin
