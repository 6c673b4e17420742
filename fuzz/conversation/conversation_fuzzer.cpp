// The host conversation: the input is a sequence of host actions on the
// module's own callbacks (see conversation_host.h for the host and what each
// action checks). One action a step, each chosen by a byte and followed by
// its arguments; invariants are checked after every step, and a host that
// closes ends every instance at the end, so a leak shows as one.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdint>
#include <limits>
#include <vector>

#include "fuzz/conversation/conversation_host.h"
#include "fuzz/fuzz_values.h"
#include "host/host_abi.h"

namespace {

using fuzz::ConversationHost;

enum class Action : std::uint8_t {
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
  kMaxValue = FailAllocation,
};

constexpr int kMaxSteps = 200;
constexpr std::size_t kMaxMeshPoints = 24;

int consumeSlot(FuzzedDataProvider &in) { return in.ConsumeIntegralInRange(0, fuzz::kSlots - 1); }

// Mostly small and near the edges; sometimes any int.
int consumeInt(FuzzedDataProvider &in) {
  const auto kind = in.ConsumeIntegral<std::uint8_t>();
  if (kind < 200) return static_cast<int>(kind % 34) - 2;
  switch (kind % 4) {
    case 0:
      return INT_MAX;
    case 1:
      return INT_MIN;
    default:
      return in.ConsumeIntegral<int>();
  }
}

LWToolEvent consumeEvent(FuzzedDataProvider &in) {
  LWToolEvent event{};
  // Fields the tool does not read hold NaN, so that reading one shows.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int axis = 0; axis < 3; ++axis) {
    event.posSnap[axis] = event.deltaSnap[axis] = event.deltaRaw[axis] = event.axis[axis] = nan;
    event.posRaw[axis] = fuzz::consumeAnyDouble(in);
  }
  static constexpr int kFlags[] = {0, LWT_EVENT_CTRL, LWT_EVENT_RIGHT_BUTTON,
                                   LWT_EVENT_CTRL | LWT_EVENT_RIGHT_BUTTON};
  event.flags = in.ConsumeBool() ? kFlags[in.ConsumeIntegralInRange(0, 3)] : in.ConsumeIntegral<int>();
  event.portAxis = in.ConsumeBool() ? in.ConsumeIntegralInRange(-1, 2) : in.ConsumeIntegral<int>();
  return event;
}

std::uintptr_t consumeControl(FuzzedDataProvider &in) {
  const auto kind = in.ConsumeIntegral<std::uint8_t>();
  if (kind < 224) return 0x8001 + kind % 7;
  static constexpr std::uintptr_t kOthers[] = {0, 0x8000, 0x8008, 0x8102};
  return kind % 2 == 0 ? kOthers[kind / 2 % 4] : in.ConsumeIntegral<std::uintptr_t>();
}

fuzz::MeshPoint consumePoint(FuzzedDataProvider &in) {
  fuzz::MeshPoint point{};
  for (double &coordinate : point.position) coordinate = fuzz::consumeAnyDouble(in);
  point.selected = in.ConsumeIntegral<std::uint8_t>() < 192;
  return point;
}

fuzz::BuildFaults consumeFaults(FuzzedDataProvider &in) {
  fuzz::BuildFaults faults;
  const auto pointIndex = [&] { return in.ConsumeIntegralInRange<std::size_t>(0, kMaxMeshPoints); };
  if (in.ConsumeBool()) {
    faults.edit.failMovePoint = pointIndex();
    faults.edit.moveFailCode = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 4) : in.ConsumeIntegral<int>();
    if (faults.edit.moveFailCode == 0) faults.edit.moveFailCode = 1;  // 0 would be success
  }
  if (in.ConsumeBool()) faults.edit.scanWithholdSelected = in.ConsumeIntegralInRange<std::size_t>(0, 3);
  if (in.ConsumeBool()) faults.edit.nullInfoPoint = pointIndex();
  faults.edit.nullInfoAll = in.ConsumeIntegral<std::uint8_t>() < 16;
  if (in.ConsumeBool()) faults.countError = in.ConsumeIntegralInRange(-3, 3);
  faults.noMonitor = in.ConsumeBool();
  if (in.ConsumeBool()) faults.abortAtStep = in.ConsumeIntegralInRange(1u, 40u);
  faults.restoreBase = in.ConsumeBool();
  return faults;
}

void activate(ConversationHost &host, FuzzedDataProvider &in) {
  static const char *const kWithheld[] = {LWMONITORFUNCS_GLOBAL, LWMESSAGEFUNCS_GLOBAL, LWXPANELFUNCS_GLOBAL};
  const int slot = consumeSlot(in);
  const auto kind = in.ConsumeIntegral<std::uint8_t>();
  int version = LW_MESHEDITTOOL_VERSION;
  const char *withheld = "";
  if (kind >= 192 && kind < 224) withheld = kWithheld[kind % 3];
  if (kind >= 224) version = in.ConsumeBool() ? 3 + kind % 3 : in.ConsumeIntegral<int>();
  host.activate(slot, version, withheld);
}

void step(ConversationHost &host, FuzzedDataProvider &in) {
  switch (in.ConsumeEnum<Action>()) {
    case Action::Activate:
      return activate(host, in);
    case Action::Done:
      return host.done(consumeSlot(in));
    case Action::Count:
      return host.count(consumeSlot(in));
    case Action::Handle: {
      const int slot = consumeSlot(in);
      return host.handle(slot, consumeInt(in));
    }
    case Action::Start: {
      const int slot = consumeSlot(in);
      return host.start(slot, consumeEvent(in));
    }
    case Action::Adjust: {
      const int slot = consumeSlot(in);
      const int index = consumeInt(in);
      return host.adjust(slot, consumeEvent(in), index);
    }
    case Action::Down: {
      const int slot = consumeSlot(in);
      return host.down(slot, consumeEvent(in));
    }
    case Action::Event: {
      const int slot = consumeSlot(in);
      return host.event(slot, in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 2) : consumeInt(in));
    }
    case Action::Help:
      return host.help(consumeSlot(in));
    case Action::Draw:
      return host.draw(consumeSlot(in));
    case Action::Build:
      return host.build(consumeSlot(in));
    case Action::End: {
      const int slot = consumeSlot(in);
      return host.end(slot, consumeInt(in));
    }
    case Action::Panel: {
      const int slot = consumeSlot(in);
      return host.panel(slot, in.ConsumeIntegral<std::uint8_t>() < 32);
    }
    case Action::PanelGet: {
      const int slot = consumeSlot(in);
      return host.panelGet(slot, consumeControl(in));
    }
    case Action::PanelSet: {
      const int slot = consumeSlot(in);
      const std::uintptr_t id = consumeControl(in);
      const int intValue = consumeInt(in);
      return host.panelSet(slot, id, intValue, fuzz::consumeAnyDouble(in));
    }
    case Action::InvertHandle:
      return host.invertHandle();
    case Action::About: {
      const auto kind = in.ConsumeIntegral<std::uint8_t>();
      return host.about(kind % 4 == 0, kind % 64 == 1);
    }
    case Action::NewMesh: {
      std::vector<fuzz::MeshPoint> points(in.ConsumeIntegralInRange<std::size_t>(0, kMaxMeshPoints));
      for (fuzz::MeshPoint &point : points) point = consumePoint(in);
      return host.replaceMesh(points);
    }
    case Action::AddPoint:
      return host.addPoint(consumePoint(in));
    case Action::ToggleSelected:
      return host.toggleSelected(in.ConsumeIntegral<std::uint8_t>());
    case Action::SetFaults:
      return host.setFaults(consumeFaults(in));
    case Action::FailAllocation:
      return host.failAllocation(in.ConsumeIntegralInRange(0u, 8u));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  ConversationHost host;
  for (int steps = 0; steps < kMaxSteps && in.remaining_bytes() > 0; ++steps) {
    step(host, in);
    host.checkAfterStep();
  }
  return 0;
}
