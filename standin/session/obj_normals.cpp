#include "standin/session/obj_normals.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "standin/host/number_text.h"

namespace standin {
namespace {

using Corner = ObjFile::Corner;

Position plus(const Position &a, const Position &b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
double dot(const Position &a, const Position &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
bool sameBits(const Position &a, const Position &b) { return std::memcmp(a.data(), b.data(), sizeof a) == 0; }

// A polygon's normal by Newell's method: as long as twice its area (zero
// when it has none).
template <typename PositionOf>
Position newellNormal(const Corner *corners, std::size_t count, PositionOf &&positionOf) {
  Position n{0, 0, 0};
  for (std::size_t i = 0; i < count; ++i) {
    const Position a = positionOf(corners[i].point);
    const Position b = positionOf(corners[(i + 1) % count].point);
    n[0] += (a[1] - b[1]) * (a[2] + b[2]);
    n[1] += (a[2] - b[2]) * (a[0] + b[0]);
    n[2] += (a[0] - b[0]) * (a[1] + b[1]);
  }
  return n;
}

// Whether two normals point the same way (to rounding).
bool sameDirection(const Position &a, const Position &b) {
  const Position cross{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  const double crossLength = std::sqrt(dot(cross, cross));
  return dot(a, b) > 0 && crossLength <= 1e-9 * std::sqrt(dot(a, a) * dot(b, b));
}

// `sum` made unit length on the side of `old`; nothing when it has no length.
std::optional<Position> unitOnSideOf(const Position &sum, const Position &old) {
  const double length = std::sqrt(dot(sum, sum));
  if (!(length > 0) || !std::isfinite(length)) return std::nullopt;
  const double sign = dot(sum, old) < 0 ? -1.0 : 1.0;
  return Position{sign * sum[0] / length, sign * sum[1] / length, sign * sum[2] / length};
}

// How a `vn` line writes its numbers: with the decimals of the longest when
// all three are plain decimals with four or more (`0.707107`), otherwise -1,
// the shortest form that reads back exactly (`0 0 1`, `1e-3`).
int normalDecimals(const std::string &text, const ObjFile::NormalLine &normal) {
  int most = 0;
  for (const auto &[begin, end] : normal.numbers) {
    const std::string_view number(text.data() + begin, end - begin);
    const std::size_t point = number.find('.');
    if (point == std::string_view::npos || number.find_first_of("eE") != std::string_view::npos) return -1;
    most = std::max(most, static_cast<int>(number.size() - point - 1));
  }
  return most >= 4 ? most : -1;
}

void appendNormalNumber(std::string &out, double value, int decimals) {
  if (decimals < 0) {
    appendNumber(out, value);
  } else {
    appendFixed(out, value, decimals);
  }
}

// A normal as a `vn` line with `decimals` writes it, read back.
Position asWritten(const Position &normal, int decimals) {
  if (decimals < 0) return normal;
  Position written{};
  std::string text;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    text.clear();
    appendFixed(text, normal[axis], decimals);
    std::from_chars(text.data(), text.data() + text.size(), written[axis]);
  }
  return written;
}

// The faces that name a normal at every corner, and the `vn` lines.
struct FaceTable {
  struct Face {
    std::size_t first = 0;  // its corners in `corners`
    std::size_t count = 0;
    bool flat = false;     // one normal for every corner
    bool changed = false;  // uses a changed point
  };
  std::vector<ObjFile::NormalLine> normals;
  std::vector<Face> faces;
  std::vector<Corner> corners;
  std::vector<std::size_t> references;  // per `vn` line: how many face corners name it
  std::vector<int> decimals;            // per `vn` line: how its numbers are written (normalDecimals)
};

// Whether every corner of a face names a readable `vn` line.
bool namesReadableNormals(const std::vector<Corner> &corners,
                          const std::vector<ObjFile::NormalLine> &normals) {
  return std::all_of(corners.begin(), corners.end(), [&](const Corner &c) {
    return c.normal < normals.size() && normals[c.normal].readable;
  });
}

FaceTable readFaces(const ObjFile &obj) {
  FaceTable table;
  table.normals = obj.normalLines();
  table.references.assign(table.normals.size(), 0);
  table.decimals.reserve(table.normals.size());
  for (const ObjFile::NormalLine &normal : table.normals)
    table.decimals.push_back(normalDecimals(obj.source(), normal));
  obj.forEachElement([&](const ObjFile::Element &element) {
    if (!element.isFace) return;
    for (const Corner &c : element.corners)
      if (c.normal < table.normals.size()) ++table.references[c.normal];
    // A face that names no point somewhere is not the polygon its corners make.
    if (element.corners.size() < 3 || !element.problem.empty() ||
        !namesReadableNormals(element.corners, table.normals))
      return;
    FaceTable::Face face;
    face.first = table.corners.size();
    face.count = element.corners.size();
    face.flat = std::all_of(element.corners.begin(), element.corners.end(),
                            [&](const Corner &c) { return c.normal == element.corners[0].normal; });
    face.changed = std::any_of(element.corners.begin(), element.corners.end(),
                               [&](const Corner &c) { return obj.changed(c.point); });
    table.corners.insert(table.corners.end(), element.corners.begin(), element.corners.end());
    table.faces.push_back(face);
  });
  return table;
}

// Where a smooth corner's normal comes from: its point and the normal it names there.
struct CornerKey {
  std::size_t point;
  Position normal;
  bool operator==(const CornerKey &o) const { return point == o.point && sameBits(normal, o.normal); }
};
struct CornerKeyHash {
  std::size_t operator()(const CornerKey &k) const {
    std::size_t h = std::hash<std::size_t>()(k.point);
    for (double v : k.normal) h = h * 1000003u ^ std::hash<double>()(v + 0.0);
    return h;
  }
};

// The normal each corner should name now, where it differs from the one it names.
struct NewNormals {
  std::vector<std::optional<Position>> corners;  // per corner of the table
  std::size_t faces = 0;
  std::size_t leftStale = 0;
};

class NormalsPlanner {
 public:
  NormalsPlanner(const ObjFile &obj, const FaceTable &table) : obj_(obj), table_(table) {
    result_.corners.resize(table.corners.size());
  }

  NewNormals plan() {
    std::vector<bool> given(table_.faces.size(), false);
    std::vector<bool> stale(table_.faces.size(), false);
    planFlat(given, stale);
    planSmooth(given, stale);
    result_.faces = static_cast<std::size_t>(std::count(given.begin(), given.end(), true));
    result_.leftStale = static_cast<std::size_t>(std::count(stale.begin(), stale.end(), true));
    return std::move(result_);
  }

 private:
  Position before(std::size_t point) const { return obj_.filePosition(point); }
  Position after(std::size_t point) const {
    return obj_.changed(point) ? obj_.writtenPosition(point) : obj_.position(point);
  }
  const Position &oldNormal(const Corner &c) const { return table_.normals[c.normal].value; }
  Position areaNormal(const FaceTable::Face &face) const {
    return newellNormal(&table_.corners[face.first], face.count, [&](std::size_t p) { return after(p); });
  }
  // Gives a corner `normal`, as its `vn` line's precision writes it, unless
  // that is the normal it names already.
  bool give(std::size_t corner, const Position &normal) {
    const Corner &c = table_.corners[corner];
    const Position written = asWritten(normal, table_.decimals[c.normal]);
    if (written == oldNormal(c)) return false;
    result_.corners[corner] = written;
    return true;
  }

  void planFlat(std::vector<bool> &given, std::vector<bool> &stale) {
    for (std::size_t f = 0; f < table_.faces.size(); ++f) {
      const FaceTable::Face &face = table_.faces[f];
      if (!face.flat || !face.changed) continue;
      const Corner *corners = &table_.corners[face.first];
      const Position was = newellNormal(corners, face.count, [&](std::size_t p) { return before(p); });
      const Position now = areaNormal(face);
      if (sameDirection(was, now)) continue;
      const std::optional<Position> unit = unitOnSideOf(now, oldNormal(corners[0]));
      if (!unit) {
        stale[f] = true;
        continue;
      }
      for (std::size_t k = 0; k < face.count; ++k)
        if (give(face.first + k, *unit)) given[f] = true;
    }
  }

  // Every smooth corner that shares its point and normal with a changed
  // face takes the area-weighted sum of those faces' normals.
  void planSmooth(std::vector<bool> &given, std::vector<bool> &stale) {
    std::unordered_map<CornerKey, Position, CornerKeyHash> sums;
    forSmoothCorners([&](std::size_t, const FaceTable::Face &face, const Corner &c) {
      if (face.changed) sums.emplace(CornerKey{c.point, oldNormal(c)}, Position{0, 0, 0});
    });
    if (sums.empty()) return;
    std::vector<std::optional<Position>> area(table_.faces.size());
    forSmoothCorners([&](std::size_t f, const FaceTable::Face &face, const Corner &c) {
      const auto it = sums.find(CornerKey{c.point, oldNormal(c)});
      if (it == sums.end()) return;
      if (!area[f]) area[f] = areaNormal(face);
      it->second = plus(it->second, *area[f]);
    });
    forSmoothCorners([&](std::size_t f, const FaceTable::Face &face, const Corner &c) {
      const auto it = sums.find(CornerKey{c.point, oldNormal(c)});
      if (it == sums.end()) return;
      const std::optional<Position> unit = unitOnSideOf(it->second, oldNormal(c));
      if (!unit) {
        stale[f] = stale[f] || face.changed;
        return;
      }
      if (give(static_cast<std::size_t>(&c - table_.corners.data()), *unit)) given[f] = true;
    });
  }

  template <typename Visit>
  void forSmoothCorners(Visit &&visit) const {
    for (std::size_t f = 0; f < table_.faces.size(); ++f) {
      const FaceTable::Face &face = table_.faces[f];
      if (face.flat) continue;
      for (std::size_t k = 0; k < face.count; ++k) visit(f, face, table_.corners[face.first + k]);
    }
  }

  const ObjFile &obj_;
  const FaceTable &table_;
  NewNormals result_;
};

std::string numberText(double value, int decimals) {
  std::string text;
  appendNormalNumber(text, value, decimals);
  return text;
}

// The line ending of the line that ends at `lineEnd`.
std::string lineEndingAt(const std::string &text, std::size_t lineEnd) {
  return lineEnd > 0 && lineEnd < text.size() && text[lineEnd - 1] == '\r' ? "\r\n" : "\n";
}

// Turns the new normals into edits of the text.
class NormalsWriter {
 public:
  NormalsWriter(const ObjFile &obj, const FaceTable &table, const NewNormals &plan)
      : obj_(obj), table_(table), plan_(plan) {}

  RecomputedNormals write() && {
    assignLines();
    addLines();
    shiftRelativeReferences();
    std::sort(result_.edits.begin(), result_.edits.end(),
              [](const TextEdit &a, const TextEdit &b) { return a.begin < b.begin; });
    result_.faces = plan_.faces;
    result_.leftStale = plan_.leftStale;
    return std::move(result_);
  }

 private:
  using Key = std::array<std::uint64_t, 3>;
  static Key keyOf(const Position &p) {
    Key key;
    std::memcpy(key.data(), p.data(), sizeof key);
    return key;
  }

  // A `vn` line named only by corners that take new normals takes the
  // first of them in place; every other new value gets a line of its own.
  void assignLines() {
    std::vector<std::size_t> wanting(table_.normals.size(), 0);
    for (std::size_t k = 0; k < table_.corners.size(); ++k)
      if (plan_.corners[k]) ++wanting[table_.corners[k].normal];
    std::vector<std::optional<Position>> inPlace(table_.normals.size());
    for (std::size_t k = 0; k < table_.corners.size(); ++k) {
      if (!plan_.corners[k]) continue;
      const Corner &c = table_.corners[k];
      const Position &value = *plan_.corners[k];
      if (wanting[c.normal] == table_.references[c.normal] && !inPlace[c.normal]) {
        inPlace[c.normal] = value;
        rewriteLine(c.normal, value);
      }
      if (inPlace[c.normal] && sameBits(*inPlace[c.normal], value)) continue;
      const auto [at, added] = added_.emplace(keyOf(value), table_.normals.size() + order_.size());
      if (added) order_.emplace_back(value, table_.decimals[c.normal]);
      renamed_.insert(c.normalBegin);
      result_.edits.push_back(TextEdit{c.normalBegin, c.normalEnd, std::to_string(at->second + 1)});
    }
  }

  void rewriteLine(std::size_t line, const Position &value) {
    const ObjFile::NormalLine &normal = table_.normals[line];
    for (std::size_t axis = 0; axis < 3; ++axis)
      result_.edits.push_back(TextEdit{normal.numbers[axis].first, normal.numbers[axis].second,
                                       numberText(value[axis], table_.decimals[line])});
    ++result_.linesRewritten;
  }

  // The new lines go after the file's last `vn` line.
  void addLines() {
    if (order_.empty()) return;
    const std::string &text = obj_.source();
    insertAt_ = table_.normals.back().lineEnd;
    const std::string eol = lineEndingAt(text, insertAt_);
    std::string lines;
    for (const auto &[value, decimals] : order_) {
      lines += "vn " + numberText(value[0], decimals) + " " + numberText(value[1], decimals) + " " +
               numberText(value[2], decimals);
      lines += eol;
    }
    // After the last line's newline; a last line without one gets one first.
    if (insertAt_ < text.size()) {
      ++insertAt_;
    } else {
      lines = eol + lines.substr(0, lines.size() - eol.size());
    }
    result_.edits.push_back(TextEdit{insertAt_, insertAt_, lines});
    result_.linesAdded = order_.size();
  }

  // A relative reference after the new lines counts them too (`-1` would
  // name the last new line), so it goes back as many more.
  void shiftRelativeReferences() {
    if (order_.empty()) return;
    const std::string &text = obj_.source();
    const auto added = static_cast<long long>(order_.size());
    obj_.forEachElement([&](const ObjFile::Element &element) {
      if (!element.isFace || element.lineBegin < insertAt_) return;
      for (const Corner &c : element.corners) {
        if (!c.relativeNormal || renamed_.count(c.normalBegin) != 0) continue;
        const long long reference = std::stoll(text.substr(c.normalBegin, c.normalEnd - c.normalBegin));
        result_.edits.push_back(TextEdit{c.normalBegin, c.normalEnd, std::to_string(reference - added)});
      }
    });
  }

  const ObjFile &obj_;
  const FaceTable &table_;
  const NewNormals &plan_;
  RecomputedNormals result_;
  std::map<Key, std::size_t> added_;             // new value -> its `vn` line
  std::vector<std::pair<Position, int>> order_;  // the new lines' values and decimals
  std::unordered_set<std::size_t> renamed_;      // references rewritten to a new line
  std::size_t insertAt_ = 0;
};

}  // namespace

std::size_t countFacesWithStaleNormals(const ObjFile &obj) {
  std::size_t count = 0;
  obj.forEachElement([&](const ObjFile::Element &face) {
    const std::vector<Corner> &corners = face.corners;
    if (!face.isFace || corners.empty() || corners[0].normal == ObjFile::kNoNormal) return;
    if (!std::any_of(corners.begin(), corners.end(), [&](const Corner &c) { return obj.changed(c.point); }))
      return;
    const bool flat = std::all_of(corners.begin(), corners.end(),
                                  [&](const Corner &c) { return c.normal == corners[0].normal; });
    if (flat) {
      const Position before =
          newellNormal(corners.data(), corners.size(), [&](std::size_t c) { return obj.filePosition(c); });
      const Position after =
          newellNormal(corners.data(), corners.size(), [&](std::size_t c) { return obj.position(c); });
      if (sameDirection(before, after)) return;
    }
    ++count;
  });
  return count;
}

std::string staleNormalsWarning(const ObjFile &obj) {
  const std::size_t stale = obj.facesWithStaleNormals();
  if (stale == 0) return "";
  const bool one = stale == 1;
  const std::string faces = std::to_string(stale) + (one ? " face" : " faces") + " with normals (vn) ";
  if (obj.recomputeNormals())
    return faces + (one ? "has" : "have") + " no area left, so no normal to give; " +
           (one ? "its" : "their") + " normals are kept as they were";
  return faces + (one ? "uses" : "use") +
         " moved points; the normals are kept as they were (--normals recompute gives them new ones)";
}

RecomputedNormals recomputedNormals(const ObjFile &obj) {
  const FaceTable table = readFaces(obj);
  const NewNormals plan = NormalsPlanner(obj, table).plan();
  return NormalsWriter(obj, table, plan).write();
}

}  // namespace standin
