#include "standin/session/obj_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include "standin/host/number_text.h"
#include "standin/session/atomic_file.h"
#include "standin/session/obj_normals.h"
#include "standin/session/text_input.h"

namespace standin {
namespace {

namespace fs = std::filesystem;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string quoted(std::string_view token) {
  constexpr std::size_t kMaxShown = 40;
  std::string shown(token.substr(0, kMaxShown));
  if (token.size() > kMaxShown) shown += "...";
  return "'" + shown + "'";
}

// A mistake on one line; the reader adds the file's name and the line number.
class LineFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The blank-separated tokens of a line from a given offset; a '#' ends them.
class Tokens {
 public:
  Tokens(std::string_view line, std::size_t pos) : line_(line), pos_(pos) {}
  bool next(std::string_view &token) {
    while (pos_ < line_.size() && isBlank(line_[pos_])) ++pos_;
    if (pos_ >= line_.size() || line_[pos_] == '#') return false;
    const std::size_t begin = pos_;
    while (pos_ < line_.size() && !isBlank(line_[pos_])) ++pos_;
    token = line_.substr(begin, pos_ - begin);
    return true;
  }

 private:
  std::string_view line_;
  std::size_t pos_;
};

// The number of '\n' in `text`, eight bytes at a time: a byte-by-byte count
// takes about as long as the parse itself.
std::size_t countNewlines(std::string_view text) {
  constexpr std::uint64_t kEachByte = 0x0101010101010101ull;
  constexpr std::uint64_t kLow7 = kEachByte * 0x7f;
  std::size_t count = 0;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    word ^= kEachByte * '\n';  // a zero byte where a newline was
    // The high bit of each byte that is zero, then their number.
    const std::uint64_t zero = ~(((word & kLow7) + kLow7) | word) & (kEachByte << 7);
    count += static_cast<std::size_t>(((zero >> 7) * kEachByte) >> 56);
  }
  for (; i < text.size(); ++i) count += text[i] == '\n' ? 1 : 0;
  return count;
}

// Room to reserve for the points of `text`, from a count of the lines in its
// first 64 KiB: twice as many points as lines of that length would make,
// but no more than the file can hold (a `v` line has eight bytes at least).
// Room never used costs no memory; too little only makes the arrays grow.
// Counting every line would cost another pass over the whole text.
std::size_t pointsToReserve(std::string_view text) {
  constexpr std::size_t kSample = std::size_t{1} << 16;
  const std::string_view sample = text.substr(0, kSample);
  const std::size_t bytesPerLine = std::max<std::size_t>(1, sample.size() / (countNewlines(sample) + 1));
  return std::min(2 * (text.size() / bytesPerLine + 1), text.size() / 8 + 1);
}

// A `v` line's position and where the text of its x starts in the line.
struct VertexText {
  ObjFile::Position position{};
  std::size_t begin = 0;  // offset of x's first character
};

// A `v` line as files mostly write it: three numbers, each followed by a
// blank or the line's end, then nothing but blanks or a comment. False for
// anything else (a sign '+', extra components, a mistake), which
// readVertexLine then reads token by token.
bool readPlainVertex(std::string_view line, std::size_t pos, VertexText &vertex) {
  const char *const first = line.data();
  const char *const last = first + line.size();
  const char *at = first + pos;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    while (at < last && isBlank(*at)) ++at;
    if (at == last || *at == '+') return false;
    double &value = vertex.position[axis];
    const auto [end, ec] = std::from_chars(at, last, value);
    if (ec != std::errc() || (end < last && !isBlank(*end)) || !std::isfinite(value)) return false;
    if (axis == 0) vertex.begin = static_cast<std::size_t>(at - first);
    at = end;
  }
  while (at < last && isBlank(*at)) ++at;
  return at == last || *at == '#';
}

// Reads a `v` line; nullopt for any other line. Throws LineFault for a `v`
// line without three finite numbers, or with anything but numbers after them
// (w, or a colour r g b, which are kept as written).
std::optional<VertexText> readVertexLine(std::string_view line) {
  std::size_t pos = 0;
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  const bool isVertex =
      pos < line.size() && line[pos] == 'v' && (pos + 1 == line.size() || isBlank(line[pos + 1]));
  if (!isVertex) return std::nullopt;
  VertexText vertex;
  if (readPlainVertex(line, pos + 1, vertex)) return vertex;
  vertex = VertexText{};
  Tokens tokens(line, pos + 1);
  for (std::size_t axis = 0; axis < 3; ++axis) {
    std::string_view token;
    if (!tokens.next(token))
      throw LineFault("a vertex needs three numbers (x y z), found " + std::to_string(axis));
    const auto offset = static_cast<std::size_t>(token.data() - line.data());
    if (axis == 0) vertex.begin = offset;
    switch (parseNumber(token, vertex.position[axis])) {
      case NumberParse::Ok:
        break;
      case NumberParse::NotANumber:
        throw LineFault("vertex coordinate " + quoted(token) + " is not a number");
      case NumberParse::NotFinite:
        throw LineFault("vertex coordinate " + quoted(token) + " is not a finite number");
    }
  }
  std::string_view extra;
  while (tokens.next(extra)) {
    double ignored;
    if (parseNumber(extra, ignored) == NumberParse::NotANumber)
      throw LineFault("unexpected " + quoted(extra) + " after the vertex coordinates");
  }
  return vertex;
}

// The normal a face corner names (`a//n`, `a/t/n`: what follows its second
// '/'), or nothing.
std::string_view cornerNormal(std::string_view corner) {
  const std::size_t second = corner.find('/', corner.find('/') + 1);
  return second != std::string_view::npos ? corner.substr(second + 1) : std::string_view{};
}

// Whether a line is a face (`f`) whose first corner names a normal.
bool isFaceWithNormals(std::string_view line) {
  std::size_t pos = 0;
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  if (pos + 1 >= line.size() || line[pos] != 'f' || !isBlank(line[pos + 1])) return false;
  Tokens tokens(line, pos + 1);
  std::string_view corner;
  return tokens.next(corner) && !cornerNormal(corner).empty();
}

}  // namespace

namespace {

// How often the reader and the writer tell their progress: every megabyte.
constexpr std::size_t kProgressEvery = std::size_t{1} << 20;

// Reads a mesh's text with `read`, naming it `name` in a failure's message.
template <typename Read>
std::string readMeshText(const std::string &name, Read &&read) {
  try {
    return read();
  } catch (const Failure &error) {
    if (error.kind() == FailureKind::CannotOpen)
      throw Failure(FailureKind::CannotOpen, "cannot open: " + error.message(), name);
    if (error.kind() == FailureKind::CannotRead)
      throw Failure(FailureKind::CannotRead, "cannot read: " + error.message(), name);
    throw error.at(name);
  }
}

}  // namespace

// Reading and parsing each make half of the progress told.
ObjFile ObjFile::read(const std::string &path, const std::string &displayName,
                      const ProgressReport &progress) {
  const std::string name = displayName.empty() ? path : displayName;
  std::error_code ec;
  if (fs::is_directory(path, ec))
    throw Failure(FailureKind::BadInput, "is a directory, not a mesh file", name);
  ProgressReport reading;
  if (progress) reading = [&](std::uint64_t done, std::uint64_t total) { progress(done, 2 * total); };
  std::string text = readMeshText(name, [&] { return readTextFile(path, kStreamInputLimit, reading); });
  ProgressReport parsing;
  if (progress) parsing = [&](std::uint64_t done, std::uint64_t total) { progress(total + done, 2 * total); };
  return parse(std::move(text), name, parsing);
}

ObjFile ObjFile::readStream(std::FILE *stream, const std::string &displayName) {
  return parse(readMeshText(displayName, [&] { return readTextStream(stream); }), displayName);
}

ObjFile ObjFile::parse(std::string text, const std::string &displayName, const ProgressReport &progress) {
  ObjFile obj;
  obj.name_ = displayName;
  obj.text_ = std::move(text);
  const std::string &t = obj.text_;
  const std::size_t size = t.size();
  const std::size_t points = pointsToReserve(t);
  obj.mesh_.reserve(points);
  obj.starts_.reserve(points);
  // Text from a file has no NUL byte (the reader stops at one); text handed
  // in may, and is refused at the line that holds the first.
  const void *nul = std::memchr(t.data(), '\0', size);
  const std::size_t firstNul = nul != nullptr
                                   ? static_cast<std::size_t>(static_cast<const char *>(nul) - t.data())
                                   : std::string::npos;
  std::size_t lineStart = byteOrderMarkLength(t);  // kept in the text, not part of the first line
  std::size_t lineNumber = 0;
  std::size_t nextReport = progress ? kProgressEvery : std::string::npos;
  while (lineStart < size) {
    ++lineNumber;
    if (lineStart >= nextReport) {
      progress(lineStart, size);
      nextReport = lineStart + kProgressEvery;
    }
    const char *newline =
        static_cast<const char *>(std::memchr(t.data() + lineStart, '\n', size - lineStart));
    const std::size_t lineEnd = newline != nullptr ? static_cast<std::size_t>(newline - t.data()) : size;
    const std::string_view line(t.data() + lineStart, lineEnd - lineStart);
    try {
      if (lineEnd > firstNul) throw LineFault("not a text file (contains a NUL byte)");
      if (std::optional<VertexText> vertex = readVertexLine(line)) {
        obj.mesh_.addPoint(vertex->position);
        obj.starts_.push_back(lineStart + vertex->begin);
      } else if (!obj.faceNormals_) {
        obj.faceNormals_ = isFaceWithNormals(line);
      }
    } catch (const LineFault &fault) {
      throw Failure(FailureKind::BadInput, fault.what(), displayName, lineNumber);
    }
    lineStart = lineEnd + 1;
  }
  obj.changed_.assign(obj.mesh_.size(), 0);
  obj.mesh_.keepFirstWrites(true);
  if (progress) progress(size, size);
  return obj;
}

std::size_t ObjFile::lineOf(std::size_t index) const {
  return countNewlines(std::string_view(text_).substr(0, starts_.at(index))) + 1;
}

// The text was read as three numbers when the file was parsed.
ObjFile::Position ObjFile::original(std::size_t index) const {
  const char *at = text_.data() + starts_.at(index);
  const char *const end = text_.data() + text_.size();
  Position position{};
  for (double &coordinate : position) {
    while (isBlank(*at)) ++at;
    if (*at == '+') ++at;  // a leading '+' the reader allows
    at = std::from_chars(at, end, coordinate).ptr;
  }
  return position;
}

namespace {

// A reference of a face or line to a point or a normal, parsed: a whole
// number, then nothing or a '/'.
bool readReference(std::string_view text, long long &reference) {
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), reference);
  return ec == std::errc() && ptr == text.data() + text.size();
}

// What is wrong with a corner whose point reference names no point.
std::string badPointReference(bool isFace, std::string_view token, std::string_view reference,
                              std::size_t pointsBefore, std::size_t points) {
  const std::string element = isFace ? "the face" : "the line";
  long long value = 0;
  if (!readReference(reference, value))
    return element + "'s corner " + quoted(token) + " is not a point reference";
  if (value == 0) return element + " names point 0; points are counted from 1";
  if (value > 0)
    return element + " names point " + std::string(reference) + ", past the last of the file's " +
           std::to_string(points) + " points";
  return element + " names point " + std::string(reference) + ", before the first point (" +
         std::to_string(pointsBefore) + (pointsBefore == 1 ? " comes" : " come") + " before this line)";
}

// Whether a line is a `vn` line.
bool isNormalLine(std::string_view line) {
  std::size_t pos = 0;
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  return pos + 2 < line.size() && line[pos] == 'v' && line[pos + 1] == 'n' && isBlank(line[pos + 2]);
}

}  // namespace

// Each face (`f`) and line (`l`) of the file with its line, its corners as
// point indices (relative ones resolved against the points before the line)
// and the normals they name (relative ones against the `vn` lines before it).
void ObjFile::forEachElement(const std::function<void(const Element &)> &visit) const {
  const std::string_view t = text_;
  std::size_t nextSpan = 0;       // `v` lines before the current line
  std::size_t normalsBefore = 0;  // `vn` lines before the current line
  std::size_t start = byteOrderMarkLength(t);
  std::size_t lineNumber = 0;
  Element element;
  while (start < t.size()) {
    ++lineNumber;
    std::size_t end = t.find('\n', start);
    if (end == std::string_view::npos) end = t.size();
    while (nextSpan < starts_.size() && starts_[nextSpan] < start) ++nextSpan;
    const std::size_t lineBegin = start;
    std::string_view line = t.substr(start, end - start);
    start = end + 1;
    std::size_t pos = 0;
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    if (pos + 1 >= line.size() || (line[pos] != 'f' && line[pos] != 'l') || !isBlank(line[pos + 1])) {
      if (isNormalLine(line)) ++normalsBefore;
      continue;
    }
    element.isFace = line[pos] == 'f';
    element.line = lineNumber;
    element.lineBegin = lineBegin;
    element.corners.clear();
    element.problem.clear();
    Tokens tokens(line, pos + 2);
    std::string_view token;
    while (tokens.next(token)) {
      const std::size_t slash = token.find('/');
      const std::string_view pointText = token.substr(0, slash);
      long long reference = 0;
      const long long index = !readReference(pointText, reference) ? -1
                              : reference > 0                      ? reference - 1
                                              : static_cast<long long>(nextSpan) + reference;
      if (reference == 0 || index < 0 || static_cast<std::size_t>(index) >= mesh_.size()) {
        if (element.problem.empty())
          element.problem = badPointReference(element.isFace, token, pointText, nextSpan, mesh_.size());
        continue;
      }
      Corner corner;
      corner.point = static_cast<std::size_t>(index);
      const std::size_t second = slash == std::string_view::npos ? slash : token.find('/', slash + 1);
      if (second != std::string_view::npos && second + 1 < token.size()) {
        const std::string_view normalText = token.substr(second + 1);
        corner.normalBegin = lineBegin + static_cast<std::size_t>(normalText.data() - line.data());
        corner.normalEnd = corner.normalBegin + normalText.size();
        long long normal = 0;
        corner.relativeNormal = readReference(normalText, normal) && normal < 0;
        const long long normalIndex =
            normal > 0 ? normal - 1 : static_cast<long long>(normalsBefore) + normal;
        corner.normal = normal != 0 && normalIndex >= 0 ? static_cast<std::size_t>(normalIndex) : kBadNormal;
      }
      element.corners.push_back(corner);
    }
    visit(element);
  }
}

std::vector<std::pair<std::size_t, std::size_t>> ObjFile::edges(BadReferences bad) const {
  std::vector<std::pair<std::size_t, std::size_t>> edges;
  std::unordered_set<std::uint64_t> seen;
  forEachElement([&](const Element &element) {
    if (bad == BadReferences::Refuse && !element.problem.empty())
      throw Failure(FailureKind::BadInput, element.problem, name_, element.line);
    const std::vector<Corner> &corners = element.corners;
    const bool closed = element.isFace && corners.size() > 2;
    for (std::size_t i = 0; i + 1 < corners.size() + (closed ? 1 : 0); ++i) {
      std::size_t a = corners[i].point;
      std::size_t b = corners[(i + 1) % corners.size()].point;
      if (a == b) continue;
      if (a > b) std::swap(a, b);
      if (seen.insert((static_cast<std::uint64_t>(a) << 32) ^ static_cast<std::uint64_t>(b)).second) {
        edges.emplace_back(a, b);
      }
    }
  });
  return edges;
}

std::vector<std::pair<std::size_t, std::size_t>> ObjFile::lineSegments(BadReferences bad) const {
  std::vector<std::pair<std::size_t, std::size_t>> segments;
  forEachElement([&](const Element &element) {
    if (bad == BadReferences::Refuse && !element.problem.empty())
      throw Failure(FailureKind::BadInput, element.problem, name_, element.line);
    if (element.isFace) return;
    for (std::size_t i = 0; i + 1 < element.corners.size(); ++i)
      segments.emplace_back(element.corners[i].point, element.corners[i + 1].point);
  });
  return segments;
}

std::vector<ObjFile::NormalLine> ObjFile::normalLines() const {
  std::vector<NormalLine> lines;
  const std::string_view t = text_;
  std::size_t start = byteOrderMarkLength(t);
  while (start < t.size()) {
    std::size_t end = t.find('\n', start);
    if (end == std::string_view::npos) end = t.size();
    const std::string_view line = t.substr(start, end - start);
    if (isNormalLine(line)) {
      NormalLine normal;
      normal.lineEnd = end;
      Tokens tokens(line, line.find('n') + 1);
      std::string_view token;
      std::size_t axis = 0;
      for (; axis < 3 && tokens.next(token); ++axis) {
        if (parseNumber(token, normal.value[axis]) != NumberParse::Ok) break;
        const std::size_t begin = start + static_cast<std::size_t>(token.data() - line.data());
        normal.numbers[axis] = {begin, begin + token.size()};
      }
      normal.readable = axis == 3;
      lines.push_back(normal);
    }
    start = end + 1;
  }
  return lines;
}

std::size_t ObjFile::facesWithStaleNormals() const {
  if (!faceNormals_ || changedCount() == 0) return 0;
  return recomputeNormals_ ? recomputedNormals(*this).leftStale : countFacesWithStaleNormals(*this);
}

namespace {

bool isFinite(const ObjFile::Position &p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

Failure notFinite(std::size_t index, const ObjFile::Position &p) {
  return Failure(FailureKind::BadInput, "point " + std::to_string(index) +
                                            " cannot be written: its position (" + formatNumber(p[0]) + " " +
                                            formatNumber(p[1]) + " " + formatNumber(p[2]) +
                                            ") is not finite");
}

bool sameBits(const ObjFile::Position &a, const ObjFile::Position &b) {
  return std::memcmp(a.data(), b.data(), sizeof(ObjFile::Position)) == 0;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

// A point is changed while it differs from its text's value: one moved back
// there (an undo) keeps its text as written. A point neither changed nor
// written since the last sync is where its text puts it, so its value before
// the write is its text's and the text need not be read again.
void ObjFile::setPosition(std::size_t index, const Position &position) {
  if (!isFinite(position)) throw notFinite(index, position);
  const bool asRead = changed_[index] == 0 && !mesh_.written(index);
  const Position before = asRead ? mesh_.position(index) : Position{};
  mesh_.setPosition(index, position);
  changed_[index] = sameBits(position, asRead ? before : original(index)) ? 0 : 1;
}

// The mesh lists each point written since the last sync with a fingerprint
// of where it was, which for a point not yet changed is its text's value.
// Where the fingerprint of where it is now differs, it surely moved; only
// where they agree is its text read again, to compare exactly. A point that
// was changed is compared with its text, since it may be back there. The
// first point in mesh order that is not finite stops it.
void ObjFile::syncFromMesh() {
  std::size_t notFiniteAt = mesh_.size();
  for (const Mesh::FirstWrite &write : mesh_.firstWrites()) {
    const std::size_t index = write.index;
    const Position &position = mesh_.position(index);
    if (!isFinite(position)) {
      notFiniteAt = std::min(notFiniteAt, index);
    } else if (changed_[index] == 0) {
      if (Mesh::fingerprint(position) != write.before || !sameBits(position, original(index)))
        changed_[index] = 1;
    } else {
      changed_[index] = sameBits(position, original(index)) ? 0 : 1;
    }
  }
  if (notFiniteAt < mesh_.size()) throw notFinite(notFiniteAt, mesh_.position(notFiniteAt));
  mesh_.clearWritten();
}

std::size_t ObjFile::changedCount() const {
  std::size_t count = 0;
  for (unsigned char c : changed_) count += c;
  return count;
}

ObjFile::Position ObjFile::writtenPosition(std::size_t index) const {
  const Position &now = mesh_.position(index);
  if (decimals_ < 0 || (changed_.at(index) == 0 && !mesh_.written(index))) return now;
  const Position before = original(index);
  Position written = now;
  std::string digits;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    if (sameBits(now[axis], before[axis])) {
      written[axis] = before[axis];
      continue;
    }
    digits.clear();
    appendFixed(digits, now[axis], decimals_);
    std::from_chars(digits.data(), digits.data() + digits.size(), written[axis]);
  }
  return written;
}

std::size_t ObjFile::appendCoordinates(std::string &out, std::size_t index) const {
  // The text is "x<blanks>y<blanks>z": each number's text is replaced, the
  // blanks between them are copied. A number's text (digits, '.', 'e', a
  // sign) has no byte at or below ' ', and every blank is one: a single
  // comparison a byte finds where each ends.
  const auto *const text = reinterpret_cast<const unsigned char *>(text_.data());
  const std::size_t size = text_.size();
  const Position &position = mesh_.position(index);
  std::optional<Position> before;
  if (decimals_ >= 0) before = original(index);
  std::size_t at = starts_[index];
  for (std::size_t axis = 0; axis < 3; ++axis) {
    if (axis > 0) {
      const std::size_t blanks = at;
      while (text[at] <= ' ') ++at;
      if (at - blanks == 1) {
        out.push_back(static_cast<char>(text[blanks]));
      } else {
        out.append(text_, blanks, at - blanks);
      }
    }
    const std::size_t number = at;
    while (at < size && text[at] > ' ') ++at;
    if (!before) {
      appendNumber(out, position[axis]);
    } else if (sameBits(position[axis], (*before)[axis])) {
      out.append(text_, number, at - number);  // unchanged: its text stays
    } else {
      appendFixed(out, position[axis], decimals_);
    }
  }
  return at;
}

std::string ObjFile::text(const ProgressReport &progress) const {
  std::vector<TextEdit> edits;
  if (recomputeNormals_ && faceNormals_ && changedCount() > 0) edits = recomputedNormals(*this).edits;
  std::string out;
  out.reserve(text_.size() + text_.size() / 4);
  std::size_t copied = 0;
  std::size_t nextEdit = 0;
  // The edits of other lines (normals) that come before `offset`.
  const auto editUpTo = [&](std::size_t offset) {
    for (; nextEdit < edits.size() && edits[nextEdit].begin <= offset; ++nextEdit) {
      const TextEdit &edit = edits[nextEdit];
      out.append(text_, copied, edit.begin - copied);
      out += edit.text;
      copied = edit.end;
    }
  };
  std::size_t nextReport = progress ? kProgressEvery : std::string::npos;
  for (std::size_t i = 0; i < starts_.size(); ++i) {
    if (changed_[i] == 0) continue;
    if (copied >= nextReport) {
      progress(copied, text_.size());
      nextReport = copied + kProgressEvery;
    }
    const std::size_t start = starts_[i];
    const Position &position = mesh_.position(i);
    if (!isFinite(position)) throw notFinite(i, position);
    if (!edits.empty()) editUpTo(start);
    out.append(text_, copied, start - copied);
    copied = appendCoordinates(out, i);
  }
  editUpTo(std::string::npos);
  out.append(text_, copied, std::string::npos);
  if (progress) progress(text_.size(), text_.size());
  return out;
}

void ObjFile::write(const std::string &path) const { writeFileAtomically(path, text()); }

}  // namespace standin
