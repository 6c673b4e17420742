// The points of the host's primary layer: positions, selection flags and the
// opaque IDs the module sees.
//
// IDs are kIdBase + index * kIdStride cast to a pointer, so they never equal
// a small index and a module that confuses an index with an ID, or
// dereferences an ID, shows it at once. An ID stays valid for the mesh's
// life (points are only ever added).
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

  std::size_t addPoint(const Position &position, bool selected = false);

  std::size_t size() const { return positions_.size(); }
  LWPntID id(std::size_t index) const;
  std::optional<std::size_t> indexOf(LWPntID id) const;

  const Position &position(std::size_t index) const { return positions_.at(index); }
  void setPosition(std::size_t index, const Position &position) { positions_.at(index) = position; }
  const std::vector<Position> &positions() const { return positions_; }
  void setPositions(const std::vector<Position> &positions);  // same size as the mesh

  bool selected(std::size_t index) const { return selected_.at(index) != 0; }
  void setSelected(std::size_t index, bool selected) { selected_.at(index) = selected ? 1 : 0; }
  // Selects exactly the given points (indices past the end are an error).
  void selectOnly(std::span<const std::size_t> indices);
  void clearSelection();
  std::size_t selectedCount() const;

 private:
  std::vector<Position> positions_;
  std::vector<unsigned char> selected_;
};

}  // namespace standin
