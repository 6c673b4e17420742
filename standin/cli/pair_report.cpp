#include "pair_report.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "standin/host/number_text.h"

namespace cli {
namespace {

// Lengths for reading: the reading format drops the last bits of rounding.
// A length past the largest double (its ends are finite, their distance is
// not) is said so.
std::string shown(double length) {
  if (std::isinf(length)) return "more than " + standin::formatReadable(std::numeric_limits<double>::max());
  return standin::formatReadable(length);
}

std::size_t countTooShort(const std::vector<standin::PairLength> &pairs) {
  return static_cast<std::size_t>(
      std::count_if(pairs.begin(), pairs.end(), [](const standin::PairLength &p) { return p.tooShort; }));
}

}  // namespace

std::string joinWithAnd(const std::vector<std::string> &words) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) text += i + 1 == words.size() ? " and " : ", ";
    text += words[i];
  }
  return text;
}

std::string describeNewLengths(const std::vector<standin::PairLength> &pairs) {
  if (pairs.empty()) return "";
  std::vector<double> values;
  for (const standin::PairLength &p : pairs) values.push_back(p.after);
  std::sort(values.begin(), values.end());
  std::vector<std::string> distinct;
  for (double value : values)
    if (distinct.empty() || distinct.back() != shown(value)) distinct.push_back(shown(value));
  const std::string text = pairs.size() == 1 ? "length now " : "lengths now ";
  if (distinct.size() > 3) return text + distinct.front() + " to " + distinct.back();
  return text + joinWithAnd(distinct);
}

std::string describeTooShort(const std::vector<standin::PairLength> &pairs) {
  const std::size_t count = countTooShort(pairs);
  if (count == 0) return "";
  return std::to_string(count) + (count == 1 ? " pair was left as it was" : " pairs were left as they were") +
         ": shorter than the smallest length (ends less than " +
         standin::formatReadable(standin::kSmallestLength) +
         " apart in each of x, y and z), so without a direction to stretch along";
}

std::string listPairs(const std::vector<standin::PairLength> &pairs) {
  std::string text;
  for (std::size_t k = 0; k < pairs.size(); ++k) {
    const standin::PairLength &p = pairs[k];
    text += "pair " + std::to_string(k) + ": handle " + std::to_string(p.pair.handle) + ", anchor " +
            std::to_string(p.pair.anchor) + ", length " + shown(p.before) + " -> " + shown(p.after) +
            (p.tooShort ? " (left as it was: shorter than the smallest length)" : "") + "\n";
  }
  return text;
}

std::string reportJson(const PairReport &report) {
  using nlohmann::ordered_json;
  ordered_json settings;
  if (report.mode) settings["mode"] = *report.mode == 0 ? "factor" : "offset";
  if (report.length) {
    settings["length"] = *report.length;  // each pair had its own Offset
  } else {
    settings["factor"] = report.factor;
    settings["offset"] = report.offset;
  }
  settings["symmetry"] = report.symmetry;
  ordered_json pairs = ordered_json::array();
  for (std::size_t k = 0; k < report.pairs.size(); ++k) {
    const standin::PairLength &p = report.pairs[k];
    pairs.push_back(ordered_json{{"pair", k},
                                 {"handle", p.pair.handle},
                                 {"anchor", p.pair.anchor},
                                 {"lengthBefore", p.before},
                                 {"lengthAfter", p.after},
                                 {"tooShort", p.tooShort}});
  }
  ordered_json json{{"mesh", report.mesh}};
  json["output"] = report.output ? ordered_json(*report.output) : ordered_json(nullptr);
  json["stretch"] = report.stretch;
  json["settings"] = settings;
  json["smallestLength"] = standin::kSmallestLength;
  json["pairsTooShort"] = countTooShort(report.pairs);
  json["pairs"] = pairs;
  // A file name need not be UTF-8: such bytes are written as U+FFFD.
  return json.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace cli
