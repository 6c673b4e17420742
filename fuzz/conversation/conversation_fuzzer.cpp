// The host conversation: the input is a sequence of host actions on the
// module's own callbacks (conversation_actions.h gives their byte form,
// conversation_host.h the host and what each action checks). Invariants and
// the stretch model's answers are checked after every step, and a host that
// closes ends every instance at the end, so a leak shows as one.
#include <climits>
#include <cstdint>
#include <limits>
#include <vector>

#include "fuzz/conversation/conversation_actions.h"
#include "fuzz/conversation/conversation_host.h"
#include "host/host_abi.h"

namespace {

using fuzz::Action;
using fuzz::ActionKind;
using fuzz::ConversationHost;

int slotOf(const Action &a) { return static_cast<int>(a.ints[0] % fuzz::kSlots); }
int intOf(const Action &a, std::size_t slot) { return static_cast<int>(a.ints[slot]); }

LWToolEvent eventOf(const Action &a, std::size_t firstInt) {
  LWToolEvent event{};
  // Fields the tool does not read hold NaN, so that reading one shows.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (std::size_t axis = 0; axis < 3; ++axis) {
    event.posSnap[axis] = event.deltaSnap[axis] = event.deltaRaw[axis] = event.axis[axis] = nan;
    event.posRaw[axis] = a.doubles[axis];
  }
  event.flags = intOf(a, firstInt);
  event.portAxis = intOf(a, firstInt + 1);
  return event;
}

fuzz::MeshPoint pointOf(const std::array<double, 3> &position, bool selected) {
  return fuzz::MeshPoint{{position[0], position[1], position[2]}, selected};
}

fuzz::BuildFaults faultsOf(const Action &a) {
  const auto which = static_cast<unsigned>(a.ints[0]);
  const auto pointIndex = [&](std::size_t slot) {
    return static_cast<std::size_t>(static_cast<unsigned>(a.ints[slot]) % (fuzz::kMaxMeshPoints + 1));
  };
  fuzz::BuildFaults faults;
  if ((which & 1) != 0) {
    faults.edit.failMovePoint = pointIndex(1);
    faults.edit.moveFailCode = intOf(a, 2);
    if (faults.edit.moveFailCode == 0) faults.edit.moveFailCode = 1;  // 0 would be success
  }
  if ((which & 2) != 0) faults.edit.scanWithholdSelected = static_cast<unsigned>(a.ints[3]) % 4;
  if ((which & 4) != 0) faults.edit.nullInfoPoint = pointIndex(4);
  faults.edit.nullInfoAll = (which & 8) != 0 && (which & 4) != 0;
  if ((which & 16) != 0) faults.countError = static_cast<int>((a.ints[5] % 7 + 7) % 7) - 3;  // -3 to 3
  faults.noMonitor = (which & 32) != 0;
  if ((which & 64) != 0) faults.abortAtStep = 1u + static_cast<unsigned>(a.ints[6]) % 40u;
  faults.restoreBase = (which & 128) != 0;
  return faults;
}

void activate(ConversationHost &host, const Action &a) {
  static const char *const kWithheld[] = {LWMONITORFUNCS_GLOBAL, LWMESSAGEFUNCS_GLOBAL, LWXPANELFUNCS_GLOBAL};
  const int kind = intOf(a, 1);
  int version = LW_MESHEDITTOOL_VERSION;
  const char *withheld = "";
  if (kind >= 192 && kind < 224) withheld = kWithheld[kind % 3];
  if (kind >= 224) version = kind % 8 < 4 ? 3 + kind % 3 : intOf(a, 2);
  host.activate(slotOf(a), version, withheld);
}

void step(ConversationHost &host, const Action &a) {
  switch (a.kind) {
    case ActionKind::Activate:
      return activate(host, a);
    case ActionKind::Done:
      return host.done(slotOf(a));
    case ActionKind::Count:
      return host.count(slotOf(a));
    case ActionKind::Handle:
      return host.handle(slotOf(a), intOf(a, 1));
    case ActionKind::Start:
      return host.start(slotOf(a), eventOf(a, 1));
    case ActionKind::Adjust:
      return host.adjust(slotOf(a), eventOf(a, 2), intOf(a, 1));
    case ActionKind::Down:
      return host.down(slotOf(a), eventOf(a, 1));
    case ActionKind::Event:
      return host.event(slotOf(a), intOf(a, 1));
    case ActionKind::Help:
      return host.help(slotOf(a));
    case ActionKind::Draw:
      return host.draw(slotOf(a));
    case ActionKind::Build:
      return host.build(slotOf(a));
    case ActionKind::End:
      return host.end(slotOf(a), intOf(a, 1));
    case ActionKind::Panel:
      return host.panel(slotOf(a), a.ints[1] < 32);
    case ActionKind::PanelGet:
      return host.panelGet(slotOf(a), static_cast<std::uintptr_t>(a.ints[1]));
    case ActionKind::PanelSet:
      return host.panelSet(slotOf(a), static_cast<std::uintptr_t>(a.ints[1]), intOf(a, 2), a.doubles[0]);
    case ActionKind::InvertHandle:
      return host.invertHandle();
    case ActionKind::About:
      return host.about(a.ints[0] % 4 == 0, a.ints[0] % 64 == 1);
    case ActionKind::NewMesh: {
      std::vector<fuzz::MeshPoint> points;
      for (const fuzz::ActionPoint &p : a.points) points.push_back(pointOf(p.position, p.selected()));
      return host.replaceMesh(points);
    }
    case ActionKind::AddPoint:
      return host.addPoint(pointOf({a.doubles[0], a.doubles[1], a.doubles[2]}, a.ints[0] < 192));
    case ActionKind::ToggleSelected:
      return host.toggleSelected(static_cast<std::size_t>(a.ints[0]));
    case ActionKind::SetFaults:
      return host.setFaults(faultsOf(a));
    case ActionKind::FailAllocation:
      return host.failAllocation(static_cast<unsigned>(a.ints[0]) % 9u);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::vector<Action> actions = fuzz::decode(data, size);
  ConversationHost host;
  for (const Action &action : actions) {
    step(host, action);
    host.checkAfterStep();
  }
  return 0;
}
