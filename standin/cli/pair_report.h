// What elasticpull-host tells about the pairs: their lengths in the summary
// line, one line a pair with -v, and the same as JSON with --report.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "standin/session/point_pairs.h"

namespace cli {

// "a", "a and b", "a, b and c".
std::string joinWithAnd(const std::vector<std::string> &words);

// The pairs' lengths now, for reading: "lengths now 2", "lengths now 1.5 and
// 3", "lengths now 1, 1.5 and 3", or with more different values the range
// "lengths now 1 to 4.5"; empty without pairs.
std::string describeNewLengths(const std::vector<standin::PairLength> &pairs);

// How many pairs the tool left because their ends were closer than its
// smallest length, and why ("2 pairs were left as they were: shorter than
// ..."); empty when none was.
std::string describeTooShort(const std::vector<standin::PairLength> &pairs);

// One line a pair: "pair 0: handle 4, anchor 0, length 1 -> 2".
std::string listPairs(const std::vector<standin::PairLength> &pairs);

// The run as --report writes it.
struct PairReport {
  std::string mesh;                   // the input mesh as given
  std::optional<std::string> output;  // the result mesh, if one is written
  std::string stretch;                // as the summary says it
  std::optional<int> mode;            // 0 Factor, 1 Offset, as the panel showed it last
  double factor = 1.0;
  double offset = 0.0;
  bool symmetry = false;
  std::optional<double> length;  // --length or --match-pair's target
  std::vector<standin::PairLength> pairs;
};

// {"mesh": ..., "output": ..., "stretch": ..., "settings": {"mode", "factor"
// and "offset", or "length" (each pair had its own Offset), "symmetry"},
// "smallestLength": 1e-14, "pairsTooShort": how many pairs the tool left for
// being shorter, "pairs": [{"pair": 0, "handle": 4, "anchor": 0,
// "lengthBefore": 1, "lengthAfter": 2, "tooShort": false}, ...]}, numbers
// exact (shortest round-trip); a length past the largest double is null.
std::string reportJson(const PairReport &report);

}  // namespace cli
