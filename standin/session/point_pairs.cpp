#include "standin/session/point_pairs.h"

#include <cmath>
#include <numbers>

#include "standin/host/failure.h"
#include "standin/host/number_text.h"

namespace standin {

std::optional<int> parseAxis(std::string_view name) {
  if (name == "x") return 0;
  if (name == "y") return 1;
  if (name == "z") return 2;
  return std::nullopt;
}

namespace {

// Takes the candidates in order, skipping one with an end already taken.
EdgePairs takeUnshared(const std::vector<PointPair> &candidates, std::size_t points) {
  EdgePairs result;
  result.found = candidates.size();
  std::vector<bool> taken(points, false);
  for (const PointPair &pair : candidates) {
    if (pair.handle == pair.anchor) {
      ++result.oneByItself;
    } else if (taken[pair.handle] || taken[pair.anchor]) {
      ++result.sharedEnd;
    } else {
      taken[pair.handle] = taken[pair.anchor] = true;
      result.pairs.push_back(pair);
    }
  }
  return result;
}

}  // namespace

EdgePairs pairsFromLines(const ObjFile &obj) {
  std::vector<PointPair> segments;
  for (const auto &[a, b] : obj.lineSegments(ObjFile::BadReferences::Refuse))
    segments.push_back(PointPair{a, b});
  return takeUnshared(segments, obj.pointCount());
}

EdgePairs pairsAlongAxis(const ObjFile &obj, int axis, double degrees) {
  const double cosLimit = std::cos(degrees * std::numbers::pi / 180.0);
  const auto k = static_cast<std::size_t>(axis);
  std::vector<PointPair> along;
  for (const auto &[a, b] : obj.edges(ObjFile::BadReferences::Refuse)) {
    const Position pa = obj.filePosition(a);
    const Position pb = obj.filePosition(b);
    const double length = distance(pa, pb);
    if (length == 0.0 || !std::isfinite(length)) continue;
    const double step = pb[k] - pa[k];
    if (std::abs(step) < cosLimit * length) continue;
    along.push_back(step > 0 ? PointPair{b, a} : PointPair{a, b});
  }
  return takeUnshared(along, obj.pointCount());
}

std::string describeSkippedEdges(const EdgePairs &edges, const std::string &found) {
  const std::size_t skipped = edges.sharedEnd + edges.oneByItself;
  if (skipped == 0) return "";
  std::string text = std::to_string(skipped) + " of " + std::to_string(edges.found) + " " + found +
                     " skipped, " + std::to_string(edges.pairs.size()) + " taken as pairs: ";
  std::string reasons;
  if (edges.sharedEnd > 0) {
    reasons += std::to_string(edges.sharedEnd) + (edges.sharedEnd == 1 ? " has an end" : " have an end") +
               " already in an earlier pair (a point can be the end of one pair only)";
  }
  if (edges.oneByItself > 0) {
    reasons += std::string(reasons.empty() ? "" : "; ") + std::to_string(edges.oneByItself) +
               (edges.oneByItself == 1 ? " goes" : " go") + " from a point to itself";
  }
  return text + reasons;
}

EdgeChoice pairsFromEdges(const ObjFile &obj, std::optional<int> axis, double degrees) {
  const EdgePairs found = axis ? pairsAlongAxis(obj, *axis, degrees) : pairsFromLines(obj);
  const std::string within =
      axis ? std::string("within ") + formatReadable(degrees) + " degrees of the " + "xyz"[*axis] + " axis"
           : "";
  if (found.pairs.empty())
    throw Failure(FailureKind::BadInput,
                  axis ? "the mesh has no edge " + within : "the mesh has no line element (l a b ...)");
  checkPairs(found.pairs);
  return EdgeChoice{found.pairs,
                    describeSkippedEdges(found, axis ? "edges " + within : "segments of the line elements")};
}

std::vector<PointPair> deliveredPairs(const Mesh &mesh) {
  std::vector<std::size_t> points = mesh.scanOrder();
  if (points.empty()) {
    points.reserve(mesh.selectedCount());
    for (std::size_t i = 0; i < mesh.size(); ++i)
      if (mesh.selected(i)) points.push_back(i);
  }
  std::vector<PointPair> pairs;
  for (std::size_t i = 0; i + 1 < points.size(); i += 2) pairs.push_back(PointPair{points[i], points[i + 1]});
  return pairs;
}

double distance(const Position &a, const Position &b) {
  const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  if (std::isfinite(d[0]) && std::isfinite(d[1]) && std::isfinite(d[2])) return std::hypot(d[0], d[1], d[2]);
  // A difference past the largest double: its halves are finite (for finite
  // ends), and twice their length is the length, or infinity.
  return 2.0 * std::hypot(b[0] / 2 - a[0] / 2, b[1] / 2 - a[1] / 2, b[2] / 2 - a[2] / 2);
}

std::vector<PairLength> measurePairs(const ObjFile &obj, const std::vector<PointPair> &pairs) {
  std::vector<PairLength> lengths;
  lengths.reserve(pairs.size());
  for (const PointPair &pair : pairs) {
    const Position &handle = obj.filePosition(pair.handle);
    const Position &anchor = obj.filePosition(pair.anchor);
    const Position &handleNow = obj.writtenPosition(pair.handle);
    const Position &anchorNow = obj.writtenPosition(pair.anchor);
    const bool unmoved = handleNow == handle && anchorNow == anchor;
    lengths.push_back(PairLength{pair, distance(handle, anchor), distance(handleNow, anchorNow),
                                 unmoved && coincide(handle, anchor)});
  }
  return lengths;
}

bool coincide(const Position &a, const Position &b) {
  for (std::size_t i = 0; i < 3; ++i)
    if (!(std::abs(b[i] - a[i]) < kSmallestLength)) return false;
  return true;
}

}  // namespace standin
