// The OBJ reader and writer: any text. Only Failure escapes the reader. Read
// and written back with nothing moved, a file keeps every byte; with some
// points moved (through setPosition, or through the mesh and syncFromMesh as
// a tool's edit arrives), only those points' `v` lines change, and the file
// reads back with every point bit for bit where it was put. With normals
// recomputed, the moved points' `v` lines, `vn` lines and face lines may
// change and new `vn` lines may appear, and nothing else: every other line
// keeps its text and its order, and the points still read back bit for bit.
//
// The input's last bytes choose the moves; the rest is the file's text.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_values.h"
#include "fuzz/invariant.h"
#include "standin/session/obj_file.h"

namespace {

using standin::ObjFile;

bool sameBits(const ObjFile::Position &a, const ObjFile::Position &b) {
  return std::memcmp(a.data(), b.data(), sizeof(ObjFile::Position)) == 0;
}

std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return lines;
    start = end + 1;
  }
}

// Only the lines of moved points differ (1-based line numbers).
void checkOnlyMovedLinesDiffer(std::string_view before, std::string_view after,
                               const std::set<std::size_t> &movedLines) {
  const std::vector<std::string_view> a = linesOf(before);
  const std::vector<std::string_view> b = linesOf(after);
  if (a.size() != b.size())
    fuzz::violated("writing changed the number of lines: %zu to %zu", a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && movedLines.count(i + 1) == 0)
      fuzz::violated("line %zu changed though no point on it moved", i + 1);
  }
}

std::string_view trimmedStart(std::string_view line) {
  if (line.rfind("\xEF\xBB\xBF", 0) == 0) line.remove_prefix(3);  // the file's byte-order mark
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())) != 0) line.remove_prefix(1);
  return line;
}

// A line whose keyword is `keyword` (followed by a blank of any kind, as the
// reader takes it).
bool hasKeyword(std::string_view line, std::string_view keyword) {
  const std::string_view rest = trimmedStart(line);
  return rest.size() > keyword.size() && rest.substr(0, keyword.size()) == keyword &&
         std::isspace(static_cast<unsigned char>(rest[keyword.size()])) != 0;
}

bool isPointLine(std::string_view line) { return hasKeyword(line, "v"); }

bool isNormalOrFace(std::string_view line) { return hasKeyword(line, "vn") || hasKeyword(line, "f"); }

// With normals recomputed: the lines of the input that are neither moved
// points nor normals nor faces appear in the output unchanged, in order, and
// every line of the output that is not one of them is a normal or a face.
void checkOnlyPointsNormalsAndFacesDiffer(std::string_view before, std::string_view after,
                                          const std::set<std::size_t> &movedLines) {
  const std::vector<std::string_view> a = linesOf(before);
  const std::vector<std::string_view> b = linesOf(after);
  std::size_t j = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (movedLines.count(i + 1) != 0 || isNormalOrFace(a[i])) continue;
    while (j < b.size() && b[j] != a[i]) {
      if (!isNormalOrFace(b[j]) && !trimmedStart(b[j]).empty() && !isPointLine(b[j]))
        fuzz::violated("recomputing normals wrote a line that is no point, normal or face: %.*s",
                       static_cast<int>(b[j].size()), b[j].data());
      ++j;
    }
    if (j == b.size()) fuzz::violated("recomputing normals lost line %zu", i + 1);
    ++j;
  }
}

ObjFile parseOrViolate(const std::string &text, const char *what) {
  try {
    return ObjFile::parse(text, "written.obj");
  } catch (const std::exception &error) {
    fuzz::violated("%s does not read back: %s", what, error.what());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const bool throughMesh = input.ConsumeBool();
  const bool recomputeNormals = input.ConsumeBool();
  std::vector<std::pair<std::uint32_t, ObjFile::Position>> moves(input.ConsumeIntegralInRange(0, 6));
  for (auto &[index, position] : moves) {
    index = input.ConsumeIntegral<std::uint32_t>();
    for (double &coordinate : position) coordinate = fuzz::consumeFiniteDouble(input);
  }
  const std::string text = input.ConsumeRemainingBytesAsString();

  ObjFile obj;
  try {
    obj = ObjFile::parse(text, "fuzz.obj");
  } catch (const standin::Failure &) {
    return 0;
  } catch (const std::exception &error) {
    fuzz::violated("ObjFile::parse threw %s, not an Failure", error.what());
  }
  if (obj.text() != text) fuzz::violated("read and written with nothing moved, the text changed");
  if (obj.pointCount() == 0) return 0;
  obj.setRecomputeNormals(recomputeNormals);

  const std::vector<ObjFile::Position> read = obj.positions();
  std::map<std::size_t, ObjFile::Position> placed;  // each moved point's last position
  for (const auto &[index, position] : moves) {
    const std::size_t point = index % obj.pointCount();
    if (throughMesh)
      obj.mesh().setPosition(point, position);
    else
      obj.setPosition(point, position);
    placed[point] = position;
  }
  if (throughMesh) obj.syncFromMesh();

  std::set<std::size_t> movedLines;
  for (const auto &[point, position] : placed) movedLines.insert(obj.lineOf(point));
  std::string written;
  try {
    written = obj.text();
  } catch (const standin::Failure &) {
    if (!recomputeNormals) throw;
    return 0;  // a file whose normals cannot be given new ones is refused, with its line
  }
  if (recomputeNormals)
    checkOnlyPointsNormalsAndFacesDiffer(text, written, movedLines);
  else
    checkOnlyMovedLinesDiffer(text, written, movedLines);

  const ObjFile again = parseOrViolate(written, "the written file");
  if (again.pointCount() != obj.pointCount())
    fuzz::violated("the written file has %zu points, not %zu", again.pointCount(), obj.pointCount());
  for (std::size_t i = 0; i < read.size(); ++i) {
    const auto found = placed.find(i);
    const ObjFile::Position &expected = found != placed.end() ? found->second : read[i];
    if (!sameBits(again.position(i), expected))
      fuzz::violated("point %zu reads back as %.17g %.17g %.17g, not %.17g %.17g %.17g", i,
                     again.position(i)[0], again.position(i)[1], again.position(i)[2], expected[0],
                     expected[1], expected[2]);
  }
  return 0;
}
