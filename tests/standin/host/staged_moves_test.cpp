// The moves of one operation by point: each point once, in first-moved order,
// found again after the table grows, whatever the indices.
#include "standin/host/staged_moves.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <string>
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

// Whatever the order of the moves (rising, as a build in scan order makes
// them, with repeats, or falling back below the last one, which makes the
// table), every point is found with its last position, every other is not,
// and the list keeps first-moved order; questions in rising order (a scan),
// in falling order and out of order all answer the same.
TEST(StagedMoves, EveryOrderOfMovesFindsWhatAMapOfThemFinds) {
  struct Case {
    const char *name;
    std::vector<std::size_t> indices;
  };
  std::vector<std::size_t> rising;
  std::vector<std::size_t> risingThenLower;
  std::vector<std::size_t> shuffled;
  for (std::size_t k = 0; k < 300; ++k) rising.push_back(2 * k + (k % 7 == 0 ? 1 : 0));
  risingThenLower = rising;
  risingThenLower.insert(risingThenLower.end(), {4, 3, 0, 1000, 599});
  for (std::size_t k = 0; k < 300; ++k) shuffled.push_back((k * 37) % 301);
  const std::vector<Case> cases = {
      {"none", {}},
      {"one", {7}},
      {"rising with gaps", rising},
      {"rising, each repeated at once", {0, 0, 2, 2, 5, 5, 9}},
      {"rising, then earlier points again", {1, 3, 5, 8, 13, 3, 1, 13, 8, 21}},
      {"rising, then lower new points", risingThenLower},
      {"falling", {9, 8, 7, 5, 3, 2, 0}},
      {"out of order", shuffled},
  };
  for (const Case &c : cases) {
    for (std::size_t expected : {0u, 10u, 1000u}) {
      StagedMoves moves(expected);
      std::map<std::size_t, Position> reference;
      std::vector<std::size_t> firstMoved;
      for (std::size_t k = 0; k < c.indices.size(); ++k) {
        const std::size_t index = c.indices[k];
        const Position position{static_cast<double>(index), static_cast<double>(k), 0};
        if (reference.count(index) == 0) firstMoved.push_back(index);
        reference[index] = position;
        moves.stage(index, position);
      }
      SCOPED_TRACE(std::string(c.name) + ", expected " + std::to_string(expected));
      ASSERT_EQ(moves.size(), reference.size());
      for (std::size_t k = 0; k < firstMoved.size(); ++k) EXPECT_EQ(moves.moves()[k].index, firstMoved[k]);
      const std::size_t end = reference.empty() ? 4 : reference.rbegin()->first + 4;
      std::vector<std::size_t> questions;
      for (std::size_t i = 0; i < end; ++i) questions.push_back(i);          // a scan
      for (std::size_t i = end; i-- > 0;) questions.push_back(i);            // falling
      for (std::size_t i = 0; i < end; ++i) questions.push_back((i * 53) % end);  // out of order
      for (std::size_t i : questions) {
        const auto known = reference.find(i);
        const Position *found = moves.find(i);
        if (known == reference.end()) {
          EXPECT_EQ(found, nullptr) << i;
        } else {
          ASSERT_NE(found, nullptr) << i;
          EXPECT_EQ(*found, known->second) << i;
        }
      }
    }
  }
}

// The memory an earlier operation used, with what it held left in it, is
// only room: the moves staged in it are the same.
TEST(StagedMoves, RoomOfAnEarlierOperationHoldsNothingOfIt) {
  for (std::size_t expected : {0u, 4u, 3000u}) {
    StagedMoves earlier(expected);
    // Falling indices, so that the earlier operation made a table.
    for (std::size_t index = 5000; index > 0; --index) earlier.stage(index * 3, {1, 2, 3});
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
