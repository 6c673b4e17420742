// The moves of one operation by point: each point once, in first-moved order,
// found again after the table grows, whatever the indices.
#include "standin/host/staged_moves.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace {

using standin::Position;
using standin::StagedMoves;

// Far more moves than expected, at indices spread over a large mesh (every
// 7919th point wraps a 2^20-point range) and some that collide in the
// table's low bits, each point moved twice.
void checkMoves(StagedMoves &moves, std::size_t expected) {
  std::vector<std::size_t> indices;
  for (std::size_t k = 0; k < 2000; ++k) indices.push_back((k * 7919) % (1u << 20));
  for (std::size_t k = 0; k < 64; ++k) indices.push_back((k + 1) << 14);
  for (std::size_t index : indices) moves.stage(index, {static_cast<double>(index), 0, 0});
  for (std::size_t index : indices) moves.stage(index, {static_cast<double>(index), 1, 0});
  ASSERT_EQ(moves.size(), indices.size()) << "expected " << expected;
  for (std::size_t k = 0; k < indices.size(); ++k) {
    const Position *found = moves.find(indices[k]);
    ASSERT_NE(found, nullptr) << indices[k];
    EXPECT_EQ(*found, (Position{static_cast<double>(indices[k]), 1, 0}));
    EXPECT_EQ(moves.moves()[k].index, indices[k]);
  }
  EXPECT_EQ(moves.find(1), nullptr);
  EXPECT_EQ(moves.find(3), nullptr);
  EXPECT_EQ(moves.take().size(), indices.size());
  EXPECT_TRUE(moves.empty());
  EXPECT_EQ(moves.find(indices[0]), nullptr);
  moves.stage(5, {5, 5, 5});  // usable again after take
  EXPECT_EQ(*moves.find(5), (Position{5, 5, 5}));
}

TEST(StagedMoves, KeepsOneMoveAPointInFirstMovedOrderAcrossGrowth) {
  for (std::size_t expected : {0u, 4u, 3000u}) {
    StagedMoves moves(expected);
    checkMoves(moves, expected);
  }
}

// The memory an earlier operation used, with what it held left in it, is
// only room: the moves staged in it are the same.
TEST(StagedMoves, RoomOfAnEarlierOperationHoldsNothingOfIt) {
  for (std::size_t expected : {0u, 4u, 3000u}) {
    StagedMoves earlier(expected);
    for (std::size_t index = 0; index < 5000; ++index) earlier.stage(index * 3, {1, 2, 3});
    StagedMoves::Room room{earlier.take(), earlier.takeTable()};
    ASSERT_FALSE(room.moves.empty());
    ASSERT_GT(room.table.capacity(), 0u) << "the table's memory is handed on";
    StagedMoves moves(expected, std::move(room));
    EXPECT_TRUE(moves.empty());
    EXPECT_EQ(moves.find(0), nullptr);
    EXPECT_EQ(moves.find(3), nullptr);
    checkMoves(moves, expected);
  }
}

}  // namespace
