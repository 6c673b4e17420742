// The tool's memory: its four buffers, taken at the first build and sized from
// the state record's element types, nothing allocated afterwards whatever the
// user does, and no buffer entry ever read before something defined it (the
// first build leaves its fresh buffers unfilled and clears what it does not
// write).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "engine/allocation.h"
#include "standin/host/wire_recorder.h"
#include "tests/engine/engine_fixture.h"

namespace ep::testing {
namespace {

constexpr int kPoints = 1000;
constexpr int kPairs = kPoints / 2;
constexpr unsigned char kHeapJunk = 0xA5;

class ToolMemory : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    // Pairs along y, each 1 long: points 2i and 2i+1 at (i, 0, 0) and (i, 1, 0).
    for (int i = 0; i < kPoints; ++i) mesh_.addPoint({double(i / 2), double(i % 2), 0.0}, true);
  }
  void TearDown() override {
    ::ep::testing::fillRawAllocationsWith(-1);
    ::ep::testing::failAllocationNumber(0);
    EngineTest::TearDown();
  }
  LWToolEvent eventAt(double x, double y, double z, int flags = 0) {
    LWToolEvent event{};
    event.posRaw[0] = x;
    event.posRaw[1] = y;
    event.posRaw[2] = z;
    event.portAxis = -1;
    event.flags = flags;
    return event;
  }
  // True when some 8-byte word of the block still holds the heap's junk.
  static bool holdsJunk(const void *block, std::size_t bytes) {
    std::uint64_t junk;
    std::memset(&junk, kHeapJunk, sizeof junk);
    for (std::size_t at = 0; at + sizeof junk <= bytes; at += sizeof junk)
      if (std::memcmp(static_cast<const char *>(block) + at, &junk, sizeof junk) == 0) return true;
    return false;
  }
  bool anyBufferHoldsJunk() const {
    return holdsJunk(state_->positions, kPoints * sizeof(Vec3)) ||
           holdsJunk(state_->pointIds, kPoints * sizeof(LWPntID)) ||
           holdsJunk(state_->inverted, kPairs * sizeof(std::int32_t)) ||
           holdsJunk(state_->handleVectors, kPairs * sizeof(Vec3));
  }
  void expectPairCleared(int pair) {
    SCOPED_TRACE(::testing::Message() << "pair " << pair);
    expectVec(state_->positions[2 * pair], 0, 0, 0);
    expectVec(state_->positions[2 * pair + 1], 0, 0, 0);
    expectVec(state_->handleVectors[pair], 0, 0, 0);
    EXPECT_EQ(state_->inverted[pair], 0);
  }
  standin::WireRecorder recorder_;
};

TEST_F(ToolMemory, TheFirstBuildTakesFortySixBytesAPointInFourBlocks) {
  state_->factor = 1.5;
  ::ep::testing::failAllocationNumber(0);
  ASSERT_EQ(build(), "");
  EXPECT_EQ(::ep::testing::allocationsSinceArmed(), 4u);
  const std::size_t perPoint = sizeof(*state_->positions) + sizeof(*state_->pointIds);
  const std::size_t perPair = sizeof(*state_->inverted) + sizeof(*state_->handleVectors);
  EXPECT_EQ(::ep::testing::bytesSinceArmed(), kPoints * perPoint + kPairs * perPair);
  const std::size_t bytesAPoint = sizeof(void *) == 8 ? 46 : 42;
  EXPECT_EQ(::ep::testing::bytesSinceArmed(), bytesAPoint * kPoints);
}

TEST_F(ToolMemory, NothingIsAllocatedAfterTheFirstBuild) {
  state_->factor = 1.5;
  ASSERT_EQ(build(), "");
  ::ep::testing::failAllocationNumber(0);

  // Drawing, offering handles, the help line.
  funcs_.draw(state_, recorder_.access());
  LWToolEvent press = eventAt(10, 5, 0);
  EXPECT_EQ(funcs_.count(state_, &press), kPoints);
  LWDVector where;
  EXPECT_EQ(funcs_.handle(state_, &press, 7, where), 8);
  funcs_.start(state_, &press);
  funcs_.help(state_, &press);
  // Drags without and with CTRL, each followed by test, build, dirty, draw.
  for (const int flags : {0, int{LWT_EVENT_CTRL}}) {
    LWToolEvent drag = eventAt(3, -2, 0.5, flags);
    funcs_.adjust(state_, &drag, 6);
    EXPECT_EQ(binding_.test(state_), LWT_TEST_UPDATE);
    ASSERT_EQ(build(), "");
    EXPECT_NE(funcs_.dirty(state_), 0);
    funcs_.draw(state_, recorder_.access());
  }
  // A click on an anchor end, panel edits in both modes with Symmetry, a
  // right click that keeps the result, a reset and an activate event.
  LWToolEvent click = eventAt(0, 1, 0);
  funcs_.adjust(state_, &click, 1);
  ASSERT_EQ(build(), "");
  const struct {
    int mode, symmetry;
    double factor, offset;
  } edits[] = {{0, 0, 2.5, 0.0}, {1, 1, 1.0, -0.25}};
  for (const auto &e : edits) {
    state_->mode = e.mode;
    state_->symmetry = e.symmetry;
    state_->factor = e.factor;
    state_->offset = e.offset;
    state_->updateAll = kUpdateAllPairs;
    ASSERT_EQ(build(), "");
  }
  LWToolEvent right = eventAt(0, 0, 0, LWT_EVENT_RIGHT_BUTTON);
  funcs_.down(state_, &right);
  binding_.end(state_, 1);
  ASSERT_EQ(build(), "");
  funcs_.event(state_, LWT_EVENT_RESET);
  funcs_.event(state_, LWT_EVENT_ACTIVATE);
  ASSERT_EQ(build(), "");
  funcs_.draw(state_, recorder_.access());

  EXPECT_EQ(::ep::testing::allocationsSinceArmed(), 0u);
  EXPECT_EQ(::ep::testing::bytesSinceArmed(), 0u);
  EXPECT_TRUE(boxes().empty());
}

// The heap hands the first build junk; whichever way the build goes, every
// entry ends up written by it or zero, exactly as if the buffers had come
// zero-filled.
TEST_F(ToolMemory, AFirstBuildLeavesNoBufferEntryUndefined) {
  ::ep::testing::fillRawAllocationsWith(kHeapJunk);
  state_->factor = 1.5;
  ASSERT_EQ(build(), "");
  EXPECT_FALSE(anyBufferHoldsJunk());
  expectVec(state_->positions[0], 0, -0.5, 0);  // pair 0 stretched about its anchor (0, 1, 0)
  expectVec(state_->handleVectors[kPairs - 1], 0, -3, 0);
}

TEST_F(ToolMemory, AFirstBuildThatFailsClearsWhatItDidNotWrite) {
  struct Case {
    const char *what;
    unsigned abortAtStep;  // 0: none
    EditFaults faults;
    int updateAll;
    int pairsWritten;  // stretched before the failure, entries kept
  };
  EditFaults failedMove;
  failedMove.failMovePoint = 2 * 7;  // pair 7's handle end
  EditFaults shortScan;
  shortScan.scanWithholdSelected = 3;
  const Case cases[] = {
      {"abort during the scan", 10, {}, kUpdateResetOrDrag, 0},
      {"the scan delivers fewer points than counted", 0, shortScan, kUpdateResetOrDrag, 0},
      {"a failed move in the reset step", 0, failedMove, kUpdateResetOrDrag, 8},
      {"abort in the recompute loop", kPoints + 5, {}, kUpdateAllPairs, 4},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    startOver();
    for (int i = 0; i < kPoints; ++i) mesh_.addPoint({double(i / 2), double(i % 2), 0.0}, true);
    globals_.messages().clear();
    globals_.monitors().abortAtStep(c.abortAtStep == 0 ? std::nullopt
                                                       : std::optional<unsigned>(c.abortAtStep));
    ::ep::testing::fillRawAllocationsWith(kHeapJunk);
    state_->active = 1;
    state_->factor = 1.5;
    state_->updateAll = c.updateAll;
    EXPECT_EQ(build(c.faults), "Failed");
    globals_.monitors().abortAtStep(std::nullopt);
    ASSERT_TRUE(hasBuffers(*state_));
    EXPECT_FALSE(anyBufferHoldsJunk());
    for (int pair = 0; pair < c.pairsWritten; ++pair) {
      expectVec(state_->positions[2 * pair], pair, -0.5, 0);
      expectVec(state_->handleVectors[pair], 0, -3, 0);
    }
    for (int pair = c.pairsWritten; pair < kPairs; ++pair) expectPairCleared(pair);
    // The IDs the scan stored stay; the ones it did not are null.
    const int stored = std::min(state_->scanCount, kPoints);
    for (int j = 0; j < kPoints; ++j)
      ASSERT_EQ(state_->pointIds[j], j < stored ? mesh_.id(static_cast<std::size_t>(j)) : nullptr)
          << "point " << j;
  }
}

// A size past the address space (a host's count of 2^31 points on a 32-bit
// build) gives no block, never a short one that the count would overrun.
TEST(Allocation, ASizePastTheAddressSpaceGivesNoBlock) {
  const std::size_t live = ::ep::testing::liveBlocks();
  EXPECT_EQ(allocateRaw(SIZE_MAX / 8 + 1, 16), nullptr);
  EXPECT_EQ(allocateRaw(SIZE_MAX, 2), nullptr);
  EXPECT_EQ(::ep::testing::liveBlocks(), live);
  void *block = allocateRaw(3, 8);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(::ep::testing::liveBlocks(), live + 1);
  release(block);
  release(nullptr);
  EXPECT_EQ(::ep::testing::liveBlocks(), live);
}

}  // namespace
}  // namespace ep::testing
