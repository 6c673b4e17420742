#include "standin/host/mesh.h"

#include <algorithm>
#include <cstring>
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
  ++changes_;
  selected_.push_back(selected ? 1 : 0);
  written_.push_back(0);
  if (!journalMark_.empty()) journalMark_.push_back(0);
  if (watching_) watchMark_.push_back(0);
  if (selected) {
    ++selectedCount_;
    ++selectionStamp_;
    endOrder();
  }
  return positions_.size() - 1;
}

LWPntID Mesh::id(std::size_t index) const {
  if (index >= size()) throw std::out_of_range("Mesh::id: no point " + std::to_string(index));
  return reinterpret_cast<LWPntID>(kIdBase + static_cast<uintptr_t>(index) * kIdStride);
}

std::uint32_t Mesh::fingerprint(const Position &position) {
  std::uint64_t words[3];
  std::memcpy(words, position.data(), sizeof words);
  // Each word's bits mixed (a multiply-xorshift), then folded to 32 bits.
  std::uint64_t h = 0x9e3779b97f4a7c15ull;
  for (std::uint64_t w : words) {
    h ^= w + 0x632be59bd9b4e019ull + (h << 6) + (h >> 2);
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
  }
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

// A tool moves the selected points, so the list gets room for them at once:
// it then never grows by copying, and room not written costs no memory.
void Mesh::recordFirstWrite(std::size_t index, std::uint32_t before) {
  if (firstWrites_.capacity() == 0) firstWrites_.reserve(std::max<std::size_t>(selectedCount_, 64));
  firstWrites_.push_back(FirstWrite{static_cast<std::uint32_t>(index), before});
}

void Mesh::clearWritten() {
  if (keepFirstWrites_) {
    // Every written point is listed: clearing those costs what was written.
    for (const FirstWrite &write : firstWrites_) written_[write.index] = 0;
    std::vector<FirstWrite>().swap(firstWrites_);
  } else {
    std::fill(written_.begin(), written_.end(), 0);
  }
}

void Mesh::setSelected(std::size_t index, bool selected) {
  unsigned char &flag = selected_.at(index);
  if ((flag != 0) == selected) return;
  endOrder();
  ++selectionStamp_;
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
  ++selectionStamp_;
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
  ++selectionStamp_;
}

void Mesh::startJournal() {
  journal_.clear();
  if (journalMark_.size() != positions_.size() || journalEpoch_ == UINT32_MAX) {
    journalMark_.assign(positions_.size(), 0);
    journalEpoch_ = 0;
  }
  ++journalEpoch_;
  journaling_ = true;
}

void Mesh::keep(std::size_t index, const Position &was) {
  journalMark_[index] = journalEpoch_;
  journal_.emplace_back(index, was);
}

std::vector<std::pair<std::size_t, Position>> Mesh::takeJournal() {
  journaling_ = false;
  std::vector<std::pair<std::size_t, Position>> kept;
  kept.swap(journal_);
  return kept;
}

void Mesh::watchWrites() {
  if (watching_) return;
  watchMark_.assign(positions_.size(), 0);
  watched_.clear();
  watching_ = true;
}

void Mesh::watch(std::size_t index) {
  watchMark_[index] = 1;
  watched_.push_back(static_cast<std::uint32_t>(index));
}

std::vector<std::uint32_t> Mesh::takeWatched() {
  std::vector<std::uint32_t> taken;
  takeWatched(taken);
  return taken;
}

void Mesh::takeWatched(std::vector<std::uint32_t> &into) {
  for (std::uint32_t index : watched_) watchMark_[index] = 0;
  into.clear();
  into.swap(watched_);
}

}  // namespace standin
