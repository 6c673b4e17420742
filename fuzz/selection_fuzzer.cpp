// The selection syntax ("0-3,8,9", "all"): any text, for a mesh of any size up
// to 4096 points. Only SelectionError escapes; a selection is ascending,
// without repeats and inside the mesh; and what formatSelection prints for it
// parses back to the same points.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/invariant.h"
#include "standin/session/selection.h"

namespace {

void checkSelection(const std::vector<std::size_t> &points, std::size_t pointCount) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (points[i] >= pointCount)
      fuzz::violated("selection holds point %zu of a mesh of %zu points", points[i], pointCount);
    if (i > 0 && points[i] <= points[i - 1])
      fuzz::violated("selection not ascending without repeats at %zu: %zu after %zu", i, points[i],
                     points[i - 1]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto pointCount = input.ConsumeIntegralInRange<std::size_t>(0, 4096);
  const std::string text = input.ConsumeRemainingBytesAsString();

  std::vector<std::size_t> points;
  try {
    points = standin::parseSelection(text, pointCount);
  } catch (const standin::SelectionError &) {
    return 0;
  } catch (const std::exception &error) {
    fuzz::violated("parseSelection threw %s, not a SelectionError", error.what());
  }
  checkSelection(points, pointCount);

  // The syntax has no empty selection: "all" on a mesh without points is the
  // only text that selects nothing, and nothing is printed as "".
  if (points.empty()) return 0;
  const std::string printed = standin::formatSelection(points);
  try {
    if (standin::parseSelection(printed, pointCount) != points)
      fuzz::violated("'%s' printed as '%s' parses to other points", text.c_str(), printed.c_str());
  } catch (const std::exception &error) {
    fuzz::violated("'%s' printed as '%s' does not parse: %s", text.c_str(), printed.c_str(), error.what());
  }
  return 0;
}
