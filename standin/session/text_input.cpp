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

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The 1-based line of the byte at `offset`.
std::size_t lineAt(std::string_view text, std::size_t offset) {
  return static_cast<std::size_t>(std::count(text.begin(), text.begin() + offset, '\n')) + 1;
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
    const std::size_t from = text.size();
    text.append(buffer, got);
    refuseNotText(text, from);
    if (limit != 0 && text.size() > limit) {
      throw Failure(FailureKind::NotText, "it does not end (more than " + std::to_string(limit >> 20) +
                                              " MiB from a pipe or a device)");
    }
  }
  refuseReadError(file);
}

// A regular file of about `expected` bytes: its first chunk, then (once that
// is text) room for the whole is taken, which costs no memory until it is
// filled, and the rest is read into it 16 MiB at a time, each chunk checked
// as it comes and told to `progress`; then whatever the file grew by
// meanwhile (a file the system reports as empty, such as one in /proc, is
// read in chunks). A file that is not text is refused at the chunk that
// shows it, so a huge binary or sparse file is never held whole.
std::string readRegular(std::FILE *file, std::uintmax_t expected, const ProgressReport &progress) {
  constexpr std::size_t kChunk = std::size_t{16} << 20;
  const std::size_t size = static_cast<std::size_t>(
      std::min<std::uintmax_t>(expected, std::numeric_limits<std::size_t>::max() / 2));
  std::string text;
  std::size_t step = std::min(size, kFirstRead);
  while (text.size() < size) {
    const std::size_t got = text.size();
    if (got == kFirstRead) text.reserve(size);
    text.resize(got + step);
    const std::size_t read = std::fread(text.data() + got, 1, step, file);
    text.resize(got + read);
    refuseNotText(text, got);
    if (read < step) break;
    if (got > 0 && progress) progress(text.size(), size);
    step = std::min(size - text.size(), kChunk);
  }
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

// A mark past the start is what joining two files leaves, and a reader that
// skipped only the first would take the line it starts for something else.
void refuseNotText(std::string_view text, std::size_t from) {
  if (from >= text.size()) return;
  if (const void *nul = std::memchr(text.data() + from, '\0', text.size() - from)) {
    const auto offset = static_cast<std::size_t>(static_cast<const char *>(nul) - text.data());
    throw Failure(FailureKind::NotText, "not a text file (contains a NUL byte)", "", lineAt(text, offset));
  }
  for (std::size_t at = from >= 2 ? from - 2 : 0; (at = text.find(kByteOrderMark, at)) != text.npos; ++at) {
    if (at == 0) continue;
    throw Failure(FailureKind::NotText,
                  "a byte-order mark (bytes EF BB BF) in mid-file: only the very start of a file may have one "
                  "(were two files joined?)",
                  "", lineAt(text, at));
  }
}

std::size_t byteOrderMarkLength(std::string_view text) { return text.substr(0, 3) == kByteOrderMark ? 3 : 0; }

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
