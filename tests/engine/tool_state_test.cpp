// Creating and destroying instances: the remembered settings, the newest
// instance, and the buffers.
#include "engine/tool_state.h"

#include <gtest/gtest.h>

#include "engine/allocation.h"
#include "host/host_abi.h"

namespace ep {
namespace {

class ToolState : public ::testing::Test {
 protected:
  void TearDown() override {
    // Leave the template at its defaults for the next test.
    if (StretchToolState *s = createToolState()) toolDone(s);
  }
};

TEST_F(ToolState, DoneResetsTheTemplateWhateverWasEdited) {
  StretchToolState *s = createToolState();
  ASSERT_NE(s, nullptr);
  rememberedSettings.mode = 1;
  rememberedSettings.factor = 2.5;
  rememberedSettings.offset = -3.0;
  rememberedSettings.symmetry = 1;
  toolDone(s);
  EXPECT_EQ(rememberedSettings.mode, 0);
  EXPECT_EQ(rememberedSettings.factor, 1.0);
  EXPECT_EQ(rememberedSettings.offset, 0.0);
  EXPECT_EQ(rememberedSettings.symmetry, 0);
  EXPECT_EQ(rememberedSettings.pointCount, 0);
  EXPECT_EQ(rememberedSettings.positions, nullptr);
}

TEST_F(ToolState, AnInstanceCreatedWhileAnotherLivesStartsFromTheEditedSettings) {
  StretchToolState *first = createToolState();
  rememberedSettings.mode = 1;
  rememberedSettings.offset = 0.25;
  rememberedSettings.symmetry = 1;
  StretchToolState *second = createToolState();
  EXPECT_EQ(second->mode, 1);
  EXPECT_EQ(second->offset, 0.25);
  EXPECT_EQ(second->symmetry, 1);
  EXPECT_EQ(first->mode, 0) << "an existing instance keeps its own settings";
  toolDone(first);
  toolDone(second);
}

TEST_F(ToolState, DestroyFreesEveryBufferAndResetsTheInstanceValues) {
  StretchToolState *s = createToolState();
  s->pointCount = 4;
  s->positions = static_cast<Vec3 *>(allocateRaw(4, sizeof(Vec3)));
  s->pointIds = static_cast<LWPntID *>(allocateRaw(4, sizeof(LWPntID)));
  s->inverted = static_cast<std::int32_t *>(allocateRaw(2, sizeof(std::int32_t)));
  s->handleVectors = nullptr;  // an absent buffer is skipped
  s->mode = 1;
  s->factor = 3;
  s->offset = 4;
  EXPECT_EQ(destroyToolState(s), 0);
  EXPECT_EQ(s->positions, nullptr);
  EXPECT_EQ(s->pointIds, nullptr);
  EXPECT_EQ(s->inverted, nullptr);
  EXPECT_EQ(s->mode, 0);
  EXPECT_EQ(s->factor, 1.0);
  EXPECT_EQ(s->offset, 0.0);
  release(s);  // LeakSanitizer would flag the buffers had destroy missed one
}

TEST_F(ToolState, TheNewestInstanceIsNeverADestroyedOne) {
  StretchToolState *older = createToolState();
  StretchToolState *newer = createToolState();
  EXPECT_EQ(currentTool, newer);
  toolDone(older);
  EXPECT_EQ(currentTool, newer) << "destroying an older instance leaves the newest alone";
  toolDone(newer);
  EXPECT_EQ(currentTool, nullptr) << "the newest instance is gone: nothing may act on it";
}

TEST_F(ToolState, FailedCreationKeepsTheNewestInstance) {
  StretchToolState *s = createToolState();
  testing::failAllocationNumber(1);
  EXPECT_EQ(createToolState(), nullptr);
  EXPECT_EQ(currentTool, s);
  toolDone(s);
}

}  // namespace
}  // namespace ep
