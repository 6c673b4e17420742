#include "chosen_pairs.h"

#include <optional>

#include "standin/host/failure.h"
#include "standin/host/number_text.h"
#include "standin/session/point_pairs.h"

namespace cli {

std::vector<standin::PointPair> chosenPairs(const std::string &pairsText, const std::string &axis,
                                            const standin::ObjFile &obj) {
  if (!pairsText.empty()) return standin::parsePairs(pairsText, obj.pointCount());
  const std::optional<int> along = standin::parseAxis(axis);
  std::vector<standin::PointPair> pairs =
      along ? standin::pairsAlongAxis(obj, *along) : standin::pairsFromLines(obj);
  if (pairs.empty()) {
    throw standin::Failure(standin::FailureKind::BadInput,
                           along ? "the mesh has no edge within " +
                                       standin::formatReadable(standin::kAlongAxisDegrees) +
                                       " degrees of the " + axis + " axis"
                                 : "the mesh has no line element of two points (l a b)");
  }
  standin::checkPairs(pairs);
  return pairs;
}

}  // namespace cli
