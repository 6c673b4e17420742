// Point selections written as text: indices and ranges separated by commas,
// "0-3,8,9", or "all". Indices are 0-based positions in the mesh's point
// order (for an OBJ file, the order of its `v` lines).
//
// A selection is a set: order and repeats in the text do not matter. The host
// delivers the selected points to the tool in mesh order, so the tool's pairs
// are (1st, 2nd), (3rd, 4th), ... selected points in mesh order.
//
// Pairs written as text choose the pairs instead: "4:0,5:1" is two pairs, each
// handle end first, then anchor end (the same indices as a selection). The
// host delivers their points in that order (Mesh::selectInOrder), so the
// tool's pair k is the k-th pair written.
#pragma once

#include <cstddef>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "standin/host/failure.h"

namespace standin {

// Every parser here throws Failure(BadInput) naming what is wrong.

// Parses `text` for a mesh of `pointCount` points. Returns the selected
// indices, ascending and without repeats. Throws Failure naming the
// offending item for empty items, non-numbers, reversed ranges and indices
// at or past `pointCount`.
std::vector<std::size_t> parseSelection(std::string_view text, std::size_t pointCount);

// Checks the text of a selection for its syntax alone (what parseSelection
// refuses whatever the mesh: empty items, non-numbers, reversed ranges).
void checkSelectionText(std::string_view text);

// Two points the tool stretches as one pair: the handle end moves.
struct PointPair {
  std::size_t handle = 0;
  std::size_t anchor = 0;
  bool operator==(const PointPair &) const = default;
};
// For test messages: "4:0".
inline std::ostream &operator<<(std::ostream &out, const PointPair &pair) {
  return out << pair.handle << ':' << pair.anchor;
}

// Parses pairs "H:A,H:A,..." (blanks around items and numbers are allowed)
// for a mesh of `pointCount` points and checks them with checkPairs. Throws
// Failure as parseSelection does, and for an item that is not H:A.
std::vector<PointPair> parsePairs(std::string_view text, std::size_t pointCount);

// Refuses pairs the tool cannot stretch as written (Failure naming
// them): none at all, a point paired with itself, and a point in two pairs.
// The host hands each selected point to the tool once, so a point cannot be
// the end of two pairs; the tool would also read the second pair's end where
// the first pair moved it.
void checkPairs(const std::vector<PointPair> &pairs);

// The pairs' points in the order the host delivers them: H0, A0, H1, A1, ...
std::vector<std::size_t> pairPoints(const std::vector<PointPair> &pairs);

// "4:0,5:1".
std::string formatPairs(const std::vector<PointPair> &pairs);

// The shortest text for a set of ascending indices, ranges joined: {0,1,2,5}
// gives "0-2,5"; an empty set gives "" .
std::string formatSelection(const std::vector<std::size_t> &indices);

}  // namespace standin
