#include "chosen_pairs.h"

#include "standin/session/point_pairs.h"

namespace cli {

ChosenPairs chosenPairs(const std::string &pairsText, const std::string &axis, double degrees,
                        const standin::ObjFile &obj) {
  if (!pairsText.empty()) return ChosenPairs{standin::parsePairs(pairsText, obj.pointCount()), {}};
  standin::EdgeChoice chosen = standin::pairsFromEdges(obj, standin::parseAxis(axis), degrees);
  return ChosenPairs{std::move(chosen.pairs), std::move(chosen.skipped)};
}

}  // namespace cli
