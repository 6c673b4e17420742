// The per-activation record of the stretch tool, its template of remembered
// settings, and the reference to the newest instance.
#pragma once

#include <cstdint>

#include "engine/vec3.h"
#include "host/host_abi.h"

namespace ep {

enum class Mode : std::int32_t { Factor = 0, Offset = 1 };

// Values of drawState.
enum DrawState : std::int32_t {
  kDrawNothing = -1,  // no overlay: the edit has ended, or a build failed
  kDrawCurrent = 0,   // the overlay is drawn and current
  kDrawRedraw = 1,    // the overlay changed: dirty asks the host for a redraw
};

// Values of updateAll: what the next build does.
enum UpdateScope : std::int32_t {
  kUpdateDragOnly = -1,    // keep every pair's inversion and run the drag solve only
  kUpdateResetOrDrag = 0,  // no active handle: clear the inversions and recompute; else solve the drag
  kUpdateAllPairs = 1,     // recompute every pair from mode, value and Symmetry
};

// activeHandle when no handle has been adjusted.
inline constexpr std::int32_t kNoHandle = -1;

// Field order and widths are fixed: every callback of the tool reads and
// writes these fields, tests inspect them through the instance pointer, and the
// options panel hands the host the addresses of active, mode, factor, offset
// and symmetry. The flags hold the values named above, stored as plain ints.
struct StretchToolState {
  std::int32_t mode;          // 0 Factor, 1 Offset
  double factor;              // scale of a pair's length
  double offset;              // distance added to a pair's length
  std::int32_t symmetry;      // exactly 1: the anchor end moves the opposite way
  std::int32_t pointCount;    // 0 before the first build, then an even count >= 2
  std::int32_t activeHandle;  // point index of the last adjust, or kNoHandle
  std::int32_t scanCount;     // selected points the current scan delivered
  std::int32_t testResult;    // code for the next test: LWT_TEST_* (never ACCEPT)
  std::int32_t active;        // 1 while an edit is live
  std::int32_t drawState;     // a DrawState
  std::int32_t updateAll;     // an UpdateScope
  std::int32_t allHandles;    // 1 when CTRL was held at the last adjust
  Vec3 *positions;            // pointCount entries
  LWPntID *pointIds;          // pointCount entries
  std::int32_t *inverted;     // pointCount / 2 entries
  Vec3 *handleVectors;        // pointCount / 2 entries
};

// Template for new instances. Only mode, factor, offset and symmetry ever
// change after load.
extern StretchToolState rememberedSettings;

// The newest live instance, or nullptr. Set by createToolState; cleared when
// that instance is destroyed so nothing can act on a freed record.
extern StretchToolState *currentTool;

// A zero-filled record copied from rememberedSettings, which becomes
// currentTool; nullptr (currentTool unchanged) when memory runs out.
StretchToolState *createToolState();

// Puts the template back to its defaults, resets the instance's values and
// frees its buffers. Always returns 0.
int destroyToolState(StretchToolState *state);

// Frees every buffer that is present and sets its reference to nullptr.
void releaseBuffers(StretchToolState &s);

// True while all four buffers are present. Callbacks that index the buffers
// check this first: after a memory failure in a build, pointCount stays set
// while every buffer is gone.
inline bool hasBuffers(const StretchToolState &s) {
  return s.positions != nullptr && s.pointIds != nullptr && s.inverted != nullptr &&
         s.handleVectors != nullptr;
}

// Pair rule shared by the engine, handles and overlay: the handle end of pair
// i is point 2i unless inverted[i] is non-zero.
inline int handleEndOf(const StretchToolState &s, int pair) {
  return 2 * pair + (s.inverted[pair] != 0 ? 1 : 0);
}
inline int anchorEndOf(const StretchToolState &s, int pair) {
  return 2 * pair + (s.inverted[pair] == 0 ? 1 : 0);
}

}  // namespace ep

extern "C" {
// The tool callback table's `done` slot: destroyToolState, then free the record.
void toolDone(void *instance);
}
