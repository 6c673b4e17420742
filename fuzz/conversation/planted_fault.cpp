#include "fuzz/conversation/planted_fault.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/tool_state.h"

namespace fuzz {
namespace {

enum class Plant { None, SymmetryAnchor, FifthPair };

Plant plantFromEnvironment() {
  const char *name = std::getenv("EP_FUZZ_PLANT");
  if (name == nullptr || name[0] == '\0') return Plant::None;
  if (std::strcmp(name, "symmetry-anchor") == 0) return Plant::SymmetryAnchor;
  if (std::strcmp(name, "fifth-pair") == 0) return Plant::FifthPair;
  std::fprintf(stderr, "EP_FUZZ_PLANT=%s: no such planted fault (symmetry-anchor, fifth-pair)\n", name);
  std::exit(2);
}

// The anchor end of `pair` is `point`, and the tool moves it because of
// Symmetry (a stretch moves the anchor end only then).
bool isSymmetryAnchor(const ep::StretchToolState &s, int pair, LWPntID point) {
  if (s.symmetry != 1 || s.pointIds == nullptr || s.inverted == nullptr || 2 * pair + 1 >= s.pointCount)
    return false;
  return s.pointIds[ep::anchorEndOf(s, pair)] == point;
}

bool applies(Plant plant, const ep::StretchToolState &s, LWPntID point) {
  if (plant == Plant::SymmetryAnchor) {
    for (int pair = 0; pair < s.pointCount / 2; ++pair)
      if (isSymmetryAnchor(s, pair, point)) return true;
    return false;
  }
  // The fifth pair, stretched with the value of a CTRL drag of another pair.
  constexpr int kFifth = 4;
  const bool ctrlDrag = s.allHandles == 1 && s.updateAll != ep::kUpdateAllPairs && s.activeHandle >= 0 &&
                        s.activeHandle < s.pointCount && s.activeHandle / 2 != kFifth;
  return ctrlDrag && s.mode == static_cast<int>(ep::Mode::Offset) && isSymmetryAnchor(s, kFifth, point);
}

}  // namespace

void applyPlantedFault(const void *instance, LWPntID point, double position[3]) {
  static const Plant plant = plantFromEnvironment();
  if (plant == Plant::None || instance == nullptr) return;
  if (applies(plant, *static_cast<const ep::StretchToolState *>(instance), point))
    position[0] = std::nextafter(position[0], HUGE_VAL);
}

}  // namespace fuzz
