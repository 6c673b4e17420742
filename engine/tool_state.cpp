#include "engine/tool_state.h"

#include "engine/allocation.h"

namespace ep {

StretchToolState rememberedSettings = {
    /*mode*/ 0,
    /*factor*/ 1.0,
    /*offset*/ 0.0,
    /*symmetry*/ 0,
    /*pointCount*/ 0,
    /*activeHandle*/ -1,
    /*scanCount*/ 0,
    /*testResult*/ 1,
    /*active*/ 1,
    /*drawState*/ -1,
    /*updateAll*/ 0,
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

int destroyToolState(StretchToolState *state) {
  StretchToolState &t = rememberedSettings;
  t.mode = 0;
  t.factor = 1.0;
  t.offset = 0.0;
  t.symmetry = 0;
  t.activeHandle = -1;
  t.testResult = 1;
  t.active = 1;
  t.drawState = -1;
  t.updateAll = 0;
  t.allHandles = 0;

  state->mode = 0;
  state->factor = 1.0;
  state->offset = 0.0;

  releaseBuffer(state->positions);
  releaseBuffer(state->pointIds);
  releaseBuffer(state->inverted);
  releaseBuffer(state->handleVectors);

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
