// The scene as the page has it, and what changed since: the answers of the
// playground's API.
//
// The tracker remembers what it last sent: the points' positions, the
// handles, the panel, the help text. full() sends all of it; changes() sends
// only what differs from the last answer, so a drag frame that moves one pair
// carries that pair alone. It costs what changed: the session lists the
// points written and the overlay's calls that changed since the last answer
// (Session::watchChanges), and only those are compared. Each answer has a version
// number, one more than the last, except that the whole scene keeps the
// version of the last answer when nothing changed since (so every page that
// fetched it after another page's change holds the latest version too); a
// page that sends the version it has gets changes when it is the latest and
// the whole scene otherwise (a second tab, a lost answer, a reload).
//
// Each answer comes in one of two forms, the page's choice (the API's Accept
// header): JSON, or binary arrays behind a JSON header.
//
// JSON (all numbers JSON numbers, exact: doubles in their shortest
// round-trip form; the overlay's floats as the doubles they convert to):
//   points, original, handles   flat [x0, y0, z0, x1, ...]; a handle the
//                               tool gave no position is null, null, null
//   edges                       flat [a0, b0, a1, b1, ...] point indices
//   overlay                     flat, five numbers a call: op, then
//                               moveTo 0: x y z style | lineTo 1: x y z mode |
//                               spline 2: x y z mode  | circle 3: radius 0 0 mode
//   moved                       flat [index, x, y, z, ...]
//   handles (changes)           {"count": n, "changed": [index, x, y, z, ...]}
//   overlay (changes)           {"length": calls, "runs": [[first, [calls...]], ...]}
//
// Binary (all little-endian): a uint32, the length of a JSON header; the
// header (UTF-8, padded with spaces so that the arrays start at a multiple
// of 8 bytes from the start); then the arrays, each at a multiple of 8 bytes.
// The header holds the answer's small fields as in the JSON form, and
// "arrays": {NAME: {"type": "f64" | "f32" | "u32" | "i32" | "u8", "offset":
// bytes from the end of the header, "count": values}}. Positions are float64
// x, y, z a point; indices uint32.
//
// The binary form draws on links: a handle or an overlay call whose position
// is that of a point (the handle as the double, the call as the float the
// point's position rounds to, to nearest) names the point instead of the
// numbers, and follows it as it moves. Every answer names each handle's and
// each call's link the page must change; whatever it does not name follows
// its link. A link is NONE (0xffffffff) where there is none.
//   full:     points, original (f64, 3 a point), edges (u32, 2 an edge),
//             selected (u32); "handleCount", handleLinks (u32 a handle),
//             handleOwn (f64, 3 for each handle without a link, in order);
//             the overlay as a list of calls
//   changes:  movedIndex (u32), movedXyz (f64, 3 each); "handleCount" (the
//             handles past it are dropped, new ones start as NaN with no
//             link), handleIndex, handleLinks (u32 each), handleOwn (f64, 3
//             for each one without a link); "overlayLength" (the calls past
//             it are dropped), the calls named as a list of calls with
//             overlaySlots (u32 each, ascending)
//   a list of calls: overlayOps (u8: 0 moveTo, 1 lineTo, 2 spline, 3 circle),
//             overlayModes (the style or coordinate mode: u8 when every one
//             of the list fits in a byte, i32 otherwise), overlayLinks
//             (u32; a circle has none), overlayXyz (f32, 3 for each moveTo,
//             lineTo or spline without a link, in order), overlayRadii (f64,
//             one for each circle, in order)
// A page applies the moved points first, then moves every handle and call
// linked to one of them, then applies what is named.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "standin/host/mesh.h"
#include "standin/host/wire_recorder.h"
#include "standin/session/session.h"

namespace standin {

inline constexpr int kOverlayNumbersPerCall = 5;
inline constexpr std::uint32_t kNoLink = WireLinks::kNone;
inline constexpr const char *kBinarySceneType = "application/x-elasticpull-scene";

enum class AnswerForm { Json, Binary };

// The binary form's arrays, each aligned to 8 bytes, with their index.
class BinaryArrays {
 public:
  template <typename T>
  void add(const char *name, const T *values, std::size_t count);
  // Room for `count` values, to be written before the next add.
  template <typename T>
  T *add(const char *name, std::size_t count);
  template <typename T>
  void add(const char *name, const std::vector<T> &values) {
    add(name, values.data(), values.size());
  }
  const nlohmann::json &index() const { return index_; }
  const std::string &bytes() const { return bytes_; }

 private:
  nlohmann::json index_ = nlohmann::json::object();
  std::string bytes_;
};

// An answer: the header (the whole answer in the JSON form) and the arrays
// (the binary form only).
struct SceneAnswer {
  AnswerForm form = AnswerForm::Json;
  nlohmann::json header;
  BinaryArrays arrays;

  // The body to send.
  std::string text() const;
};

class SceneTracker {
 public:
  SceneTracker();
  ~SceneTracker();

  // The whole scene, with "full": true.
  SceneAnswer whole(Session &session, AnswerForm form);
  // What changed since the last answer, with "base": the version it builds on.
  // `dragging`: the command was a drag that built without failing, so only
  // the handles of the points it wrote are asked again.
  SceneAnswer changed(Session &session, bool dragging, AnswerForm form);
  // The answer a page holding `version` needs: changes when it is the latest.
  SceneAnswer answer(Session &session, std::int64_t version, bool dragging, AnswerForm form);

  // The same in the JSON form.
  nlohmann::json full(Session &session) { return whole(session, AnswerForm::Json).header; }
  nlohmann::json changes(Session &session, bool dragging = false) {
    return changed(session, dragging, AnswerForm::Json).header;
  }
  nlohmann::json answerFor(Session &session, std::int64_t version, bool dragging = false) {
    return answer(session, version, dragging, AnswerForm::Json).header;
  }

  std::int64_t version() const { return version_; }

 private:
  struct HandleChange {
    std::uint32_t index;
    unsigned what;  // 1: it moved since the last answer; 2: the binary form names it
    std::uint32_t link;
    Position position;
  };

  void addCommon(Session &session, nlohmann::json &answer, bool newVersion);
  bool sameAsLastAnswer(Session &session);
  std::vector<std::uint32_t> movedPoints(const std::vector<Position> &now,
                                         std::vector<std::uint32_t> &written);
  // `wanted`: the bits of HandleChange::what an entry is listed for.
  std::vector<HandleChange> changedHandles(Session &session, bool dragging,
                                           const std::vector<std::uint32_t> &written, unsigned wanted,
                                           std::int64_t &count);
  std::uint32_t handleLink(std::size_t index, const Position &position) const;
  void relinkOverlay(const WireRecorder &calls);
  void relinkIndex();
  std::uint32_t findCallLink(const WireCall &call, std::size_t &cursor) const;
  void noteCallLink(std::uint32_t slot, std::uint32_t link);
  void relinkNamed(const WireRecorder &calls, const std::vector<std::uint32_t> &named);
  void relinkPoints(const std::vector<std::uint32_t> &moved, bool all);
  std::vector<std::uint32_t> namedCalls(Session &session, const std::vector<std::uint32_t> &moved,
                                        std::vector<std::uint32_t> *changedSlots);
  void addCallList(BinaryArrays &arrays, const WireRecorder &calls,
                   const std::vector<std::uint32_t> *slots) const;

  std::int64_t version_ = 0;
  std::vector<Position> points_;
  std::vector<Position> handles_;
  std::vector<std::uint32_t> handleLinks_;  // per handle: the point it sits on, or kNoLink
  std::vector<std::uint32_t> handleOf_;     // per point: its handle (its place in the selection), or kNoLink
  std::size_t overlayLength_ = 0;
  // Per overlay call: the point it sits on, or kNoLink, and each point's
  // floats as a call on it holds them (the session's, links_->calls and
  // links_->pointsAt: its recorder marks a call that follows its point
  // against them); and the calls linked to each point (callsFrom_: a
  // point's first entry in callsAt_, as built by relinkOverlay; links made
  // since are in laterLinks_, as pairs).
  WireLinks *links_ = nullptr;
  std::vector<std::uint32_t> callsFrom_;
  std::vector<std::uint32_t> callsAt_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> laterLinks_;  // (point, slot)
  // Kept from answer to answer for their room: what the session lists.
  std::vector<std::uint32_t> written_, asked_;
  std::vector<Position> askedAt_;
  std::vector<WireChange> overlayChanges_;
  bool lastWasDrag_ = false;  // the last answer was of a drag that built
  std::string panelText_;     // the panel's JSON text as last sent
  std::string help_;
  std::vector<std::size_t> selection_;
  std::uint64_t selectionStamp_ = 0;
};

}  // namespace standin
