// Structure-aware mutation of the conversation: libFuzzer hands over an
// input, which is decoded into its actions (conversation_actions.h), edited as
// a sequence (an action inserted, removed, copied or moved, a field given a
// meaningful value, two inputs spliced) and encoded again. A state deep in
// the tool (ten points, Offset and Symmetry set in the panel, a CTRL drag,
// a build) is a few such edits away from many inputs, where byte edits would
// mostly break the actions apart. One call in eight is left to libFuzzer's own
// byte mutations, which keep their comparison-guided values.
//
// Every choice comes from the seed libFuzzer passes, so a run with a fixed
// -seed makes the same inputs. EP_FUZZ_BYTE_MUTATION=1 in the environment
// leaves every mutation to libFuzzer (to compare the two).
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "fuzz/conversation/conversation_actions.h"
#include "host/host_abi.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t *data, std::size_t size, std::size_t maxSize);

namespace {

using fuzz::Action;
using fuzz::ActionKind;
using fuzz::FieldType;
using Random = std::minstd_rand;

bool byteMutationOnly() {
  static const bool only = [] {
    const char *value = std::getenv("EP_FUZZ_BYTE_MUTATION");
    return value != nullptr && value[0] != '\0' && value[0] != '0';
  }();
  return only;
}

std::size_t below(Random &rng, std::size_t n) { return n == 0 ? 0 : rng() % n; }
bool oneIn(Random &rng, unsigned n) { return rng() % n == 0; }
template <typename T, std::size_t N>
T pick(Random &rng, const T (&values)[N]) {
  return values[below(rng, N)];
}

// Values that mean something to the tool or the host, by field type.
double meaningfulDouble(Random &rng) {
  const unsigned kind = rng() % 20;
  if (kind < 12) return static_cast<double>(static_cast<int>(below(rng, 33)) - 16) / 2.0;  // -8 to 8
  if (kind < 18) {
    const std::span<const double> values = fuzz::doubleDictionary();
    return values[below(rng, values.size())];
  }
  if (kind == 18) {
    std::uint64_t bits =
        (static_cast<std::uint64_t>(rng()) << 33) ^ (static_cast<std::uint64_t>(rng()) << 2) ^ rng();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  return fuzz::doubleFromTag(static_cast<std::uint8_t>(240 + below(rng, 4)), 0);  // NaN, infinities
}

std::int64_t meaningfulInt(Random &rng) {
  static constexpr std::int64_t kOthers[] = {-1, -2, 0,  1,  2,  3,  8,       9,
                                             10, 11, 16, 17, 23, 24, INT_MAX, INT_MIN};
  // Mostly a point of a mesh of up to a dozen points.
  return oneIn(rng, 3) ? pick(rng, kOthers) : static_cast<std::int64_t>(below(rng, 12));
}

std::int64_t meaningfulField(Random &rng, FieldType type) {
  switch (type) {
    case FieldType::Byte:
      return static_cast<std::int64_t>(below(rng, 256));
    case FieldType::Int:
      return meaningfulInt(rng);
    case FieldType::Double:
      return 0;
    case FieldType::Flags: {
      static constexpr std::int64_t kFlags[] = {0,
                                                LWT_EVENT_CTRL,
                                                0,
                                                LWT_EVENT_CTRL,
                                                LWT_EVENT_RIGHT_BUTTON,
                                                LWT_EVENT_CTRL | LWT_EVENT_RIGHT_BUTTON};
      return pick(rng, kFlags);
    }
    case FieldType::Axis:
      return static_cast<std::int64_t>(below(rng, 4)) - 1;
    case FieldType::Control: {
      // The values first: mode, Factor, Offset, Symmetry.
      static constexpr std::int64_t kControls[] = {0x8002, 0x8003, 0x8004, 0x8005, 0x8002, 0x8005,
                                                   0x8001, 0x8006, 0x8007, 0,      0x8102};
      return pick(rng, kControls);
    }
  }
  return 0;
}

// A byte field's meaningful values depend on what it stands for.
std::int64_t meaningfulByte(Random &rng, ActionKind kind, std::size_t field) {
  switch (kind) {
    case ActionKind::Activate:
      if (field == 1) return oneIn(rng, 6) ? static_cast<std::int64_t>(192 + below(rng, 64)) : 0;
      break;
    case ActionKind::Panel:
      if (field == 1) return oneIn(rng, 6) ? 0 : 100;  // below 32: the host cannot create it
      break;
    case ActionKind::NewMesh:
      return static_cast<std::int64_t>(oneIn(rng, 4) ? below(rng, 25) : 8 + below(rng, 9));
    case ActionKind::AddPoint:
      return oneIn(rng, 5) ? 200 : 0;  // selected below 192
    case ActionKind::SetFaults:
      if (field == 0) {
        static constexpr std::int64_t kMasks[] = {0, 0, 128, 128, 1, 2, 4, 16, 32, 64, 129, 160};
        return oneIn(rng, 4) ? static_cast<std::int64_t>(below(rng, 256)) : pick(rng, kMasks);
      }
      break;
    case ActionKind::FailAllocation:
      return oneIn(rng, 3) ? 0 : static_cast<std::int64_t>(below(rng, 9));
    case ActionKind::About:  // 0 mod 4: the panel cannot be made; 1 mod 64: the host paints
      return static_cast<std::int64_t>(oneIn(rng, 4) ? below(rng, 256) : 1 + 4 * below(rng, 3));
    case ActionKind::ToggleSelected:
      return static_cast<std::int64_t>(below(rng, 24));
    default:
      break;
  }
  return field == 0 ? static_cast<std::int64_t>(below(rng, 3)) : static_cast<std::int64_t>(below(rng, 256));
}

void randomizeField(Random &rng, Action &a, std::size_t field) {
  const std::span<const FieldType> fields = fuzz::kindFields(a.kind);
  const std::size_t slot = fuzz::fieldSlot(a.kind, field);
  if (fields[field] == FieldType::Double) {
    a.doubles[slot] = meaningfulDouble(rng);
  } else if (fields[field] == FieldType::Byte) {
    a.ints[slot] = meaningfulByte(rng, a.kind, field);
  } else {
    a.ints[slot] = meaningfulField(rng, fields[field]);
  }
  // PanelSet's int is the value of mode or Symmetry: 0 and 1 above all.
  if (a.kind == ActionKind::PanelSet && field == 2 && !oneIn(rng, 4))
    a.ints[slot] = static_cast<std::int64_t>(below(rng, 2));
}

fuzz::ActionPoint randomPoint(Random &rng) {
  fuzz::ActionPoint point;
  for (double &c : point.position)
    c = oneIn(rng, 8) ? meaningfulDouble(rng) : static_cast<double>(below(rng, 5));
  point.selectedByte = oneIn(rng, 6) ? 200 : 0;
  return point;
}

ActionKind randomKind(Random &rng) {
  // The actions that move the tool on come more often.
  static constexpr ActionKind kCommon[] = {ActionKind::Adjust, ActionKind::Build,    ActionKind::PanelSet,
                                           ActionKind::Panel,  ActionKind::AddPoint, ActionKind::Activate,
                                           ActionKind::Adjust, ActionKind::Build,    ActionKind::NewMesh};
  if (oneIn(rng, 2)) return pick(rng, kCommon);
  return static_cast<ActionKind>(below(rng, fuzz::kActionKinds));
}

Action randomAction(Random &rng) {
  Action a;
  a.kind = randomKind(rng);
  const std::size_t fields = fuzz::kindFields(a.kind).size();
  for (std::size_t f = 0; f < fields; ++f) randomizeField(rng, a, f);
  if (a.kind == ActionKind::NewMesh) {
    a.points.resize(static_cast<std::size_t>(a.ints[0]));
    for (fuzz::ActionPoint &p : a.points) p = randomPoint(rng);
  }
  return a;
}

// A double of another action of the same input: a drag onto a point's place,
// a value typed twice.
bool borrowDouble(Random &rng, const std::vector<Action> &actions, double &value) {
  std::vector<double> seen;
  for (const Action &a : actions) {
    const std::span<const FieldType> fields = fuzz::kindFields(a.kind);
    for (std::size_t f = 0; f < fields.size(); ++f)
      if (fields[f] == FieldType::Double) seen.push_back(a.doubles[fuzz::fieldSlot(a.kind, f)]);
    for (const fuzz::ActionPoint &p : a.points) seen.insert(seen.end(), p.position.begin(), p.position.end());
  }
  if (seen.empty()) return false;
  value = seen[below(rng, seen.size())];
  return true;
}

void tweakDouble(Random &rng, const std::vector<Action> &actions, double &value) {
  switch (rng() % 6) {
    case 0:
      value = std::nextafter(value, oneIn(rng, 2) ? HUGE_VAL : -HUGE_VAL);
      return;
    case 1:
      value = -value;
      return;
    case 2:
      value = oneIn(rng, 2) ? value * 2 : value / 2;
      return;
    case 3:
      value += static_cast<double>(static_cast<int>(below(rng, 9)) - 4) / 2.0;
      return;
    default:
      if (!borrowDouble(rng, actions, value)) value = meaningfulDouble(rng);
  }
}

Action actionOf(ActionKind kind, Random &rng) {
  Action a;
  a.kind = kind;
  const std::size_t fields = fuzz::kindFields(kind).size();
  for (std::size_t f = 0; f < fields; ++f) randomizeField(rng, a, f);
  return a;
}

// What a host does in a few calls at once: a drag (adjust, then the build it
// asks for), a panel edit and its build, the panel opened, a right click's
// new stretch, a new instance, a pair of points more.
std::vector<Action> randomGesture(Random &rng) {
  std::vector<Action> g;
  switch (rng() % 6) {
    case 0:
      g = {actionOf(ActionKind::Adjust, rng), actionOf(ActionKind::Build, rng)};
      g[1].ints[0] = g[0].ints[0];  // the same instance
      break;
    case 1:
      g = {actionOf(ActionKind::PanelSet, rng), actionOf(ActionKind::Build, rng)};
      g[1].ints[0] = g[0].ints[0];
      break;
    case 2:
      g = {actionOf(ActionKind::Panel, rng)};
      break;
    case 3: {
      Action right = actionOf(ActionKind::Down, rng);
      right.ints[1] = LWT_EVENT_RIGHT_BUTTON;
      g = {right, actionOf(ActionKind::End, rng), actionOf(ActionKind::Build, rng)};
      g[1].ints[0] = g[2].ints[0] = right.ints[0];
      break;
    }
    case 4:
      g = {actionOf(ActionKind::Done, rng), actionOf(ActionKind::Activate, rng)};
      break;
    default:
      g = {actionOf(ActionKind::AddPoint, rng), actionOf(ActionKind::AddPoint, rng)};
      g[0].ints[0] = g[1].ints[0] = 0;  // both selected
      break;
  }
  return g;
}

bool changesTheMesh(const Action &a) {
  return a.kind == ActionKind::NewMesh || a.kind == ActionKind::AddPoint ||
         a.kind == ActionKind::ToggleSelected;
}

// Where to insert: anywhere, but a change of the mesh mostly before the
// first build, whose count every later build of that instance must keep.
std::size_t insertionPoint(Random &rng, const std::vector<Action> &actions, const Action &first) {
  std::size_t end = actions.size();
  if (changesTheMesh(first) && !oneIn(rng, 4)) {
    for (std::size_t i = 0; i < actions.size(); ++i)
      if (actions[i].kind == ActionKind::Build) {
        end = i;
        break;
      }
  }
  return below(rng, end + 1);
}

void insert(Random &rng, std::vector<Action> &actions, const std::vector<Action> &inserted) {
  if (inserted.empty() || actions.size() + inserted.size() > fuzz::kMaxActions) return;
  const auto at = actions.begin() + static_cast<std::ptrdiff_t>(insertionPoint(rng, actions, inserted[0]));
  actions.insert(at, inserted.begin(), inserted.end());
}

// One edit of the action list.
void mutateOnce(Random &rng, std::vector<Action> &actions) {
  const std::size_t n = actions.size();
  const unsigned choice = rng() % 20;
  if (n == 0 || choice < 3) {  // insert a new action
    insert(rng, actions, {randomAction(rng)});
    return;
  }
  if (choice < 6) {  // insert a gesture
    insert(rng, actions, randomGesture(rng));
    return;
  }
  Action &a = actions[below(rng, n)];
  const std::size_t fields = fuzz::kindFields(a.kind).size();
  if (choice < 8) {  // remove one
    actions.erase(actions.begin() + static_cast<std::ptrdiff_t>(below(rng, n)));
  } else if (choice < 9) {  // copy one elsewhere
    if (n < fuzz::kMaxActions) {
      const Action copy = a;
      actions.insert(actions.begin() + static_cast<std::ptrdiff_t>(below(rng, n + 1)), copy);
    }
  } else if (choice < 10) {  // move one elsewhere
    const std::size_t from = below(rng, n);
    const Action moved = actions[from];
    actions.erase(actions.begin() + static_cast<std::ptrdiff_t>(from));
    actions.insert(actions.begin() + static_cast<std::ptrdiff_t>(below(rng, n)), moved);
  } else if (choice < 15) {  // a field to a meaningful value
    if (fields > 0) randomizeField(rng, a, below(rng, fields));
  } else if (choice < 18) {  // a double a little changed, or taken from elsewhere
    std::vector<double *> doubles;
    const std::span<const FieldType> types = fuzz::kindFields(a.kind);
    for (std::size_t f = 0; f < types.size(); ++f)
      if (types[f] == FieldType::Double) doubles.push_back(&a.doubles[fuzz::fieldSlot(a.kind, f)]);
    for (fuzz::ActionPoint &p : a.points)
      for (double &c : p.position) doubles.push_back(&c);
    if (!doubles.empty()) tweakDouble(rng, actions, *doubles[below(rng, doubles.size())]);
  } else if (choice < 19) {  // a new mesh gains or loses a point
    if (a.kind != ActionKind::NewMesh) return;
    if (!a.points.empty() && oneIn(rng, 2))
      a.points.erase(a.points.begin() + static_cast<std::ptrdiff_t>(below(rng, a.points.size())));
    else if (a.points.size() < fuzz::kMaxMeshPoints)
      a.points.insert(a.points.begin() + static_cast<std::ptrdiff_t>(below(rng, a.points.size() + 1)),
                      randomPoint(rng));
  } else {  // another kind with the same field values
    a.kind = static_cast<ActionKind>(below(rng, fuzz::kActionKinds));
    if (a.kind != ActionKind::NewMesh) a.points.clear();
  }
}

// Encodes the actions into data, dropping actions from the end while they do
// not fit; 0 when even one does not.
std::size_t store(std::vector<Action> &actions, std::uint8_t *data, std::size_t maxSize) {
  std::vector<std::uint8_t> bytes = fuzz::encode(actions);
  while (bytes.size() > maxSize && !actions.empty()) {
    actions.resize(actions.size() * 3 / 4);
    bytes = fuzz::encode(actions);
  }
  if (bytes.empty() || bytes.size() > maxSize) return 0;
  std::memcpy(data, bytes.data(), bytes.size());
  return bytes.size();
}

}  // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t *data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
  Random rng(seed);
  if (byteMutationOnly() || oneIn(rng, 8)) return LLVMFuzzerMutate(data, size, maxSize);
  std::vector<Action> actions = fuzz::decode(data, size);
  const unsigned edits = 1 + static_cast<unsigned>(below(rng, 3));
  for (unsigned i = 0; i < edits; ++i) mutateOnce(rng, actions);
  const std::size_t stored = store(actions, data, maxSize);
  return stored != 0 ? stored : LLVMFuzzerMutate(data, size, maxSize);
}

// A prefix of one conversation and a suffix of the other, or a stretch of the
// second put into the first.
extern "C" std::size_t LLVMFuzzerCustomCrossOver(const std::uint8_t *data1, std::size_t size1,
                                                 const std::uint8_t *data2, std::size_t size2,
                                                 std::uint8_t *out, std::size_t maxOutSize,
                                                 unsigned int seed) {
  Random rng(seed);
  const std::vector<Action> first = fuzz::decode(data1, size1);
  const std::vector<Action> second = fuzz::decode(data2, size2);
  std::vector<Action> actions;
  if (oneIn(rng, 2)) {
    const std::size_t cut1 = below(rng, first.size() + 1), cut2 = below(rng, second.size() + 1);
    actions.assign(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(cut1));
    actions.insert(actions.end(), second.begin() + static_cast<std::ptrdiff_t>(cut2), second.end());
  } else {
    const std::size_t from = below(rng, second.size() + 1);
    const std::size_t to = from + below(rng, second.size() - from + 1);
    actions = first;
    actions.insert(actions.begin() + static_cast<std::ptrdiff_t>(below(rng, first.size() + 1)),
                   second.begin() + static_cast<std::ptrdiff_t>(from),
                   second.begin() + static_cast<std::ptrdiff_t>(to));
  }
  if (actions.size() > fuzz::kMaxActions) actions.resize(fuzz::kMaxActions);
  return store(actions, out, maxOutSize);
}
