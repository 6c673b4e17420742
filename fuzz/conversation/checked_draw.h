// The wire-drawing access the conversation's host hands to draw: it checks
// that the tool passes the host's data back, uses only the line styles and
// coordinate modes of the interface, never the spline, and draws whole pairs
// (twelve calls each).
#pragma once

#include <cmath>

#include "fuzz/invariant.h"
#include "host/host_abi.h"

namespace fuzz {

class CheckedDraw {
 public:
  LWWireDrawAccess *access() { return &access_; }

  int calls() const { return calls_; }
  void checkWholePairs() const {
    if (calls_ % 12 != 0) violated("draw made %d drawing calls, not twelve a pair", calls_);
  }

 private:
  static CheckedDraw &self(void *data) {
    if (data == nullptr) violated("a drawing call without the host's data");
    return *static_cast<CheckedDraw *>(data);
  }
  static void moveTo(void *data, const LWFVector, int lineStyle) {
    if (lineStyle != LWWIRE_SOLID && lineStyle != LWWIRE_DASH)
      violated("moveTo with line style %d", lineStyle);
    ++self(data).calls_;
  }
  static void lineTo(void *data, const LWFVector, int coordSys) {
    if (coordSys != LWCSYS_WORLD && coordSys != LWCSYS_RELATIVE)
      violated("lineTo in coordinate mode %d", coordSys);
    ++self(data).calls_;
  }
  static void spline(void *, const LWFVector, int) {
    violated("draw called spline, which the tool does not use");
  }
  static void circle(void *data, double radius, int coordSys) {
    if (!(radius > 0.0) || !std::isfinite(radius) || coordSys != LWCSYS_RELATIVE)
      violated("circle of radius %g in coordinate mode %d", radius, coordSys);
    ++self(data).calls_;
  }

  LWWireDrawAccess access_{this, moveTo, lineTo, spline, circle};
  int calls_ = 0;
};

}  // namespace fuzz
