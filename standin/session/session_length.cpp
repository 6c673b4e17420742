// `length L` and `match-pair N` through the tool, for every pair or, with
// "only", the pairs numbered. The tool gives every pair it
// holds the same Offset, so the host selects the pairs of one length at a
// time (in their order), picks the tool, types in Offset mode the Offset that
// brings that length to the target, and closes the tool, keeping the result:
// one build for each different length. The pairs are selected again at the
// end, and a tool that was picked before is picked again on the result.
// Pairs whose ends are closer than the tool's smallest length are left out.
#include <unordered_map>

#include "standin/host/number_text.h"
#include "standin/session/point_pairs.h"
#include "standin/session/selection.h"
#include "standin/session/session.h"

namespace standin {
// The pairs' numbers "only" names (all of them without it), ascending.
std::vector<std::size_t> Session::stretchedPairs(const Command &c, std::size_t pairCount) const {
  if (c.text.empty()) {
    std::vector<std::size_t> all(pairCount);
    for (std::size_t k = 0; k < pairCount; ++k) all[k] = k;
    return all;
  }
  try {
    return parseSelection(c.text, pairCount);
  } catch (const Failure &error) {
    throw Failure(
        FailureKind::BadInput,
        std::string("only: ") + error.what() + " (there are " + std::to_string(pairCount) + " pairs)",
        commandName(c));
  }
}

// The length the pairs are to have; refuses a pair number past the last.
double Session::lengthFor(const Command &c, const std::vector<PointPair> &pairs,
                          const std::vector<std::size_t> & /*stretched*/) const {
  const std::string name = commandName(c);
  if (pairs.empty()) throw Failure(FailureKind::BadInput, "no pairs are selected", name);
  if (c.op == CommandOp::Length) return c.value;
  if (c.point >= pairs.size()) {
    throw Failure(FailureKind::BadInput,
                  "there " + (pairs.size() == 1 ? std::string("is 1 pair (0)")
                                                : "are " + std::to_string(pairs.size()) + " pairs (0-" +
                                                      std::to_string(pairs.size() - 1) + ")"),
                  name + " " + std::to_string(c.point));
  }
  const PointPair &match = pairs[c.point];
  return distance(mesh_.position(match.handle), mesh_.position(match.anchor));
}

void Session::stretchToLength(const Command &c) {
  const std::vector<PointPair> pairs = deliveredPairs(mesh_);
  const std::vector<std::size_t> stretched = stretchedPairs(c, pairs.size());
  const double target = lengthFor(c, pairs, stretched);
  const bool wasLive = live();
  close();
  lengthTarget_ = target;
  warnIfOddSelection();                                           // the picks below see the pairs alone
  std::vector<std::pair<double, std::vector<PointPair>>> groups;  // by length, first seen first
  std::unordered_map<double, std::size_t> groupOf;
  for (std::size_t k : stretched) {
    const PointPair &pair = pairs[k];
    // Ends closer than the tool's smallest length give no direction to
    // stretch along: such a pair is left as it is (as a Factor or an Offset
    // leaves it), and the pair lengths told afterwards count it.
    if (coincide(mesh_.position(pair.handle), mesh_.position(pair.anchor))) continue;
    const double length = distance(mesh_.position(pair.handle), mesh_.position(pair.anchor));
    const auto [at, added] = groupOf.emplace(length, groups.size());
    if (added) groups.emplace_back(length, std::vector<PointPair>{});
    groups[at->second].second.push_back(pair);
  }
  const bool symmetry = c.preset.symmetry.value_or(false);
  for (const auto &[length, group] : groups) {
    if (setup_.interrupt != nullptr && setup_.interrupt->load()) break;
    // In a layer of their own: each build then scans this group alone.
    mesh_.selectInOrder(pairPoints(group), true);
    PanelPreset preset;
    preset.invert = c.preset.invert;
    preset.mode = 1;
    if (symmetry) preset.symmetry = true;
    preset.offset = (target - length) / (symmetry ? 2.0 : 1.0);
    pick(preset);
    close();
    if (toolComplained()) break;
  }
  mesh_.selectInOrder(pairPoints(pairs));
  if (wasLive && !toolComplained()) pick({});
}

}  // namespace standin
