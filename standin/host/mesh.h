// The points of the host's primary layer: positions, selection flags and the
// opaque IDs the module sees.
//
// IDs are kIdBase + index * kIdStride cast to a pointer, so they never equal
// a small index and a module that confuses an index with an ID, or
// dereferences an ID, shows it at once. An ID stays valid for the mesh's
// life (points are only ever added).
//
// The mesh remembers which points setPosition wrote since clearWritten(), so
// that whoever keeps the points' text (an OBJ file) looks only at those.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "host/host_abi.h"

namespace standin {

using Position = std::array<double, 3>;

class Mesh {
 public:
  static constexpr uintptr_t kIdBase = 0x100000;
  static constexpr uintptr_t kIdStride = 8;

  // The most points a mesh holds: the module counts them in an int.
  static constexpr std::size_t kMaxPoints = 0x7fffffff;

  // Room for `points` points without reallocating.
  void reserve(std::size_t points);
  // Throws std::length_error past kMaxPoints.
  std::size_t addPoint(const Position &position, bool selected = false);

  std::size_t size() const { return positions_.size(); }
  LWPntID id(std::size_t index) const;
  std::optional<std::size_t> indexOf(LWPntID id) const {
    const auto value = reinterpret_cast<uintptr_t>(id);
    if (value < kIdBase || (value - kIdBase) % kIdStride != 0) return std::nullopt;
    const auto index = static_cast<std::size_t>((value - kIdBase) / kIdStride);
    if (index >= size()) return std::nullopt;
    return index;
  }

  const Position &position(std::size_t index) const { return positions_.at(index); }
  void setPosition(std::size_t index, const Position &position) {
    positions_.at(index) = position;
    written_[index] = 1;
  }
  const std::vector<Position> &positions() const { return positions_; }

  // Whether setPosition wrote the point since the last clearWritten().
  bool written(std::size_t index) const { return written_.at(index) != 0; }
  void clearWritten();

  bool selected(std::size_t index) const { return selected_.at(index) != 0; }
  void setSelected(std::size_t index, bool selected);
  // Selects exactly the given points (indices past the end are an error).
  void selectOnly(std::span<const std::size_t> indices);
  void clearSelection();
  // Counted as the selection changes, not by walking the points.
  std::size_t selectedCount() const { return selectedCount_; }

 private:
  std::vector<Position> positions_;
  std::vector<unsigned char> selected_;
  std::vector<unsigned char> written_;
  std::size_t selectedCount_ = 0;
};

}  // namespace standin
