#include "standin/host/wire_recorder.h"

namespace standin {

namespace {

WireRecorder *recorderOf(void *data) { return static_cast<WireRecorder *>(data); }

void cMoveTo(void *data, const LWFVector pos, int lineStyle) { recorderOf(data)->moveTo(pos, lineStyle); }
void cLineTo(void *data, const LWFVector pos, int coordSys) { recorderOf(data)->lineTo(pos, coordSys); }
void cSpline(void *data, const LWFVector pos, int coordSys) { recorderOf(data)->spline(pos, coordSys); }
void cCircle(void *data, double radius, int coordSys) { recorderOf(data)->circle(radius, coordSys); }

WireCall pointCall(WireOp op, const float *pos, int mode) {
  WireCall call;
  call.op = op;
  // A null point is recorded as the origin rather than read.
  if (pos != nullptr) call.point = {pos[0], pos[1], pos[2]};
  call.mode = mode;
  return call;
}

}  // namespace

WireRecorder::WireRecorder() : access_{this, &cMoveTo, &cLineTo, &cSpline, &cCircle} {}

void WireRecorder::moveTo(const float *pos, int lineStyle) {
  calls_.push_back(pointCall(WireOp::MoveTo, pos, lineStyle));
}
void WireRecorder::lineTo(const float *pos, int coordSys) {
  calls_.push_back(pointCall(WireOp::LineTo, pos, coordSys));
}
void WireRecorder::spline(const float *pos, int coordSys) {
  calls_.push_back(pointCall(WireOp::Spline, pos, coordSys));
}

void WireRecorder::circle(double radius, int coordSys) {
  WireCall call;
  call.op = WireOp::Circle;
  call.radius = radius;
  call.mode = coordSys;
  calls_.push_back(call);
}

}  // namespace standin
