// Where the tool's pairs come from besides a written list (selection.h): the
// mesh file's line elements and edges, and the host's own scan order; and how
// long the pairs are before and after the tool.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standin/host/mesh.h"
#include "standin/session/obj_file.h"
#include "standin/session/selection.h"

namespace standin {

// By default an edge counts as along an axis when it is at most this many
// degrees from it.
inline constexpr double kAlongAxisDegrees = 5.0;

// "x", "y" or "z" as 0, 1, 2; nullopt for anything else.
std::optional<int> parseAxis(std::string_view name);

// Pairs taken from the file's edges. A point can be the end of one pair
// only, so the edges are taken in file order and an edge with an end that an
// earlier pair already has is skipped (in a chain of edges every other one
// is taken).
struct EdgePairs {
  std::vector<PointPair> pairs;
  std::size_t found = 0;        // edges that qualified, taken or not
  std::size_t sharedEnd = 0;    // skipped: an end already in an earlier pair
  std::size_t oneByItself = 0;  // skipped: a segment from a point to itself (`l 3 3`)
};

// Every segment of the line elements (`l a b`, and `l a b c ...` segment by
// segment: a-b, b-c), a the handle end, b the anchor end, in file order.
// Throws Failure ("file:line: ...") for a face or line that names no point.
EdgePairs pairsFromLines(const ObjFile &obj);

// Every edge of the file's faces and lines within `degrees` of `axis` (0 x,
// 1 y, 2 z), as read from the file, in file order. The handle end is the end
// further along the axis. Edges of zero length have no direction and are
// left out. Throws Failure as pairsFromLines.
EdgePairs pairsAlongAxis(const ObjFile &obj, int axis, double degrees = kAlongAxisDegrees);

// What was skipped and why, in a sentence ("8 of 24 edges ... skipped, 16
// taken as pairs: ..."), or empty when every edge found is a pair. `found`
// names the edges ("edges within 5 degrees of the y axis").
std::string describeSkippedEdges(const EdgePairs &edges, const std::string &found);

// The pairs of --pairs-from-edges: the line elements' segments, or with an
// axis the edges within `degrees` of it; `skipped` says what was left out
// (describeSkippedEdges). Throws Failure (BadInput) when there is no pair,
// and as pairsFromLines.
struct EdgeChoice {
  std::vector<PointPair> pairs;
  std::string skipped;
};
EdgeChoice pairsFromEdges(const ObjFile &obj, std::optional<int> axis, double degrees = kAlongAxisDegrees);

// The pairs the tool makes of the selection now: the selected points in the
// order the host's scan delivers them, two by two; an odd last one is left
// out. The first point of each is the handle end unless the tool inverted it.
std::vector<PointPair> deliveredPairs(const Mesh &mesh);

// The distance between two positions; past the largest double, infinity
// (never a NaN, however far apart the two are).
double distance(const Position &a, const Position &b);

// A pair's length where the file has its points, and where the written file
// has them (the mesh now, as --digits rounds it).
// A pair whose ends were closer than the tool's smallest length where the
// file has them (coincide) and that neither moved is `tooShort`: the tool
// left it, having no direction to stretch it along.
struct PairLength {
  PointPair pair;
  double before = 0.0;
  double after = 0.0;
  bool tooShort = false;
};
std::vector<PairLength> measurePairs(const ObjFile &obj, const std::vector<PointPair> &pairs);

// The tool's smallest length: a pair whose ends differ by less than this in
// each of x, y and z has no direction to be stretched along.
inline constexpr double kSmallestLength = 1e-14;

// Whether the tool sees a pair's two points as one (no direction to stretch
// along): every coordinate of the difference within kSmallestLength of zero.
bool coincide(const Position &a, const Position &b);

}  // namespace standin
