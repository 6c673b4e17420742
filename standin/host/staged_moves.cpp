#include "standin/host/staged_moves.h"

#include <algorithm>
#include <bit>
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

void StagedMoves::stage(std::size_t index, const Position &position) {
  if (table_.empty()) {
    // The first move. A stretch without Symmetry moves half the points it
    // holds, or as many as the operation before moved: the table starts with
    // room for that many at most three quarters full, and grows when more
    // move.
    moves_.reserve(std::max(expected_, lastMoves_));
    const std::size_t count = std::max(expected_ / 2, lastMoves_);
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
  return std::exchange(moves_, {});
}

std::vector<std::uint32_t> StagedMoves::takeTable() { return std::exchange(spareTable_, {}); }

}  // namespace standin
