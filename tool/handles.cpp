#include "tool/handles.h"

#include <cmath>
#include <cstring>

#include "engine/tool_state.h"
#include "host/texts.h"

namespace {

ep::StretchToolState &stateOf(void *instance) { return *static_cast<ep::StretchToolState *>(instance); }

// Module-wide, shared by every instance; the host gets the same address each
// time.
constexpr std::size_t kHelpBufferSize = 256;
char helpBuffer[kHelpBufferSize];

// An index the buffers can serve: inside the points, and the buffers present
// (a memory failure in a build leaves pointCount set with every buffer gone).
bool touchable(const ep::StretchToolState &s, int index) {
  return index >= 0 && index < s.pointCount && ep::hasBuffers(s);
}

// The handle end nearest to the press, measured in the view's plane: an
// orthographic view (portAxis 0, 1 or 2) leaves out the coordinate along its
// axis, which says nothing of where the user pointed; any other value is a
// perspective view and all three count. A tie goes to the lower pair; pair 0's
// handle end when no distance can be measured (non-finite positions).
int nearestHandleEnd(const ep::StretchToolState &s, const LWToolEvent &event) {
  const ep::Vec3 press = {event.posRaw[0], event.posRaw[1], event.posRaw[2]};
  int nearest = ep::handleEndOf(s, 0);
  double nearestDistance = HUGE_VAL;
  for (int pair = 0; pair < s.pointCount / 2; ++pair) {
    const int end = ep::handleEndOf(s, pair);
    ep::Vec3 d;
    ep::vecSub(s.positions[end], press, d);
    if (event.portAxis == 0) d.x = 0.0;
    if (event.portAxis == 1) d.y = 0.0;
    if (event.portAxis == 2) d.z = 0.0;
    const double distance = ep::vecLength(d);
    if (distance < nearestDistance) {
      nearest = end;
      nearestDistance = distance;
    }
  }
  return nearest;
}

}  // namespace

extern "C" int toolCount(void *instance, LWToolEvent *) {
  const ep::StretchToolState &s = stateOf(instance);
  if (s.active == 0 || !ep::hasBuffers(s)) return 0;
  return s.pointCount;
}

// A press that found no handle drags the handle end nearest to it, so it
// stretches the pair the user pressed closest to and never swaps a pair's
// ends. With no pairs (or no buffers) the answer is 1, as the host needs some
// index; adjust then touches nothing.
extern "C" int toolStart(void *instance, LWToolEvent *event) {
  ep::StretchToolState &s = stateOf(instance);
  if (s.active == 0) s.active = 1;
  if (s.pointCount < 2 || !ep::hasBuffers(s)) return 1;
  if (event == nullptr) return ep::handleEndOf(s, 0);
  return nearestHandleEnd(s, *event);
}

// A point of the edit has priority index + 1 (at least 1, higher for a later
// point). Any other index, INT_MAX included, is "not a handle" (0) and gets no
// position: the bound is checked before anything is added to the index.
extern "C" int toolHandle(void *instance, LWToolEvent *, int index, LWDVector pos) {
  const ep::StretchToolState &s = stateOf(instance);
  if (!touchable(s, index)) return 0;
  const ep::Vec3 &p = s.positions[index];
  pos[0] = p.x;
  pos[1] = p.y;
  pos[2] = p.z;
  return index + 1;
}

extern "C" int toolAdjust(void *instance, LWToolEvent *event, int index) {
  ep::StretchToolState &s = stateOf(instance);
  s.updateAll = ep::kUpdateResetOrDrag;
  s.activeHandle = index;
  s.allHandles = (event->flags & LWT_EVENT_CTRL) != 0 ? 1 : 0;
  if (!touchable(s, index)) return index;

  const int pair = index / 2;
  const int end = index % 2;
  const bool isHandleEnd = (end == 1) == (s.inverted[pair] != 0);
  if (isHandleEnd) {  // the drag target; the next build solves from it
    s.positions[index] = {event->posRaw[0], event->posRaw[1], event->posRaw[2]};
    s.drawState = ep::kDrawRedraw;
    s.testResult = LWT_TEST_UPDATE;
  } else {  // a click on the anchor end makes it the handle end
    s.inverted[pair] = end;
    s.drawState = ep::kDrawRedraw;
    s.testResult = LWT_TEST_NOTHING;
  }
  return index;
}

extern "C" const char *toolHelp(void *, LWToolEvent *) {
  std::strncpy(helpBuffer, ep::texts::kHelp, kHelpBufferSize - 1);
  helpBuffer[kHelpBufferSize - 1] = '\0';
  return helpBuffer;
}
