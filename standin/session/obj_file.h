// A Wavefront OBJ file held in memory so that it can be written back
// losslessly.
//
// The points of the mesh are the file's `v` lines, in file order. The file's
// bytes are kept as they were read; for each `v` line only where its x, y
// and z numbers start is remembered. Writing copies every byte unchanged
// except the texts of the x, y and z numbers of points whose position was
// changed through setPosition, each replaced by its new number in the
// shortest form that reads back to the same double (or, with setDecimals,
// the coordinates that changed rounded to a number of decimals); the blanks
// between them stay as they were (two spaces, a tab). Everything else
// (faces, normals, texture coordinates, groups, comments, materials, extra
// components such as `v x y z r g b`, CRLF line endings, a missing final
// newline, a UTF-8 byte-order mark at the start) survives byte for byte, and
// an untouched point keeps its original text exactly; with
// setRecomputeNormals, so do all but the normals the moved points made stale
// and the references to them (obj_normals.h).
//
// The points live in a host Mesh (mesh()), the one copy of the positions: a
// tool edits them there, and syncFromMesh() then takes the written points in.
//
// Errors (Failure): reading fails with "file:line: message" for a malformed
// `v` line or a NUL byte, and "file: message" for a file that cannot be read
// or (from a pipe or a device) never ends (see text_input.h); writing throws
// CannotWrite when the output cannot be written, and then leaves no file
// behind. No coordinate that is not finite is ever held, so none is written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "standin/host/failure.h"
#include "standin/host/mesh.h"
#include "standin/host/progress_display.h"

namespace standin {

class ObjFile {
 public:
  using Position = std::array<double, 3>;

  // Reads and parses a file (read whole into memory). `displayName` names the
  // file in messages; empty means `path`. `progress`, when given, is told
  // how far reading and parsing are, every megabyte or so and at the end.
  static ObjFile read(const std::string &path, const std::string &displayName = {},
                      const ProgressReport &progress = {});
  // Reads and parses an open stream (standard input) to its end.
  static ObjFile readStream(std::FILE *stream, const std::string &displayName);
  // Parses text already in memory; `progress` is told the bytes parsed. The
  // text is checked as read text is (refuseNotText): a NUL byte or a
  // byte-order mark past the start is refused at its line.
  static ObjFile parse(std::string text, const std::string &displayName, const ProgressReport &progress = {});

  const std::string &name() const { return name_; }
  std::size_t pointCount() const { return mesh_.size(); }
  const std::vector<Position> &positions() const { return mesh_.positions(); }
  const Position &position(std::size_t index) const { return mesh_.position(index); }

  // The points as a host mesh, every one unselected after reading. Positions
  // written here count once syncFromMesh() has taken them in.
  Mesh &mesh() { return mesh_; }
  const Mesh &mesh() const { return mesh_; }

  // Changes a point. Setting the value a point already has (bit for bit)
  // leaves its text untouched. Throws Failure, naming the point and leaving
  // it as it was, when a coordinate is a NaN or an infinity.
  void setPosition(std::size_t index, const Position &position);
  // Takes in the points written through mesh() since the last call, in mesh
  // order, as setPosition would. Throws Failure at the first point whose
  // position is a NaN or an infinity (such a mesh is never written).
  void syncFromMesh();
  std::size_t changedCount() const;
  bool changed(std::size_t index) const { return changed_.at(index) != 0; }

  // The position the point has in the file as read (its text's), whatever
  // it was changed to since. Only a point that changed or was written since
  // the last sync has its text read again; any other still holds that value.
  Position filePosition(std::size_t index) const {
    return changed_.at(index) == 0 && !mesh_.written(index) ? mesh_.position(index) : original(index);
  }

  // 1-based line number of a point's `v` line (counted when asked).
  std::size_t lineOf(std::size_t index) const;

  // One corner of a face or a line element, as the file names it.
  static constexpr std::size_t kNoNormal = static_cast<std::size_t>(-1);
  static constexpr std::size_t kBadNormal = static_cast<std::size_t>(-2);  // 0, not a number, or too far back
  struct Corner {
    std::size_t point = 0;           // the point it names (relative references resolved)
    std::size_t normal = kNoNormal;  // the `vn` line it names, counted from 0 (maybe past the last)
    bool relativeNormal = false;     // the normal is named relative to the line (`a//-1`)
    std::size_t normalBegin = 0;     // where the normal's reference is in the text (with a
    std::size_t normalEnd = 0;       // normal; it may name no `vn` line the file has)
  };
  // A face (`f`) or line element (`l`). A reference that names no point
  // (past the last, before the first, 0, or not a number) is not among the
  // corners; `problem` then says what the first such reference is.
  struct Element {
    bool isFace = false;
    std::size_t line = 0;       // 1-based
    std::size_t lineBegin = 0;  // offset of the line's first byte in the text
    std::vector<Corner> corners;
    std::string problem;  // empty when every reference names a point
  };
  // Visits every face and line element in file order.
  void forEachElement(const std::function<void(const Element &)> &visit) const;

  // A `vn` line: its direction and where its three numbers are in the text.
  struct NormalLine {
    Position value{};
    std::array<std::pair<std::size_t, std::size_t>, 3> numbers{};  // [begin, end) of x, y, z
    std::size_t lineEnd = 0;  // offset of the line's end (its '\n', or the text's end)
    bool readable = false;    // three finite numbers
  };
  // Every `vn` line in file order.
  std::vector<NormalLine> normalLines() const;

  // What a reference that names no point does to edges() and lineSegments():
  // it is left out, or it stops the reading with Failure "file:line:
  // message".
  enum class BadReferences { LeaveOut, Refuse };

  // The edges of the file's faces (`f`) and lines (`l`) as pairs of point
  // indices, each edge once, in file order.
  std::vector<std::pair<std::size_t, std::size_t>> edges(BadReferences bad = BadReferences::LeaveOut) const;
  // The segments of the line elements (`l a b c` gives a-b and b-c), as
  // written (a first), in file order. A face's reference to no point is
  // refused too, with BadReferences::Refuse.
  std::vector<std::pair<std::size_t, std::size_t>> lineSegments(BadReferences bad) const;

  // How changed points' coordinates are written: with exactly `decimals`
  // digits after the point, rounded (0 to 17), or, with -1 (the default), in
  // the shortest form that reads back to the same double. With decimals,
  // only the coordinates that changed are rounded; a changed point's other
  // coordinates keep their text.
  void setDecimals(int decimals) { decimals_ = decimals; }
  int decimals() const { return decimals_; }

  // Where the written file has a point (once taken in, see syncFromMesh):
  // its position now, each changed coordinate as setDecimals rounds it, the
  // others as the text has them.
  Position writtenPosition(std::size_t index) const;

  // Whether writing gives the faces whose normals the changed points made
  // stale new normals (obj_normals.h says how); off by default.
  void setRecomputeNormals(bool recompute) { recomputeNormals_ = recompute; }
  bool recomputeNormals() const { return recomputeNormals_; }

  // The text as read.
  const std::string &source() const { return text_; }

  // The number of faces (`f`) whose normals (`a//n`, `a/t/n`) the changed
  // points made stale: faces with a normal per corner that use a changed
  // point, and faces with one normal for all corners whose plane turned.
  // With recomputeNormals(), those the writing leaves stale (a face without
  // area has no normal to give).
  std::size_t facesWithStaleNormals() const;

  // The file's text with the changed points' coordinates rewritten. Throws
  // Failure if a changed point was since written to a NaN or an infinity
  // through mesh() and not taken in.
  // The size of the text as read (text() is about as large).
  std::size_t textSize() const { return text_.size(); }
  // `progress`, when given, is told how far it is (bytes of the file).
  std::string text(const ProgressReport &progress = {}) const;

  // Writes text() to `path` through a temporary file in the same directory
  // that is renamed over `path` once complete. A symbolic link at `path` is
  // followed (the file it names is replaced) and an existing file's
  // permissions are kept.
  void write(const std::string &path) const;

 private:
  // parse() of text that went through refuseNotText already (the readers').
  static ObjFile parseText(std::string text, const std::string &displayName, const ProgressReport &progress);
  // The new texts of a changed point's x y z, with the blanks between them;
  // with decimals, a coordinate that did not change keeps its text. Returns
  // the offset one past the old z's text.
  std::size_t appendCoordinates(std::string &out, std::size_t index) const;
  // The position a point's text reads as, parsed again on every call.
  Position original(std::size_t index) const;

  std::string name_;
  std::string text_;
  Mesh mesh_;
  // Per point, the offset of its x's first character. The numbers end at
  // the first blank (or line end) after them, which is found when needed:
  // keeping where z ends would cost eight more bytes a point.
  std::vector<std::size_t> starts_;
  std::vector<unsigned char> changed_;
  int decimals_ = -1;
  bool recomputeNormals_ = false;
  bool faceNormals_ = false;  // some face names normals (else no normal can be stale)
};

}  // namespace standin
