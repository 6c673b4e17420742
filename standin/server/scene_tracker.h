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
// Encoding (all numbers JSON numbers, exact: doubles in their shortest
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
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "standin/host/mesh.h"
#include "standin/host/wire_recorder.h"
#include "standin/session/session.h"

namespace standin {

inline constexpr int kOverlayNumbersPerCall = 5;

class SceneTracker {
 public:
  SceneTracker();
  ~SceneTracker();

  // The whole scene, with "full": true.
  nlohmann::json full(Session &session);
  // What changed since the last answer, with "base": the version it builds on.
  // `dragging`: the command was a drag that built without failing, so only
  // the handles of the points it wrote are asked again.
  nlohmann::json changes(Session &session, bool dragging = false);
  // The answer a page holding `version` needs: changes when it is the latest.
  nlohmann::json answerFor(Session &session, std::int64_t version, bool dragging = false);

  std::int64_t version() const { return version_; }

 private:
  void addCommon(Session &session, nlohmann::json &answer, bool newVersion);
  bool sameAsLastAnswer(Session &session);
  nlohmann::json movedPoints(const std::vector<Position> &now, std::vector<std::uint32_t> &written);
  nlohmann::json changedHandles(Session &session, bool dragging, const std::vector<std::uint32_t> &written);

  static constexpr std::uint32_t kNoHandle = 0xffffffff;
  std::int64_t version_ = 0;
  std::vector<Position> points_;
  std::vector<Position> handles_;
  std::vector<std::uint32_t> handleOf_;  // per point: its handle (its place in the selection), or kNoHandle
  std::size_t overlayLength_ = 0;
  bool lastWasDrag_ = false;  // the last answer was of a drag that built
  std::string panelText_;     // the panel's JSON text as last sent
  std::string help_;
  std::vector<std::size_t> selection_;
  std::uint64_t selectionStamp_ = 0;
};

}  // namespace standin
