// The host's wire drawing access for one viewport: records every call the tool makes with its arguments
// exactly as received (the floats as given, the style or coordinate mode). The record's `data` points to the
// recorder, so a recorder is neither copied nor moved while the module may draw through it.
#pragma once

#include <array>
#include <vector>

#include "host/host_abi.h"

namespace standin {

enum class WireOp { MoveTo, LineTo, Spline, Circle };

struct WireCall {
  WireOp op = WireOp::MoveTo;
  std::array<float, 3> point{};  // MoveTo, LineTo, Spline
  double radius = 0.0;           // Circle
  int mode = 0;                  // MoveTo: line style (0 solid, 1 dashed); others: coordinate mode (0, 101)
};

class WireRecorder {
 public:
  WireRecorder();
  WireRecorder(const WireRecorder &) = delete;
  WireRecorder &operator=(const WireRecorder &) = delete;

  // What the host passes to the tool's draw callback; valid while this recorder lives.
  LWWireDrawAccess *access() { return &access_; }

  const std::vector<WireCall> &calls() const { return calls_; }
  void clear() { calls_.clear(); }

  void moveTo(const float *pos, int lineStyle);
  void lineTo(const float *pos, int coordSys);
  void spline(const float *pos, int coordSys);
  void circle(double radius, int coordSys);

 private:
  LWWireDrawAccess access_;
  std::vector<WireCall> calls_;
};

}  // namespace standin
