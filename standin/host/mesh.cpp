#include "standin/host/mesh.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace standin {

void Mesh::reserve(std::size_t points) {
  positions_.reserve(points);
  selected_.reserve(points);
  written_.reserve(points);
}

std::size_t Mesh::addPoint(const Position &position, bool selected) {
  if (positions_.size() >= kMaxPoints) throw std::length_error("Mesh::addPoint: the mesh is full");
  positions_.push_back(position);
  selected_.push_back(selected ? 1 : 0);
  written_.push_back(0);
  if (selected) {
    ++selectedCount_;
    endOrder();
  }
  return positions_.size() - 1;
}

LWPntID Mesh::id(std::size_t index) const {
  if (index >= size()) throw std::out_of_range("Mesh::id: no point " + std::to_string(index));
  return reinterpret_cast<LWPntID>(kIdBase + static_cast<uintptr_t>(index) * kIdStride);
}

void Mesh::clearWritten() { std::fill(written_.begin(), written_.end(), 0); }

void Mesh::setSelected(std::size_t index, bool selected) {
  unsigned char &flag = selected_.at(index);
  if ((flag != 0) == selected) return;
  endOrder();
  flag = selected ? 1 : 0;
  if (selected)
    ++selectedCount_;
  else
    --selectedCount_;
}

void Mesh::selectOnly(std::span<const std::size_t> indices) {
  for (std::size_t index : indices)
    if (index >= size()) throw std::out_of_range("Mesh::selectOnly: no point " + std::to_string(index));
  clearSelection();
  for (std::size_t index : indices) setSelected(index, true);
}

void Mesh::endOrder() {
  scanOrder_.clear();
  ownLayer_ = false;
}

void Mesh::clearSelection() {
  // An ordered selection lists every selected point: only those are cleared.
  if (!scanOrder_.empty()) {
    for (std::size_t index : scanOrder_) selected_[index] = 0;
  } else if (selectedCount_ != 0) {
    std::fill(selected_.begin(), selected_.end(), 0);
  }
  selectedCount_ = 0;
  endOrder();
}

void Mesh::selectInOrder(std::span<const std::size_t> indices, bool ownLayer) {
  std::vector<std::size_t> sorted(indices.begin(), indices.end());
  std::sort(sorted.begin(), sorted.end());
  if (const auto twice = std::adjacent_find(sorted.begin(), sorted.end()); twice != sorted.end())
    throw std::invalid_argument("Mesh::selectInOrder: point " + std::to_string(*twice) + " is given twice");
  selectOnly(indices);
  scanOrder_.assign(indices.begin(), indices.end());
  ownLayer_ = ownLayer && !scanOrder_.empty();
}

}  // namespace standin
