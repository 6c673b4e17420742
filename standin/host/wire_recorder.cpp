#include "standin/host/wire_recorder.h"

#include <algorithm>
#include <bit>

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

WireCall WireChange::before() const {
  WireCall call;
  call.op = op;
  call.mode = mode;
  if (op == WireOp::Circle)
    std::memcpy(&call.radius, value.data(), sizeof call.radius);
  else
    std::memcpy(call.point.data(), value.data(), sizeof call.point);
  return call;
}

void WireChange::keep(const WireCall &call) {
  op = call.op;
  mode = call.mode;
  if (call.op == WireOp::Circle)
    std::memcpy(value.data(), &call.radius, sizeof call.radius);
  else
    std::memcpy(value.data(), call.point.data(), sizeof call.point);
}

void WireChange::keepNow(const WireCall &call) {
  sameKind = existed && call.op == op && call.mode == mode && call.op != WireOp::Circle;
  nowPoint = call.point;
}

static_assert(sizeof(WireChange) == 36, "a change is noted for each call a draw changes: kept small");

WireRecorder::WireRecorder() : access_{this, &cMoveTo, &cLineTo, &cSpline, &cCircle} {}

void WireRecorder::clear() {
  settle();
  cursor_ = 0;
  open_ = true;
}

void WireRecorder::keepChanges() {
  settle();
  keeping_ = true;
}

std::vector<WireChange> WireRecorder::takeChanges() {
  std::vector<WireChange> taken;
  takeChanges(taken);
  return taken;
}

void WireRecorder::takeChanges(std::vector<WireChange> &into) {
  settle();
  for (const WireChange &change : changes_) changed_[change.slot] = 0;
  into.clear();
  into.swap(changes_);
}

WireChange &WireRecorder::note(std::size_t slot) const {
  if (changed_.size() <= slot) changed_.resize(std::max(slot + 1, calls_.size()), 0);
  if (changed_[slot] != 0) return changes_[changed_[slot] - 1];
  WireChange &change = changes_.emplace_back();
  changed_[slot] = static_cast<std::uint32_t>(changes_.size());
  change.slot = static_cast<std::uint32_t>(slot);
  change.existed = slot < calls_.size();
  if (change.existed) change.keep(calls_[slot]);
  return change;
}

void WireRecorder::record(const WireCall &call) {
  if (cursor_ < calls_.size()) {
    WireCall &at = calls_[cursor_];
    if (!sameWireCall(at, call)) {
      if (keeping_) note(cursor_).keepNow(call);
      at = call;
    }
  } else {
    if (keeping_) note(cursor_).keepNow(call);
    calls_.push_back(call);
  }
  ++cursor_;
}

void WireRecorder::settle() const {
  if (!open_ || cursor_ >= calls_.size()) return;
  if (keeping_)
    for (std::size_t slot = cursor_; slot < calls_.size(); ++slot) note(slot);
  calls_.resize(cursor_);
}

// Most calls of a draw repeat the last draw's at their place: those are only
// compared, field by field, with no call built (kept small, so that the
// callbacks take it in).
inline void WireRecorder::recordPoint(WireOp op, const float *pos, int mode) {
  if (pos != nullptr && cursor_ < calls_.size()) {
    const WireCall &at = calls_[cursor_];
    if (at.op == op && at.mode == mode && std::memcmp(at.point.data(), pos, sizeof at.point) == 0 &&
        std::bit_cast<std::uint64_t>(at.radius) == 0) {
      ++cursor_;
      return;
    }
  }
  writePoint(op, pos, mode);
}

// A call that differs from the one at its place is written over it in the
// same way.
void WireRecorder::writePoint(WireOp op, const float *pos, int mode) {
  // A null point (recorded as the origin) may still be the call there.
  if (cursor_ >= calls_.size() || pos == nullptr) return record(pointCall(op, pos, mode));
  WireCall &at = calls_[cursor_];
  // Noted before it is written: the note keeps the call it replaces.
  WireChange *change = keeping_ ? &note(cursor_) : nullptr;
  at.op = op;
  std::memcpy(at.point.data(), pos, sizeof at.point);
  at.radius = 0.0;
  at.mode = mode;
  if (change != nullptr) change->keepNow(at);
  ++cursor_;
}

void WireRecorder::moveTo(const float *pos, int lineStyle) { recordPoint(WireOp::MoveTo, pos, lineStyle); }
void WireRecorder::lineTo(const float *pos, int coordSys) { recordPoint(WireOp::LineTo, pos, coordSys); }
void WireRecorder::spline(const float *pos, int coordSys) { recordPoint(WireOp::Spline, pos, coordSys); }

void WireRecorder::circle(double radius, int coordSys) {
  // A circle's point is always recorded as the origin.
  if (cursor_ < calls_.size()) {
    const WireCall &at = calls_[cursor_];
    if (at.op == WireOp::Circle && at.mode == coordSys &&
        std::bit_cast<std::uint64_t>(at.radius) == std::bit_cast<std::uint64_t>(radius)) {
      ++cursor_;
      return;
    }
  }
  WireCall call;
  call.op = WireOp::Circle;
  call.radius = radius;
  call.mode = coordSys;
  record(call);
}

}  // namespace standin
