#include "standin/session/selection.h"

#include <charconv>
#include <cstdint>

namespace standin {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::uint64_t parseIndex(std::string_view token, std::string_view item) {
  std::uint64_t value = 0;
  const char *first = token.data();
  const char *last = first + token.size();
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (token.empty() || ec == std::errc::invalid_argument || ptr != last) {
    throw SelectionError("bad selection item '" + std::string(item) +
                         "': expected a point index or a range such as 0-3");
  }
  if (ec == std::errc::result_out_of_range) {
    throw SelectionError("point index " + std::string(token) + " is out of range");
  }
  return value;
}

}  // namespace

std::vector<std::size_t> parseSelection(std::string_view text, std::size_t pointCount) {
  const std::string_view whole = trim(text);
  if (whole.empty()) throw SelectionError("empty selection");
  if (whole == "all") {
    std::vector<std::size_t> all(pointCount);
    for (std::size_t i = 0; i < pointCount; ++i) all[i] = i;
    return all;
  }
  std::vector<unsigned char> selected(pointCount, 0);
  auto outOfRange = [&](std::uint64_t index) {
    const std::string bound = pointCount == 0 ? "the mesh has no points"
                                              : "the mesh has " + std::to_string(pointCount) + " points (0-" +
                                                    std::to_string(pointCount - 1) + ")";
    return SelectionError("point index " + std::to_string(index) + " is out of range: " + bound);
  };
  std::size_t start = 0;
  while (start <= whole.size()) {
    std::size_t comma = whole.find(',', start);
    if (comma == std::string_view::npos) comma = whole.size();
    const std::string_view item = trim(whole.substr(start, comma - start));
    if (item.empty()) throw SelectionError("empty item in selection '" + std::string(whole) + "'");
    const std::size_t dash = item.find('-');
    std::uint64_t first;
    std::uint64_t last;
    if (dash == std::string_view::npos) {
      first = last = parseIndex(item, item);
    } else {
      first = parseIndex(trim(item.substr(0, dash)), item);
      last = parseIndex(trim(item.substr(dash + 1)), item);
      if (last < first) {
        throw SelectionError("bad range '" + std::string(item) + "': its end is before its start");
      }
    }
    if (first >= pointCount) throw outOfRange(first);
    if (last >= pointCount) throw outOfRange(last);
    for (std::uint64_t i = first; i <= last; ++i) selected[static_cast<std::size_t>(i)] = 1;
    start = comma + 1;
  }
  std::vector<std::size_t> indices;
  for (std::size_t i = 0; i < pointCount; ++i) {
    if (selected[i] != 0) indices.push_back(i);
  }
  return indices;
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
