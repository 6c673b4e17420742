// The normals (`vn`) of an OBJ file's faces once points have moved: which
// faces the moved points made stale, and the edits of the file's text that
// give them fitting normals again.
//
// A face names a normal for each corner (`f a//n`, `f a/t/n`). When every
// corner names the same `vn` line the face is flat, and its normal is its
// plane's: it goes stale only when its plane turns. Otherwise the face is
// smooth: the normal at a corner stands for every face around the corner's
// point that names the same normal there (the file's smoothing), and it goes
// stale as soon as one of those faces changes shape.
//
// Recomputing gives a stale flat face its plane's new normal, and a stale
// smooth corner the sum of the normals of the faces sharing its point and
// its normal, each as long as twice the face's area (so larger faces weigh
// more), made unit length. A new normal keeps the side of the one it
// replaces, and a normal whose direction did not change (to rounding) is kept
// as written. The text changes as little as it can:
//
// - A `vn` line that only changed faces name takes the new value in place.
// - Where a changed face shares its `vn` line with a face that did not
//   change, that line stays, a new `vn` line is added after the file's last
//   one (one for each different new value), and the changed face's corner
//   names it by its number. Relative normal references after the added lines
//   (`a//-1`) are rewritten to name the same normals as before.
// - Numbers are written in the shortest form that reads back exactly; the
//   blanks of a rewritten `vn` line stay.
//
// Faces whose corners do not all name a point and a readable `vn` line are
// left as they are; a face without area has no normal to give and stays
// stale.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "standin/session/obj_file.h"

namespace standin {

// A change of a text: the bytes [begin, end) replaced by `text` (inserted
// at `begin` when begin == end).
struct TextEdit {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::string text;
};

// Faces whose normals the changed points made stale: smooth faces that use a
// changed point, and flat faces whose plane turned.
std::size_t countFacesWithStaleNormals(const ObjFile &obj);

// What writing the file leaves stale, as a warning without its subject
// ("3 faces with normals (vn) use moved points; ..."), or empty.
std::string staleNormalsWarning(const ObjFile &obj);

struct RecomputedNormals {
  std::vector<TextEdit> edits;     // in text order, none overlapping another
  std::size_t faces = 0;           // faces with a corner given a new normal
  std::size_t linesRewritten = 0;  // `vn` lines that take a new value
  std::size_t linesAdded = 0;      // new `vn` lines
  std::size_t leftStale = 0;       // stale faces without area (their normals are kept)
};

// The edits that give the stale faces new normals, computed from the points
// where the written file has them (ObjFile::writtenPosition).
RecomputedNormals recomputedNormals(const ObjFile &obj);

}  // namespace standin
