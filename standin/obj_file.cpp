#include "standin/obj_file.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string_view>
#include <system_error>
#include <unordered_set>

#ifdef _WIN32
#include <windows.h>
#endif

namespace standin {
namespace {

namespace fs = std::filesystem;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Parses one whole token as a finite double. Accepts a leading '+', which
// from_chars does not.
enum class NumberResult { Ok, NotANumber, NotFinite };

NumberResult parseNumber(std::string_view token, double &value) {
  std::string_view digits = token;
  if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-' && digits[1] != '+') digits.remove_prefix(1);
  const char *first = digits.data();
  const char *last = first + digits.size();
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range) return NumberResult::NotFinite;
  if (ec != std::errc() || ptr != last) return NumberResult::NotANumber;
  if (!std::isfinite(value)) return NumberResult::NotFinite;
  return NumberResult::Ok;
}

std::string quoted(std::string_view token) {
  constexpr std::size_t kMaxShown = 40;
  std::string shown(token.substr(0, kMaxShown));
  if (token.size() > kMaxShown) shown += "...";
  return "'" + shown + "'";
}

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

ObjFile ObjFile::read(const std::string &path, const std::string &displayName) {
  const std::string name = displayName.empty() ? path : displayName;
  std::error_code ec;
  if (fs::is_directory(path, ec)) throw ObjError(name + ": is a directory, not a mesh file");
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) throw ObjError(name + ": cannot open: " + errnoText());
  std::string text;
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) throw ObjError(name + ": cannot read: " + errnoText());
  return parse(std::move(text), name);
}

ObjFile ObjFile::parse(std::string text, const std::string &displayName) {
  ObjFile obj;
  obj.name_ = displayName;
  obj.text_ = std::move(text);
  const std::string &t = obj.text_;
  const std::size_t size = t.size();
  std::size_t lineStart = 0;
  std::size_t lineNumber = 0;
  auto fail = [&](const std::string &message) {
    throw ObjError(displayName + ":" + std::to_string(lineNumber) + ": " + message);
  };
  while (lineStart < size) {
    ++lineNumber;
    const char *newline =
        static_cast<const char *>(std::memchr(t.data() + lineStart, '\n', size - lineStart));
    const std::size_t lineEnd = newline != nullptr ? static_cast<std::size_t>(newline - t.data()) : size;
    const std::string_view line(t.data() + lineStart, lineEnd - lineStart);
    const std::size_t nextStart = lineEnd + 1;

    std::size_t pos = 0;
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    const bool isVertex =
        pos < line.size() && line[pos] == 'v' && (pos + 1 == line.size() || isBlank(line[pos + 1]));
    if (line.find('\0') != std::string_view::npos) fail("not a text file (contains a NUL byte)");
    if (!isVertex) {
      lineStart = nextStart;
      continue;
    }
    ++pos;

    // Splits the rest of the line into tokens; a '#' starts a comment.
    auto nextToken = [&](std::string_view &token) {
      while (pos < line.size() && isBlank(line[pos])) ++pos;
      if (pos >= line.size() || line[pos] == '#') return false;
      const std::size_t begin = pos;
      while (pos < line.size() && !isBlank(line[pos])) ++pos;
      token = line.substr(begin, pos - begin);
      return true;
    };

    Position position{};
    std::size_t spanBegin = 0;
    std::size_t spanEnd = 0;
    for (int axis = 0; axis < 3; ++axis) {
      std::string_view token;
      if (!nextToken(token)) {
        fail("a vertex needs three numbers (x y z), found " + std::to_string(axis));
      }
      if (axis == 0) spanBegin = lineStart + static_cast<std::size_t>(token.data() - line.data());
      spanEnd = lineStart + static_cast<std::size_t>(token.data() - line.data()) + token.size();
      switch (parseNumber(token, position[static_cast<std::size_t>(axis)])) {
        case NumberResult::Ok:
          break;
        case NumberResult::NotANumber:
          fail("vertex coordinate " + quoted(token) + " is not a number");
          break;
        case NumberResult::NotFinite:
          fail("vertex coordinate " + quoted(token) + " is not a finite number");
          break;
      }
    }
    // Further components (w, or a colour r g b) must be numbers too; they are
    // kept as written.
    std::string_view extra;
    while (nextToken(extra)) {
      double ignored;
      if (parseNumber(extra, ignored) == NumberResult::NotANumber) {
        fail("unexpected " + quoted(extra) + " after the vertex coordinates");
      }
    }
    obj.positions_.push_back(position);
    obj.spans_.push_back(Span{spanBegin, spanEnd, lineNumber});
    lineStart = nextStart;
  }
  obj.changed_.assign(obj.positions_.size(), 0);
  return obj;
}

std::vector<std::pair<std::size_t, std::size_t>> ObjFile::edges() const {
  std::vector<std::pair<std::size_t, std::size_t>> edges;
  std::unordered_set<std::uint64_t> seen;
  const std::string_view t = text_;
  std::size_t pointsBefore = 0;  // `v` lines before the current line
  std::size_t nextSpan = 0;
  std::size_t start = 0;
  while (start < t.size()) {
    std::size_t end = t.find('\n', start);
    if (end == std::string_view::npos) end = t.size();
    while (nextSpan < spans_.size() && spans_[nextSpan].begin < start) ++nextSpan;
    pointsBefore = nextSpan;
    std::string_view line = t.substr(start, end - start);
    start = end + 1;
    std::size_t pos = 0;
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    if (pos + 1 >= line.size() || (line[pos] != 'f' && line[pos] != 'l') || !isBlank(line[pos + 1])) continue;
    const bool isFace = line[pos] == 'f';
    pos += 2;
    std::vector<std::size_t> corners;
    while (pos < line.size()) {
      while (pos < line.size() && isBlank(line[pos])) ++pos;
      if (pos >= line.size() || line[pos] == '#') break;
      const std::size_t begin = pos;
      while (pos < line.size() && !isBlank(line[pos])) ++pos;
      const std::string_view token = line.substr(begin, pos - begin);
      long long reference = 0;
      auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), reference);
      if (ec != std::errc() || (ptr != token.data() + token.size() && *ptr != '/')) continue;
      long long index = reference > 0 ? reference - 1 : static_cast<long long>(pointsBefore) + reference;
      if (reference == 0 || index < 0 || static_cast<std::size_t>(index) >= positions_.size()) continue;
      corners.push_back(static_cast<std::size_t>(index));
    }
    const bool closed = isFace && corners.size() > 2;
    for (std::size_t i = 0; i + 1 < corners.size() + (closed ? 1 : 0); ++i) {
      std::size_t a = corners[i];
      std::size_t b = corners[(i + 1) % corners.size()];
      if (a == b) continue;
      if (a > b) std::swap(a, b);
      if (seen.insert((static_cast<std::uint64_t>(a) << 32) ^ static_cast<std::uint64_t>(b)).second) {
        edges.emplace_back(a, b);
      }
    }
  }
  return edges;
}

void ObjFile::setPosition(std::size_t index, const Position &position) {
  Position &current = positions_.at(index);
  if (std::memcmp(current.data(), position.data(), sizeof(Position)) == 0) return;
  current = position;
  changed_[index] = 1;
}

std::size_t ObjFile::changedCount() const {
  std::size_t count = 0;
  for (unsigned char c : changed_) count += c;
  return count;
}

std::string ObjFile::formatNumber(double value) {
  char buffer[64];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  (void)ec;  // 64 characters always suffice for a double
  return std::string(buffer, ptr);
}

std::string ObjFile::text() const {
  std::string out;
  out.reserve(text_.size() + text_.size() / 4);
  std::size_t copied = 0;
  char buffer[64];
  for (std::size_t i = 0; i < spans_.size(); ++i) {
    if (changed_[i] == 0) continue;
    const Span &span = spans_[i];
    out.append(text_, copied, span.begin - copied);
    for (std::size_t axis = 0; axis < 3; ++axis) {
      if (axis > 0) out.push_back(' ');
      auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, positions_[i][axis]);
      (void)ec;
      out.append(buffer, ptr);
    }
    copied = span.end;
  }
  out.append(text_, copied, std::string::npos);
  return out;
}

void ObjFile::write(const std::string &path) const { writeFileAtomically(path, text()); }

void writeFileAtomically(const std::string &path, const std::string &contents) {
  auto fail = [&](const std::string &reason) { throw ObjError("cannot write '" + path + "': " + reason); };
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
