// The conversation's input as a sequence of host actions, each a kind and its
// fields, and the byte form libFuzzer keeps in its corpus.
//
// Bytes: one byte chooses the kind (modulo the number of kinds), then each of
// the kind's fields in a fixed order (kindFields()). A field is one tag byte,
// sometimes followed by the value itself: the tag alone gives the values a
// user or a careful host would send (small numbers, the tool's limits, the
// control IDs, CTRL), so a mutated byte mostly lands on a meaningful value.
// Reading past the end gives zero bytes, so every byte string is some
// conversation; decode() then stops at the end of the input, or after
// kMaxActions actions.
//
// encode() writes actions back as bytes that decode to the same actions: the
// structure-aware mutator (conversation_mutator.cpp) decodes an input, edits
// the actions and encodes them again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fuzz {

enum class ActionKind : std::uint8_t {
  Activate,
  Done,
  Count,
  Handle,
  Start,
  Adjust,
  Down,
  Event,
  Help,
  Draw,
  Build,
  End,
  Panel,
  PanelGet,
  PanelSet,
  InvertHandle,
  About,
  NewMesh,
  AddPoint,
  ToggleSelected,
  SetFaults,
  FailAllocation,
};
inline constexpr int kActionKinds = static_cast<int>(ActionKind::FailAllocation) + 1;

// How a field is written and which values its tag gives.
enum class FieldType : std::uint8_t {
  Byte,     // one byte, used as it is (a slot choice, a kind of activation, a count)
  Int,      // small ints (-2 to 31), INT_MAX, INT_MIN, or any int
  Double,   // small halves, the edge values of fuzz_values.h, any bits, NaN and the infinities
  Flags,    // an event's flags: none, CTRL, the right button, both, or any int
  Axis,     // an event's portAxis: -1 to 2, or any int
  Control,  // a panel control ID: 0x8001 to 0x8007, a few others, or any ID
};

inline constexpr std::size_t kMaxActions = 200;
inline constexpr std::size_t kMaxMeshPoints = 24;
inline constexpr std::size_t kMaxFields = 8;

// A point of a new mesh: three Doubles and a Byte (selected below 192).
struct ActionPoint {
  std::array<double, 3> position{};
  std::uint8_t selectedByte = 0;
  bool selected() const { return selectedByte < 192; }
};

struct Action {
  ActionKind kind = ActionKind::Build;
  // The kind's fields in order: ints for Byte, Int, Flags, Axis and Control
  // fields (a Control in `ints` is its ID), doubles for Double fields.
  std::array<std::int64_t, kMaxFields> ints{};
  std::array<double, kMaxFields> doubles{};
  std::vector<ActionPoint> points;  // NewMesh only: as many as its first field says
};

// The fields of a kind, in byte order (NewMesh's points follow them).
std::span<const FieldType> kindFields(ActionKind kind);
// The slot of field `field` of `kind` in Action::ints or Action::doubles.
std::size_t fieldSlot(ActionKind kind, std::size_t field);

std::vector<Action> decode(const std::uint8_t *data, std::size_t size);
std::vector<std::uint8_t> encode(const std::vector<Action> &actions);

// The value a tag byte gives (and the bytes after it, for the tags that read
// more): what decode reads for a field, exposed for the mutator's dictionaries.
double doubleFromTag(std::uint8_t tag, std::uint64_t bits);
// The edge values a Double's tag can name (fuzz_values.h's, and the tool's
// own limits).
std::span<const double> doubleDictionary();

}  // namespace fuzz
