#include "standin/host/tool_session.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "standin/host/failure.h"
#include "standin/host/module_loader.h"

namespace standin {

namespace {

// What the host leaves in the move and up slots before activation. The tool
// has neither callback; if these are still here afterwards, activation left
// the slots alone. Calling them does nothing.
void hostMoveSentinel(void *, LWToolEvent *) {}
void hostUpSentinel(void *, LWToolEvent *) {}

double snap(double value, double grid) { return grid > 0.0 ? std::round(value / grid) * grid : value; }

std::string eventText(const LWToolEvent &event) {
  return "posRaw=" + traceVec(event.posRaw) + ", flags=" + std::to_string(event.flags);
}

std::string activationFailure(const ServerRecord &server, int result, const HostGlobals &globals) {
  std::string who =
      std::string("activation of \"") + (server.name != nullptr ? server.name : "?") + "\" failed: ";
  switch (result) {
    case LW_ACTIVATE_BAD_VERSION:
      return who + "the server does not support interface version " +
             std::to_string(LW_MESHEDITTOOL_VERSION) + " (result 1)";
    case LW_ACTIVATE_BAD_GLOBAL:
      return who + "a global service is missing" +
             (globals.lookups().empty() ? std::string()
                                        : " (last looked up: \"" + globals.lookups().back() + "\")") +
             " (result 2)";
    case LW_ACTIVATE_BAD_LOCAL:
      return who + "the server could not start, e.g. no memory for its instance (result 3)";
    default:
      return who + "unknown result " + std::to_string(result);
  }
}

}  // namespace

ToolSession::ToolSession(const ServerRecord &server, void *serverData, HostGlobals &globals, Mesh &mesh,
                         SessionOptions options)
    : server_(server),
      serverData_(serverData),
      globals_(globals),
      mesh_(mesh),
      options_(options),
      edits_(mesh, globals.tracer()),
      wire_(countingWire_.access()) {
  table_.move = &hostMoveSentinel;
  table_.up = &hostUpSentinel;
  binding_.tool = &table_;
}

ToolSession::ToolSession(const LoadedModule &module, HostGlobals &globals, Mesh &mesh, SessionOptions options)
    : ToolSession(module.requireServer(LW_MESHEDITTOOL_CLASS), module.startupResult(), globals, mesh,
                  options) {}

ToolSession::~ToolSession() {
  try {
    close();
  } catch (...) {
    // Nothing may escape a destructor; close itself only calls the tool.
  }
}

bool ToolSession::moveUpUntouched() const {
  return table_.move == &hostMoveSentinel && table_.up == &hostUpSentinel;
}

int ToolSession::activate(int version) {
  if (activated_) throw std::logic_error("ToolSession::activate: a session activates its server once");
  activated_ = true;
  activation_ = server_.activate != nullptr
                    ? server_.activate(version, &HostGlobals::global, &binding_, serverData_)
                    : LW_ACTIVATE_BAD_LOCAL;
  if (tracing()) trace("activate(version=" + std::to_string(version) + ") -> " + std::to_string(activation_));
  if (activation_ == LW_ACTIVATE_OK) {
    live_ = true;
    edits_.attach(&binding_);
  }
  return activation_;
}

void ToolSession::activateOrThrow(int version) {
  int result = activate(version);
  if (result == LW_ACTIVATE_OK) return;
  FailureKind kind = result == LW_ACTIVATE_BAD_VERSION  ? FailureKind::ActivationVersion
                     : result == LW_ACTIVATE_BAD_GLOBAL ? FailureKind::ActivationGlobal
                     : result == LW_ACTIVATE_BAD_LOCAL  ? FailureKind::ActivationFailed
                                                        : FailureKind::ActivationOther;
  throw Failure(kind, activationFailure(server_, result, globals_));
}

LWToolEvent ToolSession::makeEvent(const Position &position, bool ctrl, bool rightButton) const {
  LWToolEvent event{};
  for (int i = 0; i < 3; ++i) {
    event.posRaw[i] = position[i];
    event.posSnap[i] = snap(position[i], options_.snapGrid);
    event.deltaRaw[i] = position[i] - pressPosition_[i];
    event.deltaSnap[i] = event.posSnap[i] - snap(pressPosition_[i], options_.snapGrid);
  }
  event.axis[2] = 1.0;
  event.portAxis = options_.viewAxis;
  event.flags = (ctrl ? LWT_EVENT_CTRL : 0) | (rightButton ? LWT_EVENT_RIGHT_BUTTON : 0);
  return event;
}

int ToolSession::pickHandle(LWToolEvent &event) {
  int count = table_.count != nullptr ? table_.count(binding_.instance, &event) : 0;
  if (tracing()) trace("count() -> " + std::to_string(count));
  int best = -1;
  int bestPriority = 0;
  double bestDistance = std::numeric_limits<double>::infinity();
  for (int index = 0; index < count && table_.handle != nullptr; ++index) {
    constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();
    LWDVector where = {kUnset, kUnset, kUnset};
    int priority = table_.handle(binding_.instance, &event, index, where);
    if (globals_.tracer().on())
      trace("handle(" + std::to_string(index) + ") -> " + std::to_string(priority) + " at " +
            traceVec(where));
    if (priority <= 0) continue;  // not a handle
    double dx = where[0] - event.posRaw[0], dy = where[1] - event.posRaw[1], dz = where[2] - event.posRaw[2];
    double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!(distance <= options_.pickRadius)) continue;  // also skips a position never written (NaN)
    if (best < 0 || distance < bestDistance || (distance == bestDistance && priority > bestPriority)) {
      best = index;
      bestDistance = distance;
      bestPriority = priority;
    }
  }
  return best;
}

int ToolSession::askStart(LWToolEvent &event) {
  if (table_.start == nullptr) return -1;
  int index = table_.start(binding_.instance, &event);
  if (tracing()) trace("start() -> " + std::to_string(index));
  return index;
}

void ToolSession::adjust(LWToolEvent &event, int index) {
  if (table_.adjust == nullptr) return;
  int result = table_.adjust(binding_.instance, &event, index);
  if (tracing())
    trace("adjust(" + std::to_string(index) + ", " + eventText(event) + ") -> " + std::to_string(result));
}

void ToolSession::press(const Position &position, bool ctrl, bool rightButton, std::optional<int> grab) {
  if (!live_) return;
  pressPosition_ = position;
  LWToolEvent event = makeEvent(position, ctrl, rightButton);
  lastEvent_ = event;
  held_.reset();
  lastGrab_.reset();
  heldRight_ = rightButton;
  lastDown_ = table_.down != nullptr ? table_.down(binding_.instance, &event) : 0;
  if (tracing()) trace("down(" + eventText(event) + ") -> " + std::to_string(lastDown_));
  if (lastDown_ == 0) {
    const int picked = grab ? *grab : pickHandle(event);
    lastGrab_ = picked >= 0 ? picked : -1;
    const int index = picked >= 0 ? picked : askStart(event);
    if (table_.adjust != nullptr) {
      held_ = index;
      adjust(event, index);
    }
  }
  runCycle();
}

void ToolSession::drag(const Position &position, bool ctrl) {
  if (!live_ || !held_) return;
  LWToolEvent event = makeEvent(position, ctrl, heldRight_);
  lastEvent_ = event;
  adjust(event, *held_);
  runCycle();
}

void ToolSession::release() {
  if (!live_) return;
  held_.reset();
  if (table_.up != nullptr && table_.up != &hostUpSentinel) {
    LWToolEvent event = lastEvent_;
    table_.up(binding_.instance, &event);
    if (tracing()) trace("up(" + eventText(event) + ")");
  }
  runCycle();
}

void ToolSession::hostEvent(int code) {
  if (!live_) return;
  if (table_.event != nullptr) table_.event(binding_.instance, code);
  if (tracing()) trace("event(" + std::to_string(code) + ")");
  runCycle();
}

void *ToolSession::requestPanel() {
  if (!live_ || table_.panel == nullptr) return nullptr;
  void *panel = table_.panel(binding_.instance);
  if (tracing()) trace("panel() -> " + tracePtr(panel));
  if (panel != nullptr) panels_.push_back(panel);
  return panel;
}

void ToolSession::runCycle() {
  if (!live_) return;
  CycleRecord cycle;
  cycle.test = binding_.test != nullptr ? binding_.test(binding_.instance) : LWT_TEST_NOTHING;
  if (tracing()) trace("test() -> " + std::to_string(cycle.test));
  switch (cycle.test) {
    case LWT_TEST_UPDATE:
      edits_.update();
      break;
    case LWT_TEST_ACCEPT:
      edits_.accept();
      break;
    case LWT_TEST_REJECT:
      edits_.reject();
      break;
    case LWT_TEST_CLONE:
      edits_.clone();
      break;
    default:
      break;  // 0 and unknown codes: nothing to do
  }
  cycle.dirty = table_.dirty != nullptr ? table_.dirty(binding_.instance) : 0;
  if (tracing()) trace("dirty() -> " + std::to_string(cycle.dirty));
  if (cycle.dirty != 0 && table_.draw != nullptr && !skipDrawing_) {
    if (beforeDraw_) beforeDraw_();
    table_.draw(binding_.instance, wire_);
    cycle.drew = true;
    if (tracing()) trace("draw()");
  }
  if ((cycle.dirty & LWT_DIRTY_HELPTEXT) != 0 && table_.help != nullptr) {
    LWToolEvent event = lastEvent_;
    const char *text = table_.help(binding_.instance, &event);
    lastHelp_ = text != nullptr ? text : "";
    cycle.helped = true;
    if (tracing()) trace("help() -> " + traceText(text));
  }
  cycles_.push_back(cycle);
}

void ToolSession::close() {
  if (!live_) return;
  live_ = false;
  held_.reset();
  edits_.close();
  if (table_.done != nullptr) table_.done(binding_.instance);
  if (tracing()) trace("done()");
  // The options panels the tool gave belong to the host, which closes them
  // with the tool: a host that kept them would hold one for every pick.
  for (void *panel : panels_) globals_.panels().destroy(panel);
  panels_.clear();
}

}  // namespace standin
