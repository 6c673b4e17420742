// The host's wire drawing access for one viewport: records every call the tool makes with its arguments
// exactly as received (the floats as given, the style or coordinate mode). The record's `data` points to the
// recorder, so a recorder is neither copied nor moved while the module may draw through it.
//
// The record holds the calls since the last clear() (size() of them, each read with at(), or all as a list
// with calls()). A draw after clear() is written over the one before it: each call is compared with the
// call at its place and written only when it differs, so a viewer that keeps changes (keepChanges) learns
// which calls a draw changed in proportion to those, and a draw that changes little costs reading the last
// one, not a copy of it. The recorder cannot see a draw end (the module's draw returns to the host, not
// here): the calls left over from the longer draw before are dropped when the record is first read after
// it.
//
// A draw of a big scene makes millions of calls, and each draw reads the whole record: it is kept packed,
// 16 bytes a call (a point's three floats or a circle's radius, and the mode) with the ops in a byte each
// beside, half a WireCall. calls() makes the list of WireCalls only when a reader asks for it.
//
// Calls that follow their points. Most calls a tool draws sit on a mesh point, and when the points move
// (every pair at once) the calls that change are those same calls at the points' new places. A viewer that
// keeps changes can say where it last saw the calls (links(): per place the point its call sat on, and per
// point the floats such a call held) and where the points are now (followPoints). A changed call of the
// same op and mode as the call before, now at its point's new place, is then only marked as following its
// point, with no note: the call before is known from the links. takeChanges() still lists it, made into a
// note then; takeUnfollowedChanges() leaves it out while the points are as they were when it was marked.
#pragma once

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/host_abi.h"

namespace standin {

enum class WireOp : std::uint8_t { MoveTo, LineTo, Spline, Circle };

struct WireCall {
  WireOp op = WireOp::MoveTo;
  std::array<float, 3> point{};  // MoveTo, LineTo, Spline
  double radius = 0.0;           // Circle
  int mode = 0;                  // MoveTo: line style (0 solid, 1 dashed); others: coordinate mode (0, 101)
};

// The same call, bit for bit (so -0.0 differs from 0.0, and a NaN equals the same NaN).
inline bool sameWireCall(const WireCall &a, const WireCall &b) {
  return a.op == b.op && a.mode == b.mode &&
         std::memcmp(a.point.data(), b.point.data(), sizeof a.point) == 0 &&
         std::memcmp(&a.radius, &b.radius, sizeof a.radius) == 0;
}

// A place of the calls whose call changed, with what it held before and, for
// a viewer that checks the new call against a point, the point of the call
// there now when it is still the same kind of call. Kept small (36 bytes): a
// draw can change millions of calls between two looks, and each is noted.
// The call before is packed: its point's floats, or a circle's radius, in
// `value`.
struct WireChange {
  std::uint32_t slot = 0;
  std::int32_t mode = 0;                  // the call before: its style or coordinate mode
  std::array<unsigned char, 12> value{};  // the call before: point (3 floats) or radius (a double)
  WireOp op = WireOp::MoveTo;             // the call before
  bool existed = false;                   // false: the calls were shorter than slot then
  // The call there now (as the recorder last wrote it) is a moveTo, lineTo
  // or spline of the same op and mode as the one before, at `nowPoint`.
  bool sameKind = false;
  std::array<float, 3> nowPoint{};

  WireCall before() const;
  // Whether the call before is `call`, bit for bit.
  bool same(const WireCall &call) const { return sameWireCall(before(), call); }
  void keep(const WireCall &call);
  void keepNow(const WireCall &call);
};

// The float a double rounds to (to nearest; past the largest float, the
// largest float up to half its spacing beyond it, infinity further), as the
// tool converts what it draws and as a page's Float32Array stores a number.
inline float drawnFloat(double v) {
  constexpr double kOverflow = static_cast<double>(FLT_MAX) + 0x1p103;
  if (std::fabs(v) <= static_cast<double>(FLT_MAX) || std::isnan(v)) return static_cast<float>(v);
  if (std::fabs(v) < kOverflow) return v > 0 ? FLT_MAX : -FLT_MAX;
  return v > 0 ? HUGE_VALF : -HUGE_VALF;
}

// Where a viewer last saw the calls (see the top): kept by the recorder, so
// that it lives as long as the calls it describes. It must describe the
// record as it was at the last take: a call linked to a point held that
// point's floats then.
struct WireLinks {
  static constexpr std::uint32_t kNone = 0xffffffff;
  std::vector<std::uint32_t> calls;            // per place: a point, or kNone
  std::vector<std::array<float, 3>> pointsAt;  // per point: the floats of a call on it
};

class WireRecorder {
 public:
  WireRecorder();
  WireRecorder(const WireRecorder &) = delete;
  WireRecorder &operator=(const WireRecorder &) = delete;

  // What the host passes to the tool's draw callback; valid while this recorder lives.
  LWWireDrawAccess *access() { return &access_; }

  // The number of calls (the last draw's, once it made any).
  std::size_t size() const {
    settle();
    return ops_.size();
  }
  // Call `slot` (below size()).
  WireCall at(std::size_t slot) const;
  // Every call, as a list made when first read after a change.
  const std::vector<WireCall> &calls() const;
  // The next call is the first of a new draw.
  void clear();

  // From now on, notes each place whose call changes (see takeChanges).
  void keepChanges();
  // Each place whose call was written with a different one, appended or dropped since keepChanges() or the
  // last call, once, with the call it held then (in the order first changed). A place may hold the same
  // call again by now.
  std::vector<WireChange> takeChanges();
  // Whether the place is among the changes takeChanges() would hand over now
  // (a draw since the last look is counted once calls() was read).
  bool changedSinceTake(std::size_t slot) const {
    return slot < notedIn_.size() && (notedIn_[slot] & ~kFollowed) == take_;
  }
  // The same into `into` (its contents replaced), whose room the recorder
  // keeps for the changes after: a viewer that takes them every frame
  // allocates nothing once they have been as many.
  void takeChanges(std::vector<WireChange> &into);
  // The same, but a call marked as following its point is left out, when
  // every mark still holds (followsHold()); when not, as takeChanges.
  void takeUnfollowedChanges(std::vector<WireChange> &into);

  // Where the points are now, and a count that grows whenever one moves
  // (both must outlive the recorder, or be replaced by null first). With
  // null no call is marked as following its point.
  void followPoints(const std::vector<std::array<double, 3>> *points, const std::uint64_t *changeCount) {
    settleFollowed();
    points_ = points;
    pointChanges_ = changeCount;
  }
  // The viewer's links (see the top); editLinks() first makes every mark a
  // note (the links it was made against are about to change).
  const WireLinks &links() const { return links_; }
  WireLinks &editLinks() {
    settleFollowed();
    return links_;
  }
  // How many places are marked as following their points since the take.
  std::size_t followedCount() const { return followed_; }
  // Whether every mark since the take was made against the points as they
  // are now (none moved since).
  bool followsHold() const {
    return followed_ == 0 || (pointChanges_ != nullptr && followStamp_ == *pointChanges_);
  }

  void moveTo(const float *pos, int lineStyle);
  void lineTo(const float *pos, int coordSys);
  void spline(const float *pos, int coordSys);
  void circle(double radius, int coordSys);

 private:
  // A call as the record keeps it: the point's floats, or the circle's radius
  // in the first 8 bytes (the rest zero), bit for bit; its op apart in ops_.
  struct Packed {
    std::array<std::uint32_t, 3> value{};
    std::int32_t mode = 0;
  };
  static Packed pack(const WireCall &call);
  bool same(std::size_t slot, WireOp op, const Packed &packed) const {
    const Packed &at = packed_[slot];
    return ops_[slot] == op && at.mode == packed.mode && at.value == packed.value;
  }
  void record(const WireCall &call);
  void recordPoint(WireOp op, const float *pos, int mode);
  void writePoint(WireOp op, const float *pos, int mode);
  // Whether the call about to be written at `slot` follows its point (see
  // the top), marking it so; the call there now is the one before.
  bool follows(std::size_t slot, WireOp op, const float *pos, int mode);
  // Makes every mark since the take a note.
  void settleFollowed() const;
  // The note of a place about to change (made on its first change since the
  // last take, with the call there then).
  WireChange &note(std::size_t slot) const;
  // Drops what a shorter draw left over (see the top).
  void settle() const {
    if (open_ && cursor_ < ops_.size()) dropLeftOver();
  }
  void dropLeftOver() const;
  // The note of a place since the last take, or null.
  WireChange *noted(std::size_t slot) const {
    return slot < notedIn_.size() && notedIn_[slot] == take_ ? &changes_[noteIndex(slot)] : nullptr;
  }
  // Where the note of a noted place is in changes_.
  std::size_t noteIndex(std::size_t slot) const;
  void indexNotes() const;

  LWWireDrawAccess access_;
  // Mutable: the calls a shorter draw left over are dropped on the first look after it (settle).
  mutable std::vector<Packed> packed_;
  mutable std::vector<WireOp> ops_;
  mutable std::vector<WireCall> list_;  // calls(), when listed_
  mutable bool listed_ = false;
  std::size_t cursor_ = 0;     // where the next call goes
  mutable bool open_ = false;  // a draw since clear() may have left calls of the one before behind
  bool keeping_ = false;
  // Per place, whether it was noted since the take: the take's number (a
  // take counts on rather than clearing every place it listed; the numbers
  // start over, cleared, past 127), with kFollowed for a place only marked
  // as following its point. Small enough to stay in the caches.
  static constexpr std::uint8_t kFollowed = 0x80;
  mutable std::vector<std::uint8_t> notedIn_;
  std::uint8_t take_ = 1;
  // Following points: where they are, the marks since the take (how many,
  // and the count of point changes the first was made at), and the last
  // point's floats looked up (a tool draws at a point several times in a
  // row).
  WireLinks links_;
  const std::vector<std::array<double, 3>> *points_ = nullptr;
  const std::uint64_t *pointChanges_ = nullptr;
  mutable std::size_t followed_ = 0;
  std::uint64_t followStamp_ = 0;
  std::uint32_t lastPoint_ = WireLinks::kNone;
  std::uint64_t lastPointStamp_ = 0;
  std::array<float, 3> lastPointAt_{};
  // A place's note is found again only when a later draw changes it before
  // the take. While the notes are in the order of their places (one draw
  // since the take) that is a search; once not, every note's place in
  // changes_ is kept by place here (indexed_) until the take.
  mutable std::vector<std::uint32_t> changed_;
  mutable bool indexed_ = false;
  mutable std::vector<WireChange> changes_;
};

}  // namespace standin
