#include "standin/host/mesh.h"

#include <algorithm>
#include <stdexcept>

namespace standin {

std::size_t Mesh::addPoint(const Position &position, bool selected) {
  positions_.push_back(position);
  selected_.push_back(selected ? 1 : 0);
  return positions_.size() - 1;
}

LWPntID Mesh::id(std::size_t index) const {
  if (index >= size()) throw std::out_of_range("Mesh::id: no point " + std::to_string(index));
  return reinterpret_cast<LWPntID>(kIdBase + static_cast<uintptr_t>(index) * kIdStride);
}

std::optional<std::size_t> Mesh::indexOf(LWPntID id) const {
  auto value = reinterpret_cast<uintptr_t>(id);
  if (value < kIdBase || (value - kIdBase) % kIdStride != 0) return std::nullopt;
  auto index = static_cast<std::size_t>((value - kIdBase) / kIdStride);
  if (index >= size()) return std::nullopt;
  return index;
}

void Mesh::setPositions(const std::vector<Position> &positions) {
  if (positions.size() != positions_.size()) throw std::invalid_argument("Mesh::setPositions: size differs");
  positions_ = positions;
}

void Mesh::selectOnly(std::span<const std::size_t> indices) {
  for (std::size_t index : indices)
    if (index >= size()) throw std::out_of_range("Mesh::selectOnly: no point " + std::to_string(index));
  clearSelection();
  for (std::size_t index : indices) selected_[index] = 1;
}

void Mesh::clearSelection() { std::fill(selected_.begin(), selected_.end(), 0); }

std::size_t Mesh::selectedCount() const {
  return static_cast<std::size_t>(std::count(selected_.begin(), selected_.end(), 1));
}

}  // namespace standin
