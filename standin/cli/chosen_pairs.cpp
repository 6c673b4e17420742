#include "chosen_pairs.h"

#include <algorithm>
#include <unordered_map>

#include "standin/host/failure.h"
#include "standin/session/point_pairs.h"
#include "standin/session/text_input.h"

namespace cli {
namespace {

using standin::Failure;
using standin::FailureKind;
using standin::PointPair;

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The pairs of an @FILE: H:A items, one a line or comma-separated, with
// blank lines and '#' comments; a mistake is named by its line, and so is
// a point that a pair of an earlier line already has.
std::vector<PointPair> pairsFromFile(const std::string &file, std::size_t pointCount) {
  std::string text;
  try {
    text = standin::readTextFile(file);
  } catch (const Failure &error) {
    if (error.line() > 0) throw error.at(file, error.line());
    throw Failure(FailureKind::BadInput, "cannot read the pairs file '" + file + "': " + error.message());
  }
  standin::refuseCarriageReturnLineEnds(text, file);
  std::vector<PointPair> pairs;
  std::unordered_map<std::size_t, std::size_t> taken;  // point -> its pair
  const std::string_view all = std::string_view(text).substr(standin::byteOrderMarkLength(text));
  std::size_t lineNumber = 0;
  for (std::size_t start = 0; start < all.size();) {
    ++lineNumber;
    const std::size_t end = std::min(all.find('\n', start), all.size());
    std::string_view line = all.substr(start, end - start);
    line = trimmed(line.substr(0, line.find('#')));
    start = end + 1;
    if (line.empty()) continue;
    try {
      for (const PointPair &pair : standin::parsePairs(line, pointCount)) {
        pairs.push_back(pair);
        for (const std::size_t point : {pair.handle, pair.anchor})
          if (!taken.emplace(point, pairs.size() - 1).second) standin::checkPairs(pairs);  // says which
      }
    } catch (const Failure &error) {
      throw error.at(file, lineNumber);
    }
  }
  if (pairs.empty())
    throw Failure(FailureKind::BadInput, "the pairs file holds no pairs (H:A, one a line)", file);
  return pairs;
}

}  // namespace

ChosenPairs chosenPairs(const std::string &pairsText, const std::string &axis, double degrees,
                        const standin::ObjFile &obj) {
  if (pairsText.size() > 1 && pairsText[0] == '@')
    return ChosenPairs{pairsFromFile(pairsText.substr(1), obj.pointCount()), {}};
  if (!pairsText.empty()) return ChosenPairs{standin::parsePairs(pairsText, obj.pointCount()), {}};
  standin::EdgeChoice chosen = standin::pairsFromEdges(obj, standin::parseAxis(axis), degrees);
  return ChosenPairs{std::move(chosen.pairs), std::move(chosen.skipped)};
}

}  // namespace cli
