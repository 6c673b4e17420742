// Point selections written as text: indices and ranges separated by commas,
// "0-3,8,9", or "all". Indices are 0-based positions in the mesh's point
// order (for an OBJ file, the order of its `v` lines).
//
// A selection is a set: order and repeats in the text do not matter. The host
// delivers the selected points to the tool in mesh order, so the tool's pairs
// are always (1st, 2nd), (3rd, 4th), ... selected points in mesh order.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

class SelectionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses `text` for a mesh of `pointCount` points. Returns the selected
// indices, ascending and without repeats. Throws SelectionError naming the
// offending item for empty items, non-numbers, reversed ranges and indices
// at or past `pointCount`.
std::vector<std::size_t> parseSelection(std::string_view text, std::size_t pointCount);

// The shortest text for a set of ascending indices, ranges joined: {0,1,2,5}
// gives "0-2,5"; an empty set gives "" .
std::string formatSelection(const std::vector<std::size_t> &indices);

}  // namespace standin
