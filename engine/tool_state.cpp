#include "engine/tool_state.h"

#include "engine/allocation.h"

namespace ep {

StretchToolState rememberedSettings = {
    /*mode*/ 0,
    /*factor*/ 1.0,
    /*offset*/ 0.0,
    /*symmetry*/ 0,
    /*pointCount*/ 0,
    /*activeHandle*/ kNoHandle,
    /*scanCount*/ 0,
    /*testResult*/ LWT_TEST_UPDATE,
    /*active*/ 1,
    /*drawState*/ kDrawNothing,
    /*updateAll*/ kUpdateResetOrDrag,
    /*allHandles*/ 0,
    /*positions*/ nullptr,
    /*pointIds*/ nullptr,
    /*inverted*/ nullptr,
    /*handleVectors*/ nullptr,
};

StretchToolState *currentTool = nullptr;

StretchToolState *createToolState() {
  auto *state = static_cast<StretchToolState *>(allocateZeroed(1, sizeof(StretchToolState)));
  if (state == nullptr) return nullptr;
  *state = rememberedSettings;
  currentTool = state;
  return state;
}

namespace {
template <typename T>
void releaseBuffer(T *&buffer) {
  if (buffer != nullptr) {
    release(buffer);
    buffer = nullptr;
  }
}
}  // namespace

void releaseBuffers(StretchToolState &s) {
  releaseBuffer(s.positions);
  releaseBuffer(s.pointIds);
  releaseBuffer(s.inverted);
  releaseBuffer(s.handleVectors);
}

int destroyToolState(StretchToolState *state) {
  StretchToolState &t = rememberedSettings;
  t.mode = 0;
  t.factor = 1.0;
  t.offset = 0.0;
  t.symmetry = 0;
  t.activeHandle = kNoHandle;
  t.testResult = LWT_TEST_UPDATE;
  t.active = 1;
  t.drawState = kDrawNothing;
  t.updateAll = kUpdateResetOrDrag;
  t.allHandles = 0;

  state->mode = 0;
  state->factor = 1.0;
  state->offset = 0.0;

  releaseBuffers(*state);

  // The Invert Handle button acts on currentTool; it must never reach a freed
  // record, so the reference goes with its instance.
  if (currentTool == state) currentTool = nullptr;
  return 0;
}

}  // namespace ep

extern "C" void toolDone(void *instance) {
  auto *state = static_cast<ep::StretchToolState *>(instance);
  ep::destroyToolState(state);
  ep::release(state);
}
