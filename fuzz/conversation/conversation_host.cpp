#include "fuzz/conversation/conversation_host.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/allocation.h"
#include "engine/tool_state.h"
#include "fuzz/conversation/checked_draw.h"
#include "fuzz/conversation/checked_operation.h"
#include "fuzz/invariant.h"
#include "panels/options_panel.h"

extern "C" const ModuleDescriptor _mod_descrip;

namespace fuzz {

// What a build may move when it solves a drag made without CTRL: the dragged
// point and its partner only, or nothing when the handle lies outside the
// points.
struct DragExpectation {
  bool withoutCtrl = false;
  int handle = -1;
};

namespace {

// The host's own move and up callbacks: the tool has neither, and must leave
// the host's in place.
void hostMove(void *, LWToolEvent *) {}
void hostUp(void *, LWToolEvent *) {}

ep::StretchToolState &stateOf(const LWMeshEditTool &binding) {
  return *static_cast<ep::StretchToolState *>(binding.instance);
}

bool isTestCode(int code) {
  return code == LWT_TEST_NOTHING || code == LWT_TEST_UPDATE || code == LWT_TEST_REJECT ||
         code == LWT_TEST_CLONE;
}

// Read before a build, from the state the tool dispatches on.
DragExpectation expectationOf(const ep::StretchToolState &s) {
  DragExpectation e;
  e.withoutCtrl = s.active != 0 && s.updateAll != ep::kUpdateAllPairs && s.activeHandle != ep::kNoHandle &&
                  s.allHandles == 0;
  e.handle = s.activeHandle;
  return e;
}

bool isValueControl(std::uintptr_t id) { return id >= ep::kControlActive && id <= ep::kControlSymmetry; }
bool isDoubleControl(std::uintptr_t id) { return id == ep::kControlFactor || id == ep::kControlOffset; }

// A position the tool must not write: a NaN with a payload of its own.
constexpr std::uint64_t kUnwrittenBits = 0x7ff8dead0000beefull;

ModelVec modelVec(const double *xyz) { return {xyz[0], xyz[1], xyz[2]}; }

// The model's answers are compared bit for bit: the tool computes in the
// same doubles by the same steps.
bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool sameBits(const ModelVec &a, const double *b) {
  return sameBits(a.x, b[0]) && sameBits(a.y, b[1]) && sameBits(a.z, b[2]);
}

constexpr const char *kMemoryBoxTitle = "Error (Code #010)";

// Coverage of the tool's states for libFuzzer, beside the code's: one counter
// for each way a build goes (the model's path) with the instance's pair count
// (up to 15), mode (Factor, Offset, other) and Symmetry, and whether it
// failed. libFuzzer counts the counters of this section as features, so an
// input that drags with CTRL on more pairs, or in another mode, is new even
// where the module runs the same code.
constexpr int kPairClasses = 16;
constexpr int kModeClasses = 3;
constexpr int kBuildClasses = kModelPaths * kPairClasses * kModeClasses * 2 * 2;
__attribute__((section("__libfuzzer_extra_counters"))) std::uint8_t buildClasses[kBuildClasses];

void countBuildClass(const ModelBuild &build, int mode, int symmetry, bool failed) {
  const int pairs = std::min(build.pairs, kPairClasses - 1);
  const int modeClass = mode == 0 || mode == 1 ? mode : 2;
  const int index = (((static_cast<int>(build.path) * kPairClasses + pairs) * kModeClasses + modeClass) * 2 +
                     (symmetry == 1 ? 1 : 0)) *
                        2 +
                    (failed ? 1 : 0);
  std::uint8_t &counter = buildClasses[index];
  if (counter != 0xff) ++counter;
}

}  // namespace

ConversationHost::ConversationHost()
    : tracing_(std::getenv("EP_FUZZ_TRACE") != nullptr),
      module_(standin::LoadedModule::linked(&_mod_descrip)),
      server_(module_.requireServer(LW_MESHEDITTOOL_CLASS, "Elastic_Pull")) {
  globals_.messages().setEcho(nullptr);
  for (Slot &s : slots_) {
    s.funcs.move = hostMove;
    s.funcs.up = hostUp;
  }
  failAllocation(0);
  // A conversation starts on a mesh a user would stretch: a box's four upright
  // edges, top then bottom corner, every point selected.
  replaceMesh({{{0, 2, 0}, true},
               {{0, 0, 0}, true},
               {{1, 2, 0}, true},
               {{1, 0, 0}, true},
               {{1, 2, 1}, true},
               {{1, 0, 1}, true},
               {{0, 2, 1}, true},
               {{0, 0, 1}, true}});
}

ConversationHost::~ConversationHost() {
  for (int slot = 0; slot < kSlots; ++slot) done(slot);
  failAllocation(0);
}

// ---- The mesh and the faults ----------------------------------------------

void ConversationHost::trace(const char *format, ...) const {
  if (!tracing_) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
}

int ConversationHost::slotNumber(const Slot &s) const { return static_cast<int>(&s - slots_.data()); }

void ConversationHost::noteValue(double value) {
  if (!std::isfinite(value)) finiteInputs_ = false;
}

void ConversationHost::notePosition(const double *xyz) {
  for (int axis = 0; axis < 3; ++axis) noteValue(xyz[axis]);
}

void ConversationHost::replaceMesh(const std::vector<MeshPoint> &points) {
  trace("a new mesh of %zu points", points.size());
  mesh_ = standin::Mesh{};
  lastMoved_.clear();
  for (const MeshPoint &p : points) addPoint(p);
}

void ConversationHost::addPoint(const MeshPoint &point) {
  const standin::Position &p = point.position;
  trace("point %zu at (%.17g, %.17g, %.17g)%s", mesh_.size(), p[0], p[1], p[2],
        point.selected ? ", selected" : "");
  notePosition(point.position.data());
  mesh_.addPoint(point.position, point.selected);
}

void ConversationHost::toggleSelected(std::size_t index) {
  if (mesh_.size() == 0) return;
  index %= mesh_.size();
  mesh_.setSelected(index, !mesh_.selected(index));
  trace("point %zu %s", index, mesh_.selected(index) ? "selected" : "unselected");
}

void ConversationHost::setFaults(const BuildFaults &faults) {
  faults_ = faults;
  const standin::EditFaults &e = faults.edit;
  trace(
      "faults: pntMove of point %d fails with %d, scan withholds %zu, pointInfo NULL for point %d%s, count "
      "off "
      "by %d, %s, abort at step %d%s",
      e.failMovePoint ? static_cast<int>(*e.failMovePoint) : -1, e.moveFailCode, e.scanWithholdSelected,
      e.nullInfoPoint ? static_cast<int>(*e.nullInfoPoint) : -1, e.nullInfoAll ? " (and all)" : "",
      faults.countError, faults.noMonitor ? "no monitor" : "a monitor",
      faults.abortAtStep ? static_cast<int>(*faults.abortAtStep) : 0,
      faults.restoreBase ? ", base restored" : "");
}

void ConversationHost::failAllocation(unsigned k) {
  trace("allocation %u from now fails", k);
  ep::testing::failAllocationNumber(k);
  allocationArmed_ = k != 0;
}

// ---- Lifecycle ------------------------------------------------------------

ConversationHost::Slot *ConversationHost::pickSlot(int choice, bool live) {
  std::array<Slot *, kSlots> candidates{};
  int found = 0;
  for (Slot &s : slots_)
    if (s.live == live) candidates[static_cast<std::size_t>(found++)] = &s;
  if (found == 0) return nullptr;
  return candidates[static_cast<std::size_t>((choice % found + found) % found)];
}

ConversationHost::Slot *ConversationHost::liveSlot(int choice) { return pickSlot(choice, true); }

void ConversationHost::setLiveCount() {
  int live = 0;
  for (const Slot &s : slots_) live += s.live ? 1 : 0;
  services_.setLiveInstances(live);
}

void ConversationHost::activate(int slot, int version, const char *withheld) {
  Slot *free = pickSlot(slot, false);
  if (free == nullptr) return;
  Slot &s = *free;
  s = Slot{};
  s.binding.tool = &s.funcs;
  s.funcs.move = hostMove;
  s.funcs.up = hostUp;
  const Slot before = s;

  services_.withhold(withheld);
  const int result = server_.activate(version, CheckedServices::global, &s.binding, module_.startupResult());
  services_.withhold("");

  const int expected = version != LW_MESHEDITTOOL_VERSION ? LW_ACTIVATE_BAD_VERSION
                       : withheld[0] != '\0'              ? LW_ACTIVATE_BAD_GLOBAL
                                                          : -1;  // 0, or 3 when memory ran out
  trace("activate(slot %d, version %d, \"%s\" withheld) -> %d", slotNumber(s), version, withheld, result);
  if (expected != -1 ? result != expected : result != LW_ACTIVATE_OK && result != LW_ACTIVATE_BAD_LOCAL)
    violated("activate(version %d, \"%s\" withheld) answered %d", version, withheld, result);
  if (result == LW_ACTIVATE_BAD_LOCAL) {
    if (!allocationArmed_) violated("activation answered %d with no allocation fault armed", result);
    allocationArmed_ = false;
  }
  if (result != LW_ACTIVATE_OK) {
    if (std::memcmp(&s.binding, &before.binding, sizeof s.binding) != 0 ||
        std::memcmp(&s.funcs, &before.funcs, sizeof s.funcs) != 0)
      violated("activation answered %d but changed the binding", result);
    return;
  }
  const LWToolFuncs &f = s.funcs;
  if (s.binding.instance == nullptr || s.binding.tool != &s.funcs || s.binding.test == nullptr ||
      s.binding.build == nullptr || s.binding.end == nullptr || f.done == nullptr || f.draw == nullptr ||
      f.help == nullptr || f.dirty == nullptr || f.count == nullptr || f.handle == nullptr ||
      f.start == nullptr || f.adjust == nullptr || f.down == nullptr || f.event == nullptr ||
      f.panel == nullptr)
    violated("activation answered 0 but left a slot of the binding empty");
  s.live = true;
  setLiveCount();
  model_.activated(slotNumber(s));
}

void ConversationHost::done(int slot) {
  Slot *s = liveSlot(slot);
  if (s == nullptr) return;
  trace("done(slot %d)", slotNumber(*s));
  s->funcs.done(s->binding.instance);
  model_.done(slotNumber(*s));
  s->live = false;
  s->optionsPanel = nullptr;
  setLiveCount();
}

// ---- Tool callbacks ---------------------------------------------------------

void ConversationHost::count(int slot) {
  Slot *s = liveSlot(slot);
  if (s == nullptr) return;
  LWToolEvent event{};
  const int handles = s->funcs.count(s->binding.instance, &event);
  trace("count(slot %d) -> %d", slotNumber(*s), handles);
  if (handles != model_.count(slotNumber(*s)))
    violated("count answered %d, the model %d", handles, model_.count(slotNumber(*s)));
  for (int i = 0; i < handles; ++i) {
    LWDVector pos;
    const int priority = s->funcs.handle(s->binding.instance, &event, i, pos);
    if (priority != i + 1)
      violated("count offers %d handles, but handle(%d) answers %d", handles, i, priority);
  }
}

void ConversationHost::handle(int slot, int index) {
  Slot *s = liveSlot(slot);
  if (s == nullptr) return;
  LWToolEvent event{};
  LWDVector pos;
  for (double &v : pos) std::memcpy(&v, &kUnwrittenBits, sizeof v);
  LWDVector untouched;
  std::memcpy(untouched, pos, sizeof pos);
  const int priority = s->funcs.handle(s->binding.instance, &event, index, pos);
  const int points = stateOf(s->binding).pointCount;
  trace("handle(slot %d, %d) -> %d", slotNumber(*s), index, priority);
  if (priority <= 0) {
    if (std::memcmp(pos, untouched, sizeof pos) != 0)
      violated("handle(%d) answered %d but wrote a position", index, priority);
  } else if (index < 0 || index >= points || priority != index + 1) {
    violated("handle(%d) of an edit of %d points answered %d", index, points, priority);
  }
  ModelVec expected;
  const int modelPriority = model_.handle(slotNumber(*s), index, expected);
  if (priority != modelPriority)
    violated("handle(%d) answered %d, the model %d", index, priority, modelPriority);
  if (priority > 0 && !sameBits(expected, pos))
    violated("handle(%d) at (%.17g, %.17g, %.17g), the model at (%.17g, %.17g, %.17g)", index, pos[0], pos[1],
             pos[2], expected.x, expected.y, expected.z);
}

void ConversationHost::start(int slot, const LWToolEvent &event) {
  Slot *s = liveSlot(slot);
  if (s == nullptr) return;
  LWToolEvent e = event;
  const int index = s->funcs.start(s->binding.instance, &e);
  const int modelIndex = model_.start(slotNumber(*s), modelVec(event.posRaw), event.portAxis);
  if (index != modelIndex) violated("start answered %d, the model %d", index, modelIndex);
  const int handles = s->funcs.count(s->binding.instance, &e);
  trace("start(slot %d, posRaw (%.17g, %.17g, %.17g), portAxis %d) -> %d", slotNumber(*s), e.posRaw[0],
        e.posRaw[1], e.posRaw[2], e.portAxis, index);
  if (handles == 0) {
    if (index != 1) violated("start answered %d with no handle offered (expected 1)", index);
    return;
  }
  if (index < 0 || index >= handles) violated("start answered %d, not one of the %d handles", index, handles);
  const ep::StretchToolState &st = stateOf(s->binding);
  if (index != ep::handleEndOf(st, index / 2))
    violated("start answered %d, the anchor end of its pair: the drag would swap the pair's ends", index);
}

void ConversationHost::adjust(int slot, const LWToolEvent &event, int index) {
  Slot *s = liveSlot(slot);
  if (s == nullptr) return;
  notePosition(event.posRaw);
  LWToolEvent e = event;
  trace("adjust(slot %d, %d, posRaw (%.17g, %.17g, %.17g), flags %d)", slotNumber(*s), index, e.posRaw[0],
        e.posRaw[1], e.posRaw[2], e.flags);
  const int result = s->funcs.adjust(s->binding.instance, &e, index);
  if (result != index) violated("adjust(%d) answered %d", index, result);
  model_.adjust(slotNumber(*s), index, event.flags, modelVec(event.posRaw));
}

void ConversationHost::down(int slot, const LWToolEvent &event) {
  Slot *s = liveSlot(slot);
  if (s == nullptr) return;
  LWToolEvent e = event;
  const int result = s->funcs.down(s->binding.instance, &e);
  trace("down(slot %d, flags %d) -> %d", slotNumber(*s), e.flags, result);
  if (result != 0 && result != 1) violated("down answered %d", result);
  const int expected = model_.down(slotNumber(*s), event.flags);
  if (result != expected) violated("down answered %d, the model %d", result, expected);
}

void ConversationHost::event(int slot, int code) {
  Slot *s = liveSlot(slot);
  if (s == nullptr) return;
  trace("event(slot %d, %d)", slotNumber(*s), code);
  s->funcs.event(s->binding.instance, code);
  model_.event(slotNumber(*s), code);
}

void ConversationHost::help(int slot) {
  Slot *s = liveSlot(slot);
  if (s == nullptr) return;
  LWToolEvent event{};
  const char *text = s->funcs.help(s->binding.instance, &event);
  if (text == nullptr || std::memchr(text, '\0', 256) == nullptr)
    violated("help gave no text of under 256 bytes");
}

void ConversationHost::draw(int slot) {
  Slot *s = liveSlot(slot);
  if (s == nullptr) return;
  CheckedDraw draw;
  s->funcs.draw(s->binding.instance, draw.access());
  trace("draw(slot %d): %d calls", slotNumber(*s), draw.calls());
  draw.checkWholePairs();
  const int expected = model_.draw(slotNumber(*s));
  if (draw.calls() != expected) violated("draw made %d drawing calls, the model %d", draw.calls(), expected);
}

void ConversationHost::end(int slot, int keep) {
  Slot *s = liveSlot(slot);
  if (s == nullptr) return;
  trace("end(slot %d, %d)", slotNumber(*s), keep);
  s->binding.end(s->binding.instance, keep);
  model_.end(slotNumber(*s));
}

// ---- Builds -------------------------------------------------------------------

void ConversationHost::build(int slot) {
  Slot *s = liveSlot(slot);
  if (s == nullptr) return;
  if (faults_.restoreBase) {
    for (const standin::PointPosition &p : lastMoved_)
      if (p.index < mesh_.size()) mesh_.setPosition(p.index, p.position);
    lastMoved_.clear();
  }
  globals_.monitors().setAvailable(!faults_.noMonitor);
  globals_.monitors().abortAtStep(faults_.abortAtStep);
  const DragExpectation drag = expectationOf(stateOf(s->binding));
  ModelBuildHost hostSide = modelHostSide();
  const std::size_t boxesBefore = globals_.messages().boxes().size();

  standin::EditOperation operation(mesh_, faults_.edit);
  CheckedOperation checked(operation, faults_.countError, finiteInputs_, s->binding.instance);
  const char *text = s->binding.build(s->binding.instance, checked.op());
  checked.buildReturned();
  const std::vector<standin::MessageBox> boxes(globals_.messages().boxes().begin() + boxesBefore,
                                               globals_.messages().boxes().end());
  for (const standin::MessageBox &box : boxes) hostSide.memoryBoxShown |= box.title == kMemoryBoxTitle;
  const ModelBuild expected = model_.build(slotNumber(*s), hostSide);
  countBuildClass(expected, model_.get(slotNumber(*s), ep::kControlMode).i,
                  model_.get(slotNumber(*s), ep::kControlSymmetry).i, expected.failed);
  checkBuildAgainstModel(*s, expected, checked, boxes, text != nullptr, operation.doneCalled());
  if (hostSide.memoryBoxShown) allocationArmed_ = false;
  trace("build(slot %d) -> %s; %zu moves, %s", slotNumber(*s), text != nullptr ? text : "NULL",
        checked.moved().size(), operation.applied() ? "applied" : "not applied");
  if (text != nullptr && text[0] == '\0') violated("build answered an empty error text");
  if (!operation.closed()) operation.discard();
  if (globals_.monitors().liveCount() != 0) violated("the build left a progress monitor undestroyed");
  checkDragMovesOnlyItsPair(drag, checked);
  if (operation.applied()) lastMoved_ = operation.takeReplaced();
}

ModelBuildHost ConversationHost::modelHostSide() const {
  ModelBuildHost side;
  for (std::size_t i = 0; i < mesh_.size(); ++i)
    side.points.push_back({mesh_.id(i), modelVec(mesh_.position(i).data()), mesh_.selected(i)});
  const standin::EditFaults &e = faults_.edit;
  side.countError = faults_.countError;
  side.scanWithholdSelected = e.scanWithholdSelected;
  side.failMovePoint = e.failMovePoint;
  side.moveFailCode = e.moveFailCode;
  side.nullInfoPoint = e.nullInfoPoint;
  side.nullInfoAll = e.nullInfoAll;
  side.monitor = !faults_.noMonitor;
  side.abortAtStep = faults_.abortAtStep;
  side.allocationMayFail = allocationArmed_;
  return side;
}

void ConversationHost::checkBuildAgainstModel(const Slot &s, const ModelBuild &expected,
                                              const CheckedOperation &op,
                                              const std::vector<standin::MessageBox> &boxes, bool failed,
                                              bool doneCalled) const {
  const std::vector<MoveCall> &moves = op.moves();
  bool same = moves.size() == expected.moves.size() && boxes.size() == expected.boxes.size() &&
              failed == expected.failed && doneCalled == expected.done &&
              (expected.usesOperation || op.calls() == 0);
  for (std::size_t i = 0; same && i < moves.size(); ++i) {
    const ModelMove &m = expected.moves[i];
    same = moves[i].point == m.point && sameBits(m.position, moves[i].position.data()) &&
           moves[i].result == m.result;
  }
  for (std::size_t i = 0; same && i < boxes.size(); ++i) same = boxes[i].title == expected.boxes[i];
  if (same) return;
  const int slot = slotNumber(s);
  std::fprintf(stderr, "\nthe build of slot %d, the model's tool now: %s\n", slot,
               model_.describe(slot).c_str());
  std::fprintf(stderr, "the module: %s, operation's done %s, %zu calls on the operation\n",
               failed ? "failed" : "succeeded", doneCalled ? "called" : "not called", op.calls());
  std::fprintf(stderr, "the model:  %s, operation's done %s%s\n", expected.failed ? "failed" : "succeeded",
               expected.done ? "called" : "not called",
               expected.usesOperation ? "" : ", no call on the operation");
  for (std::size_t i = 0; i < std::max(moves.size(), expected.moves.size()); ++i) {
    std::fprintf(stderr, "  move %zu:", i);
    if (i < moves.size())
      std::fprintf(stderr, " module %p to (%.17g, %.17g, %.17g) -> %d;", moves[i].point, moves[i].position[0],
                   moves[i].position[1], moves[i].position[2], moves[i].result);
    if (i < expected.moves.size()) {
      const ModelMove &m = expected.moves[i];
      std::fprintf(stderr, " model %p to (%.17g, %.17g, %.17g) -> %d", m.point, m.position.x, m.position.y,
                   m.position.z, m.result);
    }
    std::fputc('\n', stderr);
  }
  for (const standin::MessageBox &box : boxes)
    std::fprintf(stderr, "  box (module): %s\n", box.title.c_str());
  for (const std::string &title : expected.boxes) std::fprintf(stderr, "  box (model):  %s\n", title.c_str());
  violated("the build of slot %d differs from the model's (above)", slot);
}

void ConversationHost::checkDragMovesOnlyItsPair(const DragExpectation &expected,
                                                 const CheckedOperation &op) const {
  if (!expected.withoutCtrl || op.moved().empty()) return;
  const std::vector<LWPntID> &selected = op.selectedDelivered();
  const int k = expected.handle;
  if (k < 0 || static_cast<std::size_t>(k) >= selected.size())
    violated("a build for handle %d outside the %zu points moved a point", k, selected.size());
  const LWPntID dragged = selected[static_cast<std::size_t>(k)];
  const std::size_t partnerIndex = static_cast<std::size_t>(k ^ 1);
  const LWPntID partner = partnerIndex < selected.size() ? selected[partnerIndex] : nullptr;
  for (LWPntID moved : op.moved())
    if (moved != dragged && moved != partner)
      violated("a drag of handle %d without CTRL moved %p, a point of another pair", k, moved);
}

// ---- The options panel and its buttons ----------------------------------------

const standin::PanelRecord *ConversationHost::optionsPanelOf(const Slot &s) {
  return s.optionsPanel != nullptr ? globals_.panels().panel(s.optionsPanel) : nullptr;
}

void ConversationHost::panel(int slot, bool failCreate) {
  Slot *s = liveSlot(slot);
  if (s == nullptr) return;
  if (failCreate) globals_.panels().failNextCreates(1);
  LWXPanelID id = s->funcs.panel(s->binding.instance);
  globals_.panels().failNextCreates(0);
  trace("panel(slot %d%s) -> %p", slotNumber(*s), failCreate ? ", create fails" : "", id);
  if (id == nullptr) {
    if (!failCreate) violated("panel answered NULL although the host could create the panel");
    return;
  }
  const standin::PanelRecord *record = globals_.panels().panel(id);
  if (record == nullptr || record->get == nullptr || record->set == nullptr)
    violated("panel answered a panel the host did not make, or without get and set");
  s->optionsPanel = id;
}

void ConversationHost::panelGet(int slot, std::uintptr_t id) {
  Slot *s = liveSlot(slot);
  const standin::PanelRecord *record = s != nullptr ? optionsPanelOf(*s) : nullptr;
  if (record == nullptr) return;
  void *value = record->get(s->binding.instance, id);
  trace("get(slot %d, 0x%zx) -> %p", slotNumber(*s), static_cast<std::size_t>(id), value);
  const ModelValue expected = model_.get(slotNumber(*s), id);
  if (value != nullptr && expected.present) {
    double d = 0.0;
    int i = 0;
    if (expected.isDouble)
      std::memcpy(&d, value, sizeof d);
    else
      std::memcpy(&i, value, sizeof i);
    if (expected.isDouble ? !sameBits(d, expected.d) : i != expected.i)
      violated("get(0x%zx) reads %.17g (%d), the model %.17g (%d)", static_cast<std::size_t>(id), d, i,
               expected.d, expected.i);
  }
  if ((value != nullptr) != isValueControl(id))
    violated("get(0x%zx) answered %p", static_cast<std::size_t>(id), value);
  if (value == nullptr) return;
  const auto *first = static_cast<const char *>(s->binding.instance);
  const auto *at = static_cast<const char *>(value);
  const std::size_t width = isDoubleControl(id) ? sizeof(double) : sizeof(int);
  if (at < first || at + width > first + sizeof(ep::StretchToolState))
    violated("get(0x%zx) answered an address outside the instance", static_cast<std::size_t>(id));
}

void ConversationHost::panelSet(int slot, std::uintptr_t id, int intValue, double doubleValue) {
  Slot *s = liveSlot(slot);
  const standin::PanelRecord *record = s != nullptr ? optionsPanelOf(*s) : nullptr;
  if (record == nullptr) return;
  // The value has the data type of the control: a double for Factor and
  // Offset, an int for the others (and room for either for an unknown ID).
  union {
    int i;
    double d;
  } value;
  if (isDoubleControl(id)) {
    noteValue(doubleValue);
    value.d = doubleValue;
  } else {
    value.d = 0.0;
    value.i = intValue;
  }
  const int result = record->set(s->binding.instance, id, &value);
  trace("set(slot %d, 0x%zx, %d or %.17g) -> %d", slotNumber(*s), static_cast<std::size_t>(id), intValue,
        doubleValue, result);
  const int expected = isValueControl(id) ? LWXPSET_REDRAW : LWXPSET_NONE;
  if (result != expected) violated("set(0x%zx) answered %d", static_cast<std::size_t>(id), result);
  const int modelResult = model_.set(slotNumber(*s), id, intValue, doubleValue);
  if (result != modelResult)
    violated("set(0x%zx) answered %d, the model %d", static_cast<std::size_t>(id), result, modelResult);
}

bool ConversationHost::pressButton(std::uintptr_t control) {
  for (const standin::PanelRecord *record : globals_.panels().panels()) {
    const standin::ControlHints *hints = record->hintsFor(control);
    if (hints == nullptr || hints->buttonClick == nullptr) continue;
    trace("button 0x%zx of panel %p", static_cast<std::size_t>(control), record->id);
    hints->buttonClick(record->id, static_cast<int>(control));
    return true;
  }
  return false;
}

void ConversationHost::invertHandle() {
  if (pressButton(ep::kControlInvertHandle)) model_.invertHandle();
}

void ConversationHost::about(bool failCreate, bool paint) {
  // The host shows About only for an options panel of a live instance.
  bool anyLive = false;
  for (const Slot &s : slots_) anyLive = anyLive || (s.live && optionsPanelOf(s) != nullptr);
  if (!anyLive) return;
  const std::size_t panelsBefore = globals_.panels().panels().size();
  if (failCreate) globals_.panels().failNextCreates(1);
  // The host paints the thumbnail while the panel is posted only when asked:
  // each time it takes a picture of its own.
  if (paint)
    globals_.panels().setThumbnailSink(
        [](const standin::PanelRecord &, std::uintptr_t, const standin::ThumbnailCanvas &) {});
  pressButton(ep::kControlAbout);
  globals_.panels().setThumbnailSink(nullptr);
  globals_.panels().failNextCreates(0);
  if (globals_.panels().panels().size() != panelsBefore) violated("About left its panel undestroyed");
}

// ---- Between any two actions ------------------------------------------------

void ConversationHost::checkAfterStep() {
  for (const Slot &s : slots_) {
    if (s.funcs.move != hostMove || s.funcs.up != hostUp) violated("the host's move or up slot was changed");
    if (!s.live) continue;
    void *instance = s.binding.instance;
    const int code = s.binding.test(instance);
    if (!isTestCode(code)) violated("test answered %d", code);
    const int dirty = s.funcs.dirty(instance);
    if ((dirty & ~(LWT_DIRTY_WIREFRAME | LWT_DIRTY_HELPTEXT)) != 0) violated("dirty answered %d", dirty);
    LWToolEvent event{};
    const int handles = s.funcs.count(instance, &event);
    if (handles < 0) violated("count answered %d", handles);
    if (s.binding.test(instance) != code || s.funcs.dirty(instance) != dirty)
      violated("asking test or dirty changed the answer");
    const int slot = slotNumber(s);
    if (code != model_.test(slot) || dirty != model_.dirty(slot) || handles != model_.count(slot))
      violated("test, dirty and count answered %d, %d and %d, the model %d, %d and %d (%s)", code, dirty,
               handles, model_.test(slot), model_.dirty(slot), model_.count(slot),
               model_.describe(slot).c_str());
  }
  if (globals_.monitors().liveCount() != 0) violated("a progress monitor lives outside a build");
}

}  // namespace fuzz
