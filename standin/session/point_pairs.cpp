#include "standin/session/point_pairs.h"

#include <cmath>
#include <numbers>

namespace standin {

std::optional<int> parseAxis(std::string_view name) {
  if (name == "x") return 0;
  if (name == "y") return 1;
  if (name == "z") return 2;
  return std::nullopt;
}

std::vector<PointPair> pairsFromLines(const ObjFile &obj) {
  std::vector<PointPair> pairs;
  for (const auto &[a, b] : obj.twoPointLines()) pairs.push_back(PointPair{a, b});
  return pairs;
}

std::vector<PointPair> pairsAlongAxis(const ObjFile &obj, int axis) {
  const double cosLimit = std::cos(kAlongAxisDegrees * std::numbers::pi / 180.0);
  const auto k = static_cast<std::size_t>(axis);
  std::vector<PointPair> pairs;
  for (const auto &[a, b] : obj.edges()) {
    const Position pa = obj.filePosition(a);
    const Position pb = obj.filePosition(b);
    const double length = distance(pa, pb);
    if (length == 0.0 || !std::isfinite(length)) continue;
    const double along = pb[k] - pa[k];
    if (std::abs(along) < cosLimit * length) continue;
    pairs.push_back(along > 0 ? PointPair{b, a} : PointPair{a, b});
  }
  return pairs;
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
  return std::hypot(b[0] - a[0], b[1] - a[1], b[2] - a[2]);
}

std::vector<PairLength> measurePairs(const ObjFile &obj, const std::vector<PointPair> &pairs) {
  std::vector<PairLength> lengths;
  lengths.reserve(pairs.size());
  for (const PointPair &pair : pairs) {
    lengths.push_back(PairLength{pair, distance(obj.filePosition(pair.handle), obj.filePosition(pair.anchor)),
                                 distance(obj.position(pair.handle), obj.position(pair.anchor))});
  }
  return lengths;
}

bool coincide(const Position &a, const Position &b) {
  for (std::size_t i = 0; i < 3; ++i)
    if (std::abs(b[i] - a[i]) >= 1e-14) return false;
  return true;
}

}  // namespace standin
