#include "standin/host/wire_recorder.h"

#include <algorithm>

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

WireRecorder::Packed WireRecorder::pack(const WireCall &call) {
  Packed packed;
  packed.mode = call.mode;
  if (call.op == WireOp::Circle)
    std::memcpy(packed.value.data(), &call.radius, sizeof call.radius);
  else
    std::memcpy(packed.value.data(), call.point.data(), sizeof call.point);
  return packed;
}

static_assert(sizeof(std::array<std::uint32_t, 3>) == sizeof(WireCall::point) &&
                  sizeof(std::array<std::uint32_t, 3>) >= sizeof(WireCall::radius),
              "a packed call holds a point or a radius");

WireCall WireRecorder::at(std::size_t slot) const {
  const Packed &packed = packed_[slot];
  WireCall call;
  call.op = ops_[slot];
  call.mode = packed.mode;
  if (call.op == WireOp::Circle)
    std::memcpy(&call.radius, packed.value.data(), sizeof call.radius);
  else
    std::memcpy(call.point.data(), packed.value.data(), sizeof call.point);
  return call;
}

const std::vector<WireCall> &WireRecorder::calls() const {
  settle();
  if (!listed_) {
    list_.resize(ops_.size());
    for (std::size_t slot = 0; slot < ops_.size(); ++slot) list_[slot] = at(slot);
    listed_ = true;
  }
  return list_;
}

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
  settleFollowed();
  into.clear();
  into.swap(changes_);
  indexed_ = false;
  if (++take_ == kFollowed) {
    std::fill(notedIn_.begin(), notedIn_.end(), 0);
    take_ = 1;
  }
}

void WireRecorder::takeUnfollowedChanges(std::vector<WireChange> &into) {
  settle();
  if (!followsHold()) settleFollowed();
  // The marks left go with the take: their places count as noted by an
  // earlier take from now on.
  followed_ = 0;
  takeChanges(into);
}

void WireRecorder::settleFollowed() const {
  if (followed_ == 0) return;
  const std::uint8_t mark = take_ | kFollowed;
  for (std::size_t slot = 0; followed_ > 0 && slot < notedIn_.size(); ++slot)
    if (notedIn_[slot] == mark) note(slot).keepNow(at(slot));
}

WireChange &WireRecorder::note(std::size_t slot) const {
  if (notedIn_.size() <= slot) notedIn_.resize(std::max(slot + 1, ops_.size()), 0);
  if (WireChange *noted = this->noted(slot)) return *noted;
  const bool marked = notedIn_[slot] == (take_ | kFollowed);
  if (!indexed_ && !changes_.empty() && slot < changes_.back().slot) indexNotes();
  if (indexed_) {
    if (changed_.size() <= slot) changed_.resize(notedIn_.size());
    changed_[slot] = static_cast<std::uint32_t>(changes_.size());
  }
  notedIn_[slot] = take_;
  WireChange &change = changes_.emplace_back();
  change.slot = static_cast<std::uint32_t>(slot);
  change.existed = slot < ops_.size();
  if (change.existed) {
    // The packed call is the note's form of it (a circle's radius in the first 8 bytes).
    change.op = ops_[slot];
    change.mode = packed_[slot].mode;
    static_assert(sizeof change.value == sizeof(Packed::value));
    std::memcpy(change.value.data(), packed_[slot].value.data(), sizeof change.value);
  }
  if (marked) {
    // The call before had the op and mode there now (a mark keeps them) and
    // sat on its point as the links last saw it.
    --followed_;
    static_assert(sizeof change.value == sizeof(WireLinks::pointsAt[0]));
    std::memcpy(change.value.data(), links_.pointsAt[links_.calls[slot]].data(), sizeof change.value);
  }
  return change;
}

bool WireRecorder::follows(std::size_t slot, WireOp op, const float *pos, int mode) {
  if (points_ == nullptr || slot >= links_.calls.size()) return false;
  const std::uint32_t point = links_.calls[slot];
  if (point >= points_->size() || point >= links_.pointsAt.size()) return false;  // kNone too
  const std::uint8_t noted = slot < notedIn_.size() ? notedIn_[slot] : 0;
  // A place with a note keeps it; otherwise the call there (the one before,
  // or a mark, which keeps its op and mode) is of the same op and mode.
  if (noted == take_ || ops_[slot] != op || packed_[slot].mode != mode) return false;
  const std::uint64_t stamp = *pointChanges_;
  if (point != lastPoint_ || stamp != lastPointStamp_) {
    const std::array<double, 3> &at = (*points_)[point];
    lastPointAt_ = {drawnFloat(at[0]), drawnFloat(at[1]), drawnFloat(at[2])};
    lastPoint_ = point;
    lastPointStamp_ = stamp;
  }
  if (std::memcmp(lastPointAt_.data(), pos, sizeof lastPointAt_) != 0) return false;
  if (noted != (take_ | kFollowed)) {
    if (notedIn_.size() <= slot) notedIn_.resize(std::max(slot + 1, ops_.size()), 0);
    notedIn_[slot] = take_ | kFollowed;
    // The count only grows: the marks hold while it is the first one's.
    if (followed_++ == 0) followStamp_ = stamp;
  }
  return true;
}

std::size_t WireRecorder::noteIndex(std::size_t slot) const {
  if (indexed_) return changed_[slot];
  const auto at = std::lower_bound(changes_.begin(), changes_.end(), slot,
                                   [](const WireChange &change, std::size_t s) { return change.slot < s; });
  return static_cast<std::size_t>(at - changes_.begin());
}

void WireRecorder::indexNotes() const {
  changed_.resize(notedIn_.size());
  for (std::size_t k = 0; k < changes_.size(); ++k) changed_[changes_[k].slot] = static_cast<std::uint32_t>(k);
  indexed_ = true;
}

void WireRecorder::record(const WireCall &call) {
  const Packed packed = pack(call);
  if (cursor_ < ops_.size()) {
    if (!same(cursor_, call.op, packed)) {
      if (keeping_) note(cursor_).keepNow(call);
      ops_[cursor_] = call.op;
      packed_[cursor_] = packed;
      listed_ = false;
    }
  } else {
    if (keeping_) note(cursor_).keepNow(call);
    ops_.push_back(call.op);
    packed_.push_back(packed);
    listed_ = false;
  }
  ++cursor_;
}

void WireRecorder::dropLeftOver() const {
  if (keeping_)
    for (std::size_t slot = cursor_; slot < ops_.size(); ++slot) note(slot);
  ops_.resize(cursor_);
  packed_.resize(cursor_);
  listed_ = false;
}

// Most calls of a draw repeat the last draw's at their place: those are only
// compared, field by field, with no call built (kept small, so that the
// callbacks take it in).
inline void WireRecorder::recordPoint(WireOp op, const float *pos, int mode) {
  if (pos != nullptr && cursor_ < ops_.size()) {
    const Packed &at = packed_[cursor_];
    if (ops_[cursor_] == op && at.mode == mode && std::memcmp(at.value.data(), pos, sizeof at.value) == 0) {
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
  if (cursor_ >= ops_.size() || pos == nullptr) return record(pointCall(op, pos, mode));
  Packed &at = packed_[cursor_];
  // Noted before it is written: the note keeps the call it replaces.
  if (keeping_ && !follows(cursor_, op, pos, mode)) {
    WireChange &change = note(cursor_);
    change.sameKind = change.existed && change.op == op && change.mode == mode && op != WireOp::Circle;
    std::memcpy(change.nowPoint.data(), pos, sizeof change.nowPoint);
  }
  ops_[cursor_] = op;
  std::memcpy(at.value.data(), pos, sizeof at.value);
  at.mode = mode;
  listed_ = false;
  ++cursor_;
}

void WireRecorder::moveTo(const float *pos, int lineStyle) { recordPoint(WireOp::MoveTo, pos, lineStyle); }
void WireRecorder::lineTo(const float *pos, int coordSys) { recordPoint(WireOp::LineTo, pos, coordSys); }
void WireRecorder::spline(const float *pos, int coordSys) { recordPoint(WireOp::Spline, pos, coordSys); }

void WireRecorder::circle(double radius, int coordSys) {
  // A circle's point is always recorded as the origin.
  if (cursor_ < ops_.size()) {
    const Packed &at = packed_[cursor_];
    if (ops_[cursor_] == WireOp::Circle && at.mode == coordSys &&
        std::memcmp(at.value.data(), &radius, sizeof radius) == 0) {
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
