#include "tool/overlay.h"

#include <cfloat>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/tool_state.h"

namespace ep {
namespace {

#if !defined(__SSE2__)
// Doubles at or past FLT_MAX plus half its spacing round to infinity.
constexpr double kFloatOverflow = static_cast<double>(FLT_MAX) + 0x1p103;
#endif
constexpr double kCircleRadius = 0.5;

// A point as the drawing calls take it. Each of a pair's four points is
// converted once and passed to every call that draws it.
struct DrawPoint {
  LWFVector xyz;
#if defined(__SSE2__)
  // x and y in one instruction, z in another, rounded as toDrawFloat rounds.
  explicit DrawPoint(const Vec3 &p) {
    _mm_storel_pi(reinterpret_cast<__m64 *>(xyz), _mm_cvtpd_ps(_mm_set_pd(p.y, p.x)));
    xyz[2] = toDrawFloat(p.z);
  }
#else
  explicit DrawPoint(const Vec3 &p) : xyz{toDrawFloat(p.x), toDrawFloat(p.y), toDrawFloat(p.z)} {}
#endif
};

}  // namespace

float toDrawFloat(double v) {
#if defined(__SSE2__)
  // The processor's conversion (round to nearest) gives exactly what the
  // portable code below spells out, in one instruction: the nearest float,
  // FLT_MAX up to half its spacing beyond it, infinities past that, NaN as NaN.
  return _mm_cvtss_f32(_mm_cvtsd_ss(_mm_setzero_ps(), _mm_set_sd(v)));
#else
  if (std::fabs(v) <= static_cast<double>(FLT_MAX) || std::isnan(v)) return static_cast<float>(v);
  if (std::fabs(v) < kFloatOverflow) return v > 0 ? FLT_MAX : -FLT_MAX;
  return v > 0 ? HUGE_VALF : -HUGE_VALF;
#endif
}

}  // namespace ep

extern "C" void toolDraw(void *instance, LWWireDrawAccess *access) {
  using namespace ep;
  auto &s = *static_cast<StretchToolState *>(instance);
  if (s.active == 0 || s.drawState == kDrawNothing) return;

  // After a memory failure pointCount stays set while the buffers are gone:
  // draw nothing, but still acknowledge the redraw.
  if (hasBuffers(s)) {
    void *const data = access->data;
    for (int k = 0; k < s.pointCount / 2; ++k) {
      const int handleEnd = handleEndOf(s, k);
      const Vec3 &V = s.handleVectors[k];
      const DrawPoint H(s.positions[handleEnd]);
      const DrawPoint A(s.positions[handleEnd ^ 1]);  // the pair's other point
      const DrawPoint along(V);
      const DrawPoint back(Vec3{0.0 - V.x, 0.0 - V.y, 0.0 - V.z});

      access->moveTo(data, H.xyz, LWWIRE_SOLID);
      access->lineTo(data, A.xyz, LWCSYS_WORLD);
      access->moveTo(data, H.xyz, LWWIRE_DASH);
      access->lineTo(data, along.xyz, LWCSYS_RELATIVE);
      access->moveTo(data, H.xyz, LWWIRE_DASH);
      access->lineTo(data, back.xyz, LWCSYS_RELATIVE);
      access->moveTo(data, A.xyz, LWWIRE_DASH);
      access->lineTo(data, along.xyz, LWCSYS_RELATIVE);
      access->moveTo(data, A.xyz, LWWIRE_DASH);
      access->lineTo(data, back.xyz, LWCSYS_RELATIVE);
      access->moveTo(data, H.xyz, LWWIRE_SOLID);
      access->circle(data, kCircleRadius, LWCSYS_RELATIVE);
    }
  }
  s.drawState = kDrawCurrent;
}
