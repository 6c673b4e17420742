#include "tool/overlay.h"

#include <cfloat>
#include <cmath>

#include "engine/tool_state.h"

namespace ep {
namespace {

// Doubles at or past FLT_MAX plus half its spacing round to infinity.
constexpr double kFloatOverflow = static_cast<double>(FLT_MAX) + 0x1p103;
constexpr double kCircleRadius = 0.5;

struct Pen {
  LWWireDrawAccess *access;
  void moveTo(const Vec3 &p, int style) const {
    const LWFVector f = {toDrawFloat(p.x), toDrawFloat(p.y), toDrawFloat(p.z)};
    access->moveTo(access->data, f, style);
  }
  void lineTo(const Vec3 &p, int mode) const {
    const LWFVector f = {toDrawFloat(p.x), toDrawFloat(p.y), toDrawFloat(p.z)};
    access->lineTo(access->data, f, mode);
  }
};

}  // namespace

float toDrawFloat(double v) {
  if (std::isnan(v) || std::fabs(v) <= static_cast<double>(FLT_MAX)) return static_cast<float>(v);
  if (std::fabs(v) < kFloatOverflow) return v > 0 ? FLT_MAX : -FLT_MAX;
  return v > 0 ? HUGE_VALF : -HUGE_VALF;
}

}  // namespace ep

extern "C" void toolDraw(void *instance, LWWireDrawAccess *access) {
  using namespace ep;
  auto &s = *static_cast<StretchToolState *>(instance);
  if (s.active == 0 || s.drawState == kDrawNothing) return;

  // After a memory failure pointCount stays set while the buffers are gone:
  // draw nothing, but still acknowledge the redraw.
  if (hasBuffers(s)) {
    const Pen pen{access};
    for (int k = 0; k < s.pointCount / 2; ++k) {
      const Vec3 &H = s.positions[handleEndOf(s, k)];
      const Vec3 &A = s.positions[anchorEndOf(s, k)];
      const Vec3 &V = s.handleVectors[k];
      const Vec3 minusV = {0.0 - V.x, 0.0 - V.y, 0.0 - V.z};

      pen.moveTo(H, LWWIRE_SOLID);
      pen.lineTo(A, LWCSYS_WORLD);
      pen.moveTo(H, LWWIRE_DASH);
      pen.lineTo(V, LWCSYS_RELATIVE);
      pen.moveTo(H, LWWIRE_DASH);
      pen.lineTo(minusV, LWCSYS_RELATIVE);
      pen.moveTo(A, LWWIRE_DASH);
      pen.lineTo(V, LWCSYS_RELATIVE);
      pen.moveTo(A, LWWIRE_DASH);
      pen.lineTo(minusV, LWCSYS_RELATIVE);
      pen.moveTo(H, LWWIRE_SOLID);
      access->circle(access->data, kCircleRadius, LWCSYS_RELATIVE);
    }
  }
  s.drawState = kDrawCurrent;
}
