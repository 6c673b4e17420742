#include "fuzz/conversation/conversation_actions.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "fuzz/fuzz_values.h"
#include "host/host_abi.h"

namespace fuzz {
namespace {

using F = FieldType;

constexpr F kActivate[] = {F::Byte, F::Byte, F::Int};  // slot, kind (service withheld, version), version
constexpr F kSlotOnly[] = {F::Byte};
constexpr F kSlotInt[] = {F::Byte, F::Int};
constexpr F kSlotEvent[] = {F::Byte, F::Double, F::Double, F::Double, F::Flags, F::Axis};
constexpr F kAdjust[] = {F::Byte, F::Int, F::Double, F::Double, F::Double, F::Flags, F::Axis};
constexpr F kPanel[] = {F::Byte, F::Byte};  // slot, creation fails below 32
constexpr F kPanelGet[] = {F::Byte, F::Control};
constexpr F kPanelSet[] = {F::Byte, F::Control, F::Int, F::Double};
constexpr F kByteOnly[] = {F::Byte};
constexpr F kAddPoint[] = {F::Double, F::Double, F::Double, F::Byte};
// Which faults (a bit each), then pntMove's point and code, the points the
// scan withholds, pointInfo's NULL point, the count's error, the abort step.
constexpr F kFaults[] = {F::Byte, F::Int, F::Int, F::Int, F::Int, F::Int, F::Int};

constexpr int kFlagValues[] = {0, LWT_EVENT_CTRL, LWT_EVENT_RIGHT_BUTTON,
                               LWT_EVENT_CTRL | LWT_EVENT_RIGHT_BUTTON};
constexpr std::uint64_t kOtherControls[] = {0, 0x8000, 0x8008, 0x8102};

// The edge values, then the tool's own limits and a few more lengths: the
// factor window, half the zero bound, the Factor control's bounds.
// clang-format off
constexpr double kMoreValues[] = {2.0, -2.0, -0.5, 0.25, 4.0, 0.5e-14, 1.0000000000001, 0.99999999999999,
                                  1e-14, -1e-14, -21000000.0, 1e-7};
// clang-format on
constexpr std::size_t kDictionarySize = std::size(kEdgeValues) + std::size(kMoreValues);
static_assert(kDictionarySize <= 64, "the Double tags 160 to 223 name the dictionary");

const std::array<double, kDictionarySize> &dictionary() {
  static const std::array<double, kDictionarySize> values = [] {
    std::array<double, kDictionarySize> all{};
    std::size_t i = 0;
    for (double v : kEdgeValues) all[i++] = v;
    for (double v : kMoreValues) all[i++] = v;
    return all;
  }();
  return values;
}

std::uint64_t bitsOf(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

class Reader {
 public:
  Reader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
  bool atEnd() const { return pos_ >= size_; }
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint64_t little(int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint64_t>(byte()) << (8 * i);
    return value;
  }
  std::int64_t int32() { return static_cast<std::int32_t>(static_cast<std::uint32_t>(little(4))); }

  std::int64_t field(F type, double &real) {
    const std::uint8_t tag = byte();
    switch (type) {
      case F::Byte:
        return tag;
      case F::Int:
        if (tag < 200) return tag % 34 - 2;
        if (tag % 4 == 0) return INT_MAX;
        if (tag % 4 == 1) return INT_MIN;
        return int32();
      case F::Double:
        real = doubleFromTag(tag, tag >= 224 && tag < 240 ? little(8) : 0);
        return 0;
      case F::Flags:
        return tag < 192 ? kFlagValues[tag % 4] : int32();
      case F::Axis:
        return tag < 192 ? tag % 4 - 1 : int32();
      case F::Control:
        if (tag < 224) return 0x8001 + tag % 7;
        if (tag < 240) return static_cast<std::int64_t>(kOtherControls[tag % 4]);
        return static_cast<std::int64_t>(little(8));
    }
    return 0;
  }

 private:
  const std::uint8_t *data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

class Writer {
 public:
  void byte(std::uint8_t b) { bytes_.push_back(b); }
  void little(std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) byte(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  void int32(std::int64_t value, std::uint8_t tag) {
    byte(tag);
    little(static_cast<std::uint32_t>(static_cast<std::int32_t>(value)), 4);
  }

  void field(F type, std::int64_t value, double real) {
    switch (type) {
      case F::Byte:
        return byte(static_cast<std::uint8_t>(value));
      case F::Int:
        if (value >= -2 && value <= 31) return byte(static_cast<std::uint8_t>(value + 2));
        if (value == INT_MAX) return byte(200);
        if (value == INT_MIN) return byte(201);
        return int32(value, 202);
      case F::Double:
        return realField(real);
      case F::Flags:
        for (int i = 0; i < 4; ++i)
          if (kFlagValues[i] == value) return byte(static_cast<std::uint8_t>(i));
        return int32(value, 192);
      case F::Axis:
        if (value >= -1 && value <= 2) return byte(static_cast<std::uint8_t>(value + 1));
        return int32(value, 192);
      case F::Control:
        if (value >= 0x8001 && value <= 0x8007) return byte(static_cast<std::uint8_t>(value - 0x8001));
        for (int i = 0; i < 4; ++i)
          if (static_cast<std::int64_t>(kOtherControls[i]) == value)
            return byte(static_cast<std::uint8_t>(224 + i));
        byte(240);
        return little(static_cast<std::uint64_t>(value), 8);
    }
  }

  // The shortest tag that gives `real` back bit for bit.
  void realField(double real) {
    const std::uint64_t bits = bitsOf(real);
    for (std::uint8_t tag = 0; tag < 33; ++tag)
      if (bitsOf(doubleFromTag(tag, 0)) == bits) return byte(tag);
    const auto &values = dictionary();
    for (std::size_t i = 0; i < values.size(); ++i)
      if (bitsOf(values[i]) == bits) return byte(static_cast<std::uint8_t>(160 + i));
    for (std::uint8_t tag = 240; tag < 244; ++tag)
      if (bitsOf(doubleFromTag(tag, 0)) == bits) return byte(tag);
    byte(224);
    little(bits, 8);
  }

  std::vector<std::uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::span<const FieldType> kindFields(ActionKind kind) {
  switch (kind) {
    case ActionKind::Activate:
      return kActivate;
    case ActionKind::Handle:
    case ActionKind::Event:
    case ActionKind::End:
      return kSlotInt;
    case ActionKind::Start:
    case ActionKind::Down:
      return kSlotEvent;
    case ActionKind::Adjust:
      return kAdjust;
    case ActionKind::Panel:
      return kPanel;
    case ActionKind::PanelGet:
      return kPanelGet;
    case ActionKind::PanelSet:
      return kPanelSet;
    case ActionKind::InvertHandle:
      return {};
    case ActionKind::About:
    case ActionKind::NewMesh:
    case ActionKind::ToggleSelected:
    case ActionKind::FailAllocation:
      return kByteOnly;
    case ActionKind::AddPoint:
      return kAddPoint;
    case ActionKind::SetFaults:
      return kFaults;
    case ActionKind::Done:
    case ActionKind::Count:
    case ActionKind::Help:
    case ActionKind::Draw:
    case ActionKind::Build:
      return kSlotOnly;
  }
  return {};
}

std::size_t fieldSlot(ActionKind kind, std::size_t field) {
  const std::span<const FieldType> fields = kindFields(kind);
  const bool real = fields[field] == F::Double;
  std::size_t slot = 0;
  for (std::size_t i = 0; i < field; ++i) slot += (fields[i] == F::Double) == real ? 1 : 0;
  return slot;
}

double doubleFromTag(std::uint8_t tag, std::uint64_t bits) {
  if (tag < 160) return static_cast<double>(tag % 33 - 16) / 2.0;
  if (tag < 224) return dictionary()[static_cast<std::size_t>(tag - 160) % kDictionarySize];
  if (tag < 240) return bitsToDouble(bits);
  return fuzz::nonFinite(tag);
}

std::span<const double> doubleDictionary() { return dictionary(); }

std::vector<Action> decode(const std::uint8_t *data, std::size_t size) {
  Reader in(data, size);
  std::vector<Action> actions;
  while (!in.atEnd() && actions.size() < kMaxActions) {
    Action action;
    action.kind = static_cast<ActionKind>(in.byte() % kActionKinds);
    const std::span<const FieldType> fields = kindFields(action.kind);
    std::size_t ints = 0, doubles = 0;
    for (FieldType type : fields) {
      double real = 0.0;
      const std::int64_t value = in.field(type, real);
      if (type == F::Double)
        action.doubles[doubles++] = real;
      else
        action.ints[ints++] = value;
    }
    if (action.kind == ActionKind::NewMesh) {
      action.points.resize(static_cast<std::size_t>(action.ints[0]) % (kMaxMeshPoints + 1));
      for (ActionPoint &point : action.points) {
        for (double &coordinate : point.position) in.field(F::Double, coordinate);
        point.selectedByte = in.byte();
      }
    }
    actions.push_back(std::move(action));
  }
  return actions;
}

std::vector<std::uint8_t> encode(const std::vector<Action> &actions) {
  Writer out;
  for (const Action &action : actions) {
    out.byte(static_cast<std::uint8_t>(action.kind));
    const std::span<const FieldType> fields = kindFields(action.kind);
    std::size_t ints = 0, doubles = 0;
    for (FieldType type : fields) {
      if (type == F::Double) {
        out.field(type, 0, action.doubles[doubles++]);
      } else {
        std::int64_t value = action.ints[ints++];
        // A new mesh's count is its number of points.
        if (action.kind == ActionKind::NewMesh) value = static_cast<std::int64_t>(action.points.size());
        out.field(type, value, 0.0);
      }
    }
    for (const ActionPoint &point : action.points) {
      for (double coordinate : point.position) out.realField(coordinate);
      out.byte(point.selectedByte);
    }
  }
  return out.take();
}

}  // namespace fuzz
