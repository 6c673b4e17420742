// Where the tool's pairs come from besides a written list (selection.h): the
// mesh file's line elements and edges, and the host's own scan order; and how
// long the pairs are before and after the tool.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "standin/host/mesh.h"
#include "standin/session/obj_file.h"
#include "standin/session/selection.h"

namespace standin {

// An edge counts as along an axis when it is at most this many degrees from it.
inline constexpr double kAlongAxisDegrees = 5.0;

// "x", "y" or "z" as 0, 1, 2; nullopt for anything else.
std::optional<int> parseAxis(std::string_view name);

// Every line element of exactly two points (`l a b`) as a pair, in file order:
// a is the handle end, b the anchor end. Not checked (checkPairs).
std::vector<PointPair> pairsFromLines(const ObjFile &obj);

// Every edge of the file's faces and lines within kAlongAxisDegrees of
// `axis` (0 x, 1 y, 2 z), as read from the file, in file order. The handle
// end is the end further along the axis. Edges of zero length have no
// direction and are left out. Not checked (checkPairs).
std::vector<PointPair> pairsAlongAxis(const ObjFile &obj, int axis);

// The pairs the tool makes of the selection now: the selected points in the
// order the host's scan delivers them, two by two; an odd last one is left
// out. The first point of each is the handle end unless the tool inverted it.
std::vector<PointPair> deliveredPairs(const Mesh &mesh);

// The distance between two positions.
double distance(const Position &a, const Position &b);

// A pair's length where the file has its points, and now in the mesh.
struct PairLength {
  PointPair pair;
  double before = 0.0;
  double after = 0.0;
};
std::vector<PairLength> measurePairs(const ObjFile &obj, const std::vector<PointPair> &pairs);

// Whether the tool sees a pair's two points as one (no direction to stretch
// along): every coordinate of the difference within 1e-14 of zero.
bool coincide(const Position &a, const Position &b);

}  // namespace standin
