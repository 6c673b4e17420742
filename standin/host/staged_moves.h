// The moves one mesh-edit operation has staged, by point: at most one position
// a point, in the order the points were first moved.
//
// Found through a hash table of the moved points alone, so that an operation
// costs what it moves, not the size of the mesh it works on: a host that
// builds once for each of many small selections (one for every pair length)
// would otherwise pay for the whole mesh in every build.
//
// While the points come in rising index order (a build moving the points of
// a selection in scan order), the list itself is sorted and a point is found
// in it by its index, so no table is made (4 bytes a slot, 4/3 to 8/3 slots
// a move, beside the move's own 32 bytes); the first move below the last one
// makes the table, which then serves the rest of the operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "standin/host/mesh.h"

namespace standin {

// A point and a position: a staged move, or what an applied move replaced.
struct PointPosition {
  std::size_t index;
  Position position;
};

class StagedMoves {
 public:
  // Memory an earlier operation's moves used, handed on so that a host that
  // builds every frame does not ask the system for fresh pages each time.
  struct Room {
    std::vector<PointPosition> moves;
    std::vector<std::uint32_t> table;
    // How many moves that operation made: a host that builds every frame
    // makes about as many each time, and the table starts with room for
    // them (it would otherwise grow, and be filled again, every frame).
    std::size_t lastMoves = 0;
  };

  // Room for about `expected` moves before the table grows; `room`'s memory
  // is used for it (its contents are dropped).
  explicit StagedMoves(std::size_t expected = 0) : StagedMoves(expected, Room()) {}
  StagedMoves(std::size_t expected, Room room);

  bool empty() const { return moves_.empty(); }
  std::size_t size() const { return moves_.size(); }
  // The position staged for a point, or null.
  const Position *find(std::size_t index) const {
    if (moves_.empty()) return nullptr;
    if (table_.empty()) {
      // In order: past the last move (the common question while a build
      // moves in order) is answered at once.
      if (index > moves_.back().index) return nullptr;
      const std::size_t at = placeInOrder(index);
      return at < moves_.size() && moves_[at].index == index ? &moves_[at].position : nullptr;
    }
    const std::uint32_t slot = table_[probe(index)];
    return slot != 0 ? &moves_[slot - 1].position : nullptr;
  }
  // Stages a move (replacing the point's earlier one).
  void stage(std::size_t index, const Position &position);
  // Every move in first-moved order; mutable for done, which swaps in what
  // each move replaced.
  std::vector<PointPosition> &moves() { return moves_; }
  // Gives up the moves; the table's memory is kept for takeTable().
  std::vector<PointPosition> take();
  // The table's memory once the moves were taken (empty), for another
  // operation's Room.
  std::vector<std::uint32_t> takeTable();

 private:
  // The table position holding `index`, or the empty one where it would go.
  // Indices below the table's length keep their place (a build moving the
  // points of a large selection in order walks the table in order, as it
  // would an array over the mesh); higher bits are folded in above it.
  std::size_t probe(std::size_t index) const {
    const std::size_t mask = table_.size() - 1;
    std::size_t at = (index ^ (index >> bits_)) & mask;
    for (;;) {
      const std::uint32_t slot = table_[at];
      if (slot == 0 || moves_[slot - 1].index == index) return at;
      at = (at + 1) & mask;
    }
  }
  void rehash(std::size_t capacity);
  // While the moves are in index order: the place of the first move whose
  // index is not below `index`. Searched from where the last search ended,
  // so that questions in rising order (a scan) cost a step or two each.
  std::size_t placeInOrder(std::size_t index) const;

  std::size_t expected_;
  std::size_t lastMoves_;
  std::vector<PointPosition> moves_;
  // 0 empty, else 1 + the move's position in moves_; a power of two long.
  std::vector<std::uint32_t> table_;
  std::vector<std::uint32_t> spareTable_;  // memory for the table, not in use
  unsigned bits_ = 0;                      // log2 of the table's length
  mutable std::size_t lastPlace_ = 0;      // placeInOrder's last answer
};

}  // namespace standin
