#include "standin/host/staged_moves.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <utility>

namespace standin {

StagedMoves::StagedMoves(std::size_t expected, Room room)
    : expected_(expected),
      lastMoves_(room.lastMoves),
      moves_(std::move(room.moves)),
      spareTable_(std::move(room.table)) {
  moves_.clear();
  spareTable_.clear();
}

void StagedMoves::rehash(std::size_t capacity) {
  if (table_.empty()) table_.swap(spareTable_);
  table_.assign(capacity, 0);
  bits_ = static_cast<unsigned>(std::countr_zero(capacity));
  for (std::size_t k = 0; k < moves_.size(); ++k)
    table_[probe(moves_[k].index)] = static_cast<std::uint32_t>(k + 1);
}

std::size_t StagedMoves::placeInOrder(std::size_t index) const {
  const std::size_t count = moves_.size();
  std::size_t low = 0;
  std::size_t high = count;
  // From the last answer, steps that double while they stay at or below
  // `index`: the place is then in [low, high).
  if (lastPlace_ < count && moves_[lastPlace_].index <= index) {
    low = lastPlace_;
    std::size_t step = 1;
    while (low + step < count && moves_[low + step].index <= index) {
      low += step;
      step *= 2;
    }
    high = std::min(count, low + step);
  }
  const auto at = std::lower_bound(moves_.begin() + static_cast<std::ptrdiff_t>(low),
                                   moves_.begin() + static_cast<std::ptrdiff_t>(high), index,
                                   [](const PointPosition &move, std::size_t i) { return move.index < i; });
  lastPlace_ = static_cast<std::size_t>(at - moves_.begin());
  return lastPlace_;
}

void StagedMoves::stage(std::size_t index, const Position &position) {
  if (table_.empty()) {
    if (moves_.empty()) moves_.reserve(std::max(expected_, lastMoves_));
    if (moves_.empty() || index > moves_.back().index) {
      moves_.push_back(PointPosition{index, position});
      return;
    }
    const std::size_t at = placeInOrder(index);
    if (moves_[at].index == index) {
      moves_[at].position = position;
      return;
    }
    // The first move out of order: the table from now on. A stretch without
    // Symmetry moves half the points it holds: the table starts with room
    // for that many, for those moved so far, or for as many as the operation
    // before moved, at most three quarters full, and grows when more move.
    const std::size_t count = std::max({expected_ / 2, moves_.size() + 1, lastMoves_});
    rehash(std::bit_ceil(std::max<std::size_t>(16, count + count / 3 + 1)));
  }
  const std::size_t at = probe(index);
  if (table_[at] != 0) {
    moves_[table_[at] - 1].position = position;
    return;
  }
  moves_.push_back(PointPosition{index, position});
  table_[at] = static_cast<std::uint32_t>(moves_.size());
  if (4 * moves_.size() > 3 * table_.size()) rehash(2 * table_.size());
}

std::vector<PointPosition> StagedMoves::take() {
  if (!table_.empty()) {
    table_.clear();
    spareTable_.swap(table_);
  }
  bits_ = 0;
  lastPlace_ = 0;
  return std::exchange(moves_, {});
}

std::vector<std::uint32_t> StagedMoves::takeTable() { return std::exchange(spareTable_, {}); }

}  // namespace standin
