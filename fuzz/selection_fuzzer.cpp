// The selection syntax ("0-3,8,9", "all") and the pair syntax ("4:0,5:1"):
// any text, for a mesh of any size up to 4096 points. Only Failure
// escapes. A selection is ascending, without repeats and inside the mesh;
// pairs are inside the mesh, none empty, no point in two of them. What
// formatSelection or formatPairs prints parses back to the same points.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/invariant.h"
#include "standin/session/selection.h"

namespace {

using fuzz::violated;

void checkSelection(const std::vector<std::size_t> &points, std::size_t pointCount) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (points[i] >= pointCount)
      violated("selection holds point %zu of a mesh of %zu points", points[i], pointCount);
    if (i > 0 && points[i] <= points[i - 1])
      violated("selection not ascending without repeats at %zu: %zu after %zu", i, points[i], points[i - 1]);
  }
}

// What a parser makes of `text`, or nullopt when it refused the text with a
// Failure; any other exception is a violation.
template <typename Parse>
auto parsedOrRefused(const char *parser, Parse parse, std::string_view text)
    -> std::optional<decltype(parse(text))> {
  try {
    return parse(text);
  } catch (const standin::Failure &) {
    return std::nullopt;
  } catch (const std::exception &error) {
    violated("%s threw %s, not a Failure", parser, error.what());
  }
}

// What was printed for a parsed text parses back to the same.
template <typename Parse, typename Value>
void checkPrintedBack(Parse parse, const Value &parsed, const std::string &text, const std::string &printed) {
  try {
    if (parse(printed) != parsed)
      violated("'%s' printed as '%s' parses to another", text.c_str(), printed.c_str());
  } catch (const std::exception &error) {
    violated("'%s' printed as '%s' does not parse: %s", text.c_str(), printed.c_str(), error.what());
  }
}

void selection(const std::string &text, std::size_t pointCount) {
  const auto parse = [&](std::string_view t) { return standin::parseSelection(t, pointCount); };
  const auto points = parsedOrRefused("parseSelection", parse, text);
  if (!points) return;
  checkSelection(*points, pointCount);
  // The syntax has no empty selection: "all" on a mesh without points is the
  // only text that selects nothing, and nothing is printed as "".
  if (!points->empty()) checkPrintedBack(parse, *points, text, standin::formatSelection(*points));
}

void pairs(const std::string &text, std::size_t pointCount) {
  const auto parse = [&](std::string_view t) { return standin::parsePairs(t, pointCount); };
  const auto parsed = parsedOrRefused("parsePairs", parse, text);
  if (!parsed) return;
  if (parsed->empty()) violated("'%s' parses to no pairs", text.c_str());
  std::set<std::size_t> ends;
  for (const standin::PointPair &p : *parsed) {
    if (p.handle >= pointCount || p.anchor >= pointCount)
      violated("pair %zu:%zu of a mesh of %zu points", p.handle, p.anchor, pointCount);
    if (!ends.insert(p.handle).second || !ends.insert(p.anchor).second)
      violated("'%s' puts a point of pair %zu:%zu in another pair or pairs it with itself", text.c_str(),
               p.handle, p.anchor);
  }
  checkPrintedBack(parse, *parsed, text, standin::formatPairs(*parsed));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto pointCount = input.ConsumeIntegralInRange<std::size_t>(0, 4096);
  const bool asPairs = input.ConsumeBool();
  const std::string text = input.ConsumeRemainingBytesAsString();
  if (asPairs)
    pairs(text, pointCount);
  else
    selection(text, pointCount);
  return 0;
}
