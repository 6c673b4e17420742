#include "standin/session/selection.h"

#include <charconv>
#include <cstdint>
#include <unordered_map>

namespace standin {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// How a list's messages name its items: a selection's, or pairs'.
struct ListWords {
  const char *list;      // "selection"
  const char *bad;       // "bad selection item"
  const char *expected;  // "a point index or a range such as 0-3"
};
constexpr ListWords kSelectionWords{"selection", "bad selection item",
                                    "a point index or a range such as 0-3"};
constexpr ListWords kPairWords{"pairs", "bad pair", "HANDLE:ANCHOR, two point indices such as 4:0"};

std::uint64_t parseIndex(std::string_view token, std::string_view item, const ListWords &words) {
  std::uint64_t value = 0;
  const char *first = token.data();
  const char *last = first + token.size();
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (token.empty() || ec == std::errc::invalid_argument || ptr != last) {
    throw Failure(FailureKind::BadInput,
                  std::string(words.bad) + " '" + std::string(item) + "': expected " + words.expected);
  }
  if (ec == std::errc::result_out_of_range) {
    throw Failure(FailureKind::BadInput, "point index " + std::string(token) + " is out of range");
  }
  return value;
}

Failure outOfRange(std::uint64_t index, std::size_t pointCount) {
  const std::string bound = pointCount == 0 ? "the mesh has no points"
                                            : "the mesh has " + std::to_string(pointCount) + " points (0-" +
                                                  std::to_string(pointCount - 1) + ")";
  return Failure(FailureKind::BadInput,
                 "point index " + std::to_string(index) + " is out of range: " + bound);
}

std::size_t pointIndex(std::string_view token, std::string_view item, std::size_t pointCount,
                       const ListWords &words) {
  const std::uint64_t index = parseIndex(token, item, words);
  if (index >= pointCount) throw outOfRange(index, pointCount);
  return static_cast<std::size_t>(index);
}

// Calls `each` with every comma-separated item of `whole`, trimmed; an empty
// item is an error.
template <typename Each>
void forEachItem(std::string_view whole, const ListWords &words, Each &&each) {
  std::size_t start = 0;
  while (start <= whole.size()) {
    std::size_t comma = whole.find(',', start);
    if (comma == std::string_view::npos) comma = whole.size();
    const std::string_view item = trim(whole.substr(start, comma - start));
    if (item.empty())
      throw Failure(FailureKind::BadInput,
                    std::string("empty item in ") + words.list + " '" + std::string(whole) + "'");
    each(item);
    start = comma + 1;
  }
}

std::string pairText(const PointPair &pair) {
  return std::to_string(pair.handle) + ":" + std::to_string(pair.anchor);
}

}  // namespace

void checkSelectionText(std::string_view text) {
  const std::string_view whole = trim(text);
  if (whole.empty()) throw Failure(FailureKind::BadInput, "empty selection");
  if (whole == "all") return;
  forEachItem(whole, kSelectionWords, [&](std::string_view item) {
    const std::size_t dash = item.find('-');
    if (dash == std::string_view::npos) {
      parseIndex(item, item, kSelectionWords);
      return;
    }
    const std::uint64_t first = parseIndex(trim(item.substr(0, dash)), item, kSelectionWords);
    const std::uint64_t last = parseIndex(trim(item.substr(dash + 1)), item, kSelectionWords);
    if (last < first)
      throw Failure(FailureKind::BadInput,
                    "bad range '" + std::string(item) + "': its end is before its start");
  });
}

std::vector<std::size_t> parseSelection(std::string_view text, std::size_t pointCount) {
  const std::string_view whole = trim(text);
  if (whole.empty()) throw Failure(FailureKind::BadInput, "empty selection");
  // "all" in any case, as a script reads its keywords ("ALL" in quotes too).
  if (whole.size() == 3 && (whole[0] | 0x20) == 'a' && (whole[1] | 0x20) == 'l' && (whole[2] | 0x20) == 'l') {
    std::vector<std::size_t> all(pointCount);
    for (std::size_t i = 0; i < pointCount; ++i) all[i] = i;
    return all;
  }
  std::vector<unsigned char> selected(pointCount, 0);
  forEachItem(whole, kSelectionWords, [&](std::string_view item) {
    const std::size_t dash = item.find('-');
    if (dash == std::string_view::npos) {
      selected[pointIndex(item, item, pointCount, kSelectionWords)] = 1;
      return;
    }
    const std::uint64_t first = parseIndex(trim(item.substr(0, dash)), item, kSelectionWords);
    const std::uint64_t last = parseIndex(trim(item.substr(dash + 1)), item, kSelectionWords);
    if (last < first)
      throw Failure(FailureKind::BadInput,
                    "bad range '" + std::string(item) + "': its end is before its start");
    if (first >= pointCount) throw outOfRange(first, pointCount);
    if (last >= pointCount) throw outOfRange(last, pointCount);
    for (std::uint64_t i = first; i <= last; ++i) selected[static_cast<std::size_t>(i)] = 1;
  });
  std::vector<std::size_t> indices;
  for (std::size_t i = 0; i < pointCount; ++i) {
    if (selected[i] != 0) indices.push_back(i);
  }
  return indices;
}

std::vector<PointPair> parsePairs(std::string_view text, std::size_t pointCount) {
  const std::string_view whole = trim(text);
  if (whole.empty())
    throw Failure(FailureKind::BadInput, "no pairs given (expected HANDLE:ANCHOR pairs such as 4:0,5:1)");
  std::vector<PointPair> pairs;
  forEachItem(whole, kPairWords, [&](std::string_view item) {
    const std::size_t colon = item.find(':');
    if (colon == std::string_view::npos)
      throw Failure(FailureKind::BadInput, std::string(kPairWords.bad) + " '" + std::string(item) +
                                               "': expected " + kPairWords.expected);
    pairs.push_back(PointPair{pointIndex(trim(item.substr(0, colon)), item, pointCount, kPairWords),
                              pointIndex(trim(item.substr(colon + 1)), item, pointCount, kPairWords)});
  });
  checkPairs(pairs);
  return pairs;
}

void checkPairs(const std::vector<PointPair> &pairs) {
  if (pairs.empty()) throw Failure(FailureKind::BadInput, "there are no pairs to stretch");
  std::unordered_map<std::size_t, std::size_t> pairOf;  // point -> the first pair it is in
  for (std::size_t k = 0; k < pairs.size(); ++k) {
    const PointPair &pair = pairs[k];
    if (pair.handle == pair.anchor) {
      throw Failure(FailureKind::BadInput, "pair " + std::to_string(k) + " (" + pairText(pair) +
                                               ") joins point " + std::to_string(pair.handle) + " to itself");
    }
    for (const std::size_t point : {pair.handle, pair.anchor}) {
      const auto [at, first] = pairOf.emplace(point, k);
      if (first) continue;
      throw Failure(FailureKind::BadInput,
                    "point " + std::to_string(point) + " is in pair " + std::to_string(at->second) + " (" +
                        pairText(pairs[at->second]) + ") and in pair " + std::to_string(k) + " (" +
                        pairText(pair) +
                        "): a point can be the end of one pair only (the host hands each selected point "
                        "to the tool once); stretch such pairs in separate runs or script steps");
    }
  }
}

std::vector<std::size_t> pairPoints(const std::vector<PointPair> &pairs) {
  std::vector<std::size_t> points;
  points.reserve(pairs.size() * 2);
  for (const PointPair &pair : pairs) {
    points.push_back(pair.handle);
    points.push_back(pair.anchor);
  }
  return points;
}

std::string formatPairs(const std::vector<PointPair> &pairs) {
  std::string out;
  // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict overlap
  // for a string literal + std::string here.
  for (const PointPair &pair : pairs) {
    if (!out.empty()) out += ',';
    out += pairText(pair);
  }
  return out;
}

std::string formatSelection(const std::vector<std::size_t> &indices) {
  std::string out;
  std::size_t i = 0;
  while (i < indices.size()) {
    std::size_t j = i;
    while (j + 1 < indices.size() && indices[j + 1] == indices[j] + 1) ++j;
    if (!out.empty()) out += ',';
    out += std::to_string(indices[i]);
    if (j > i) {
      out += '-';
      out += std::to_string(indices[j]);
    }
    i = j + 1;
  }
  return out;
}

}  // namespace standin
