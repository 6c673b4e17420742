// A Wavefront OBJ file held in memory so that it can be written back
// losslessly.
//
// The points of the mesh are the file's `v` lines, in file order. The file's
// bytes are kept as they were read; for each `v` line only the span of its
// x, y and z numbers is remembered. Writing copies every byte unchanged except
// the texts of the x, y and z numbers of points whose position was changed
// through setPosition, each replaced by its new number in the shortest form
// that reads back to the same double (or, with setDecimals, rounded to a
// number of decimals); the blanks between them stay as they were (two
// spaces, a tab). Everything else (faces, normals, texture coordinates,
// groups, comments, materials, extra components such as `v x y z r g b`,
// CRLF line endings, a missing final newline, a UTF-8 byte-order mark at the
// start) survives byte for byte, and an untouched point keeps its original
// text exactly.
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
  // Parses text already in memory; `progress` is told the bytes parsed.
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

  // The edges of the file's faces (`f`) and lines (`l`) as pairs of point
  // indices, each edge once, for drawing. Relative (negative) indices are
  // resolved; references that name no point are left out.
  std::vector<std::pair<std::size_t, std::size_t>> edges() const;
  // The line elements of exactly two points (`l a b`), as written (a first),
  // in file order; references that name no point are left out.
  std::vector<std::pair<std::size_t, std::size_t>> twoPointLines() const;

  // How changed points' coordinates are written: with exactly `decimals`
  // digits after the point, rounded (0 to 17), or, with -1 (the default), in
  // the shortest form that reads back to the same double.
  void setDecimals(int decimals) { decimals_ = decimals; }
  int decimals() const { return decimals_; }

  // The number of faces (`f`) whose normals (`a//n`, `a/t/n`) the changed
  // points made stale: faces with a normal per corner that use a changed
  // point, and faces with one normal for all corners whose plane turned.
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
  struct Span {
    std::size_t begin;  // offset of x's first character
    std::size_t end;    // offset one past z's last character
  };

  enum class Normals { None, One, PerCorner };  // the normals a face's corners name
  struct Element {
    bool isFace = false;  // `f`; else `l`
    std::vector<std::size_t> corners;
    Normals normals = Normals::None;
  };
  template <typename Visit>
  void forEachElement(Visit &&visit) const;
  // The new texts of a changed point's x y z, with the blanks of `span`
  // between them.
  void appendCoordinates(std::string &out, const Span &span, const Position &position) const;
  // The position a point's text reads as, parsed again on every call.
  Position original(std::size_t index) const;

  std::string name_;
  std::string text_;
  Mesh mesh_;
  std::vector<Span> spans_;
  std::vector<unsigned char> changed_;
  int decimals_ = -1;
  bool faceNormals_ = false;  // some face names normals (else no normal can be stale)
};

}  // namespace standin
