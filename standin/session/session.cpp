#include "standin/session/session.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <limits>

#include "host/host_abi.h"
#include "standin/host/number_text.h"
#include "standin/session/selection.h"

namespace standin {
namespace {

// Holds the host cycles of panel edits for its scope.
class HeldCycles {
 public:
  explicit HeldCycles(bool &held) : held_(held), was_(held) { held_ = true; }
  ~HeldCycles() { held_ = was_; }
  HeldCycles(const HeldCycles &) = delete;
  HeldCycles &operator=(const HeldCycles &) = delete;

 private:
  bool &held_;
  bool was_;
};

// A comment of the log holds one line.
std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

}  // namespace

std::string resolveOutputPath(const std::string &folder, const std::string &name) {
  if (folder.empty() || name == "-" || std::filesystem::path(name).is_absolute()) return name;
  return (std::filesystem::path(folder) / name).string();
}

Session::Session(const LoadedModule &module, HostGlobals &globals, ObjFile &obj, SessionSetup setup)
    : module_(module), globals_(globals), obj_(obj), mesh_(obj.mesh()), setup_(std::move(setup)) {
  if (setup_.font != nullptr) globals_.panels().setFont(setup_.font);
  // Nothing of a session reads the panel service's call log, and every pick adds a dozen calls to it.
  panelCallsRecorded_ = globals_.panels().recordingCalls();
  globals_.panels().recordCalls(false);
  boxesSeen_ = globals_.messages().boxes().size();
}

Session::~Session() {
  try {
    close();
  } catch (...) {
    // A destructor lets nothing escape; close only calls the tool.
  }
  panel_.reset();
  tool_.reset();
  globals_.panels().setFont(nullptr);
  globals_.panels().recordCalls(panelCallsRecorded_);
}

std::ostream &Session::out() const { return setup_.out != nullptr ? *setup_.out : std::cout; }
std::ostream &Session::err() const { return setup_.err != nullptr ? *setup_.err : std::cerr; }

std::string Session::resolveOutput(const std::string &name) const {
  return resolveOutputPath(setup_.outputFolder, name);
}

CommandAnswer Session::run(const Command &c) {
  if (globals_.tracer().on())
    globals_.tracer()("# " + (c.line > 0 ? "line " + std::to_string(c.line) + ": " : "") + commandText(c));
  currentLine_ = c.line;
  const std::size_t drawsBefore = draws_;
  const bool step = changesSession(c.op);
  const std::size_t stepsBefore = done_.size(), picksBefore = picks_;
  const std::optional<ToolSettings> settingsBefore = settings_;
  const std::optional<double> lengthBefore = lengthTarget_;
  const bool openBefore = stepOpen_;
  Command done = c;
  try {
    if (c.op == CommandOp::Undo) {
      undo();
    } else if (c.op == CommandOp::Redo) {
      redo();
    } else if (c.op == CommandOp::Open) {
      done = open(c);
    } else if (c.op == CommandOp::Cancel) {
      cancel();
    } else if (c.op == CommandOp::About) {
      pressAboutInStep(c);
    } else {
      if (step) beginStep(c);
      execute(c);
      if (c.op == CommandOp::Press) done = grabbed(c);
      if (step) endStep(done, false);
    }
  } catch (...) {
    if (step) endStep(c, true);
    collect(c);
    // A refused command leaves the session as it was, and out of the log: one
    // that picked the tool afresh or moved points before it failed (a pick
    // whose values the new panel refuses) is taken back through the history.
    const bool changed = done_.size() > stepsBefore || picks_ != picksBefore;
    if (step && c.op != CommandOp::Undo && c.op != CommandOp::Redo && changed) {
      takeBack(stepsBefore);
      settings_ = settingsBefore;
      lengthTarget_ = lengthBefore;
    }
    // Nor does it end the step of a press still held: its release joins it.
    if (openBefore && !stepOpen_ && done_.size() == stepsBefore) reopenStep();
    throw;
  }
  CommandAnswer answer = collect(done);
  answer.notes = std::move(notes_);
  notes_.clear();
  if (c.op == CommandOp::About && about_) answer.about = about_;
  // The views show what the tool draws now: when the command's own cycles did
  // not draw, and after an undo or redo, whose replay drew for other steps.
  const bool replayed = c.op == CommandOp::Undo || c.op == CommandOp::Redo || c.op == CommandOp::Cancel;
  if (setup_.liveViewport && (draws_ == drawsBefore || replayed || !live())) refreshViewport();
  logCommand(done, answer);
  return answer;
}

// The press as it happened: with the handle its pick grabbed (or none, so
// that start chose), which a replay grabs again whatever its pick radius.
Command Session::grabbed(const Command &c) const {
  Command done = c;
  if (c.grab != Grab::Nearest || tool_ == nullptr || !tool_->lastGrab()) return done;
  const int grab = *tool_->lastGrab();
  done.grab = grab < 0 ? Grab::Start : Grab::Handle;
  done.handle = grab < 0 ? 0 : grab;
  return done;
}

std::size_t Session::runScript(const Script &script) {
  std::size_t ran = 0;
  for (const Command &command : script.commands) {
    if (setup_.interrupt != nullptr && setup_.interrupt->load()) break;
    const std::size_t failuresBefore = failures_.size();
    try {
      run(command);
    } catch (const Failure &error) {
      throw error.at(script.name, command.line);
    }
    ++ran;
    if (failures_.size() > failuresBefore && !goOnAfterFailure_) break;
  }
  return ran;
}

// What the tool showed since the last command: its boxes and the builds
// that failed, kept as the command's failures.
CommandAnswer Session::collect(const Command &c) {
  CommandAnswer answer;
  const auto &boxes = globals_.messages().boxes();
  for (std::size_t i = boxesSeen_; i < boxes.size(); ++i) answer.boxes.push_back(boxes[i]);
  boxesSeen_ = boxes.size();
  if (tool_ != nullptr) {
    const auto &builds = tool_->edits().builds();
    for (std::size_t i = buildsSeen_; i < builds.size(); ++i)
      if (builds[i].errorText) answer.failedBuilds.push_back(builds[i].text);
    builds_ += builds.size() - buildsSeen_;
    buildsSeen_ = builds.size();
  }
  if (quiet_) return {};
  // A pick is named without the values it was picked with.
  const std::string text = c.op == CommandOp::Pick ? "pick" : commandText(c);
  for (const MessageBox &box : answer.boxes) {
    if (box.kind == MessageKind::Info) continue;
    failures_.push_back(ToolFailure{
        text, c.line, std::string(messageKindName(box.kind)) + " \"" + box.title + "\": " + box.text});
  }
  for (const std::string &build : answer.failedBuilds)
    failures_.push_back(ToolFailure{text, c.line, "the build failed: the tool answered \"" + build + "\""});
  return answer;
}

void Session::logCommand(const Command &c, const CommandAnswer &answer) {
  log_.push_back(commandText(c));
  // A replay of the log fails where this command failed: it has to go on.
  for (const MessageBox &box : answer.boxes) logHasFailure_ = logHasFailure_ || box.kind != MessageKind::Info;
  logHasFailure_ = logHasFailure_ || !answer.failedBuilds.empty();
  for (const std::string &note : answer.notes) log_.push_back("# note: " + oneLine(note));
  for (const MessageBox &box : answer.boxes) log_.push_back("# box: " + oneLine(box.title + ": " + box.text));
  for (const std::string &build : answer.failedBuilds)
    log_.push_back("# build failed: the tool answered " + oneLine(build));
}

std::string Session::log() const {
  std::string text = "# elasticpull-host session: replay with elasticpull-host MESH --script FILE -o OUT\n";
  // A replay must go on where the tool failed, unless the log already says so
  // (a replayed log begins with that line).
  if (logHasFailure_ && (log_.empty() || log_.front() != "on-failure continue"))
    text += "on-failure continue\n";
  for (const std::string &line : log_) text += line + "\n";
  return text;
}

void Session::execute(const Command &c) {
  switch (c.op) {
    case CommandOp::Pick:
      return pick(c.preset);
    case CommandOp::Press:
      return press(c, false);
    case CommandOp::Drag: {
      ToolSession &s = requireLive("drag");
      if (!s.heldHandle())
        throw Failure(FailureKind::Refused, "drag: the mouse button is not held (press first)");
      return s.drag(c.position, c.ctrl);
    }
    case CommandOp::Release:
      return requireLive("release").release();
    case CommandOp::Click:
      return press(c, true);
    case CommandOp::Keep:
      requireLive("keep").press(c.position, false, true);
      return tool_->release();
    case CommandOp::Event:
      requireLive("event").hostEvent(c.code);
      if (c.code == LWT_EVENT_DROP || c.code == LWT_EVENT_ACTIVATE) dropped_ = c.code == LWT_EVENT_DROP;
      return readSettings();
    default:
      return runTool(c);
  }
}

void Session::runTool(const Command &c) {
  switch (c.op) {
    case CommandOp::About:
      return pressAbout(c.text);
    case CommandOp::Svg:
      return writeSvg(c.text, c.view, c.zoom);
    case CommandOp::Points:
      return printPoints(c.text);
    case CommandOp::Select: {
      const std::vector<std::size_t> points = parseSelection(c.text, mesh_.size());
      if (c.repick) close();
      mesh_.selectOnly(points);
      warnIfOddSelection();
      return pickOnChoice(c);
    }
    case CommandOp::Pairs: {
      const std::vector<PointPair> pairs = parsePairs(c.text, mesh_.size());
      if (c.repick) close();
      mesh_.selectInOrder(pairPoints(pairs));
      return pickOnChoice(c);
    }
    case CommandOp::PairsFromEdges:
      return chooseEdgePairs(c);
    case CommandOp::Length:
    case CommandOp::MatchPair:
      return stretchToLength(c);
    case CommandOp::Revert:
      return revert();
    case CommandOp::Save:
      return save(c.text);
    case CommandOp::Echo:
      out() << c.text << "\n";
      return;
    case CommandOp::OnFailure:
      goOnAfterFailure_ = c.code != 0;
      return;
    case CommandOp::Close:
      requireLive("close");
      return close();
    default:
      return executePanel(c);
  }
}

// The options panel's commands; each is refused while the tool is not picked.
void Session::executePanel(const Command &c) {
  switch (c.op) {
    case CommandOp::Mode:
      panel("the mode").setMode(c.code);
      break;
    case CommandOp::Factor:
      panel("Factor").setFactor(c.value);
      break;
    case CommandOp::Offset:
      panel("Offset").setOffset(c.value);
      break;
    case CommandOp::Symmetry:
      panel("Symmetry").setSymmetry(c.code != 0);
      break;
    case CommandOp::Invert:
      panel("Invert Handle").pressInvertHandle();
      break;
    case CommandOp::Panel: {
      ToolPanel &p = panel("panel");
      out() << p.render();
      if (auto settings = p.read()) out() << "  Result: " << describeLengthRule(*settings) << "\n";
      return;
    }
    default:
      return;
  }
  readSettings();
}

// Whether the tool showed an error or a warning, or a build failed, since
// the last command's answer.
bool Session::toolComplained() const {
  const auto &boxes = globals_.messages().boxes();
  for (std::size_t i = boxesSeen_; i < boxes.size(); ++i)
    if (boxes[i].kind != MessageKind::Info) return true;
  if (tool_ == nullptr) return false;
  const auto &builds = tool_->edits().builds();
  for (std::size_t i = buildsSeen_; i < builds.size(); ++i)
    if (builds[i].errorText) return true;
  return false;
}

ToolSession &Session::requireLive(const char *what) {
  if (!live()) {
    throw Failure(FailureKind::Refused,
                  std::string(what) + ": the tool is not picked" +
                      (tool_ != nullptr ? " (it was closed; 'pick' picks it again)" : ""));
  }
  return *tool_;
}

ToolPanel &Session::panel(const char *what) {
  requireLive(what);
  if (panel_ == nullptr || !panel_->exists())
    throw Failure(FailureKind::ToolFailed, std::string(what) + ": the tool has no options panel");
  return *panel_;
}

void Session::readSettings() {
  if (!live() || panel_ == nullptr) return;
  if (auto settings = panel_->read()) settings_ = settings;
}

// Picks the tool afresh: the panel values given are set before the first
// build; Invert Handle swaps the ends of pairs the tool has only once it
// built, so with it the pick builds, then the button and the values make one
// second build.
void Session::pick(const PanelPreset &preset) {
  close();
  panel_.reset();
  tool_.reset();
  auto tool = std::make_unique<ToolSession>(module_, globals_, mesh_);
  tool->setWireDraw(viewport_.access());
  tool->skipDrawing(!setup_.drawViews);
  tool->setBeforeDraw([this] {
    viewport_.clear();
    ++draws_;
  });
  tool->activateOrThrow();
  tool_ = std::move(tool);
  dropped_ = false;
  ++picks_;
  buildsSeen_ = 0;
  warnIfOddSelection();
  // A modeler builds the tool's options panel when the tool is picked.
  if (LWXPanelID id = tool_->requestPanel(); id != nullptr) {
    ToolSession *s = tool_.get();
    panel_ = std::make_unique<ToolPanel>(
        globals_.panels(), id, s->binding().instance,
        [this, s](std::uintptr_t) {
          if (!cyclesHeld_) s->runCycle();
        },
        globals_.tracer());
  }
  if (!preset.invert) applyPreset(preset);
  tool_->runCycle();
  readSettings();
  if (!preset.invert || toolComplained()) return;
  PanelPreset values = preset;
  values.invert = false;
  const HeldCycles held(cyclesHeld_);
  panel("Invert Handle").pressInvertHandle();
  applyPreset(values);
  cyclesHeld_ = false;
  tool_->runCycle();
  readSettings();
}

// Sets the values in the panel's order with the host cycles held: the cycle
// that follows makes one build of them.
void Session::applyPreset(const PanelPreset &preset) {
  const HeldCycles held(cyclesHeld_);
  // The lines are made only while tracing: --length picks the tool once a length.
  const bool tracing = globals_.tracer().on();
  auto trace = [&](const std::string &what) { globals_.tracer()("# " + what); };
  if (tracing && preset.mode) trace(std::string("mode ") + (*preset.mode == 0 ? "factor" : "offset"));
  if (preset.mode) panel("the mode").setMode(*preset.mode);
  if (tracing && preset.symmetry) trace(*preset.symmetry ? "symmetry on" : "symmetry off");
  if (preset.symmetry) panel("Symmetry").setSymmetry(*preset.symmetry);
  if (tracing && preset.factor) trace("factor " + formatNumber(*preset.factor));
  if (preset.factor) panel("Factor").setFactor(*preset.factor);
  if (tracing && preset.offset) trace("offset " + formatNumber(*preset.offset));
  if (preset.offset) panel("Offset").setOffset(*preset.offset);
}

void Session::close() {
  if (!live()) return;
  readSettings();
  tool_->close();
  builds_ += tool_->edits().builds().size() - buildsSeen_;
  buildsSeen_ = tool_->edits().builds().size();
  panel_.reset();
}

std::size_t Session::meshIndex(std::size_t point, const char *what) const {
  if (point >= mesh_.size()) {
    throw Failure(FailureKind::BadInput, std::string(what) + ": point " + std::to_string(point) +
                                             " is out of range: the mesh has " +
                                             std::to_string(mesh_.size()) + " points");
  }
  return point;
}

// A press grabs what the command says: the nearest handle within the pick
// radius, a given handle, or none (the tool's start chooses).
void Session::press(const Command &c, bool thenRelease) {
  const char *what = thenRelease ? "click" : "press";
  ToolSession &s = requireLive(what);
  const bool atPoint = thenRelease || c.atPoint;
  const Position where = atPoint ? mesh_.position(meshIndex(c.point, what)) : c.position;
  std::optional<int> grab;
  if (c.grab == Grab::Handle) grab = c.handle;
  if (c.grab == Grab::Start) grab = -1;
  s.press(where, c.ctrl, c.right, grab);
  if (thenRelease) s.release();
}

// After a command whose cycles did not draw, the host refreshes its views.
void Session::refreshViewport() {
  if (!live()) return viewport_.clear();
  const LWToolFuncs &table = tool_->table();
  if (table.draw == nullptr) return;
  viewport_.clear();
  table.draw(tool_->binding().instance, viewport_.access());
}

// Every point back where the file has it, and the tool picked again.
void Session::revert() {
  close();
  for (std::size_t i = 0; i < mesh_.size(); ++i) {
    const Position file = obj_.filePosition(i);
    if (std::memcmp(file.data(), mesh_.position(i).data(), sizeof file) != 0) mesh_.setPosition(i, file);
  }
  pick({});
}

void Session::warnIfOddSelection() {
  const std::size_t count = mesh_.selectedCount();
  if (count < 3 || count % 2 == 0 || quiet_) return;
  std::size_t last = mesh_.size();
  while (last > 0 && !mesh_.selected(last - 1)) --last;
  err() << "warning: " << count << " points are selected; the tool pairs them in mesh order and leaves the "
        << "last one (point " << (last - 1) << ") where it is\n";
}

std::vector<Position> Session::original() const {
  std::vector<Position> points(mesh_.size());
  for (std::size_t i = 0; i < points.size(); ++i) points[i] = obj_.filePosition(i);
  return points;
}

const std::vector<std::pair<std::size_t, std::size_t>> &Session::edges() {
  if (!edgesRead_) {
    edges_ = obj_.edges();
    edgesRead_ = true;
  }
  return edges_;
}

std::vector<std::size_t> Session::selection() const {
  if (!mesh_.scanOrder().empty()) return mesh_.scanOrder();
  std::vector<std::size_t> points;
  for (std::size_t i = 0; i < mesh_.size(); ++i)
    if (mesh_.selected(i)) points.push_back(i);
  return points;
}

int Session::handleCount() const {
  if (!live()) return 0;
  const LWToolFuncs &table = tool_->table();
  if (table.count == nullptr || table.handle == nullptr) return 0;
  LWToolEvent event{};
  return std::max(table.count(tool_->binding().instance, &event), 0);
}

namespace {

constexpr double kUnsetCoordinate = std::numeric_limits<double>::quiet_NaN();
constexpr Position kNoHandle{kUnsetCoordinate, kUnsetCoordinate, kUnsetCoordinate};

// Asks the tool for handle `index`, written straight into `where`; unset
// where the tool gives none.
void askHandle(const LWToolFuncs &table, void *instance, int index, Position &where) {
  LWToolEvent event{};
  if (table.handle(instance, &event, index, where.data()) <= 0) where = kNoHandle;
}

}  // namespace

Position Session::handle(int index) const {
  Position where = kNoHandle;
  askHandle(tool_->table(), tool_->binding().instance, index, where);
  return where;
}

// Asked by the ten thousand in a drag: each call gets an event copied from
// one blank one (clearing a fresh one each time took most of the time here).
void Session::handlesAt(const std::vector<std::uint32_t> &indices, std::vector<Position> &out) const {
  out.resize(indices.size());
  const LWToolFuncs &table = tool_->table();
  void *instance = tool_->binding().instance;
  const LWToolEvent blank{};
  LWToolEvent event;
  for (std::size_t i = 0; i < indices.size(); ++i) {
    std::memcpy(&event, &blank, sizeof event);
    out[i] = kNoHandle;
    if (table.handle(instance, &event, static_cast<int>(indices[i]), out[i].data()) <= 0) out[i] = kNoHandle;
  }
}

std::vector<Position> Session::handles() const {
  const int count = handleCount();
  std::vector<Position> out;
  out.reserve(static_cast<std::size_t>(count));
  for (int index = 0; index < count; ++index) out.push_back(handle(index));
  return out;
}

void Session::watchChanges() {
  mesh_.watchWrites();
  viewport_.keepChanges();
  followOverlayPoints(followOverlay_);
}

void Session::followOverlayPoints(bool follow) {
  followOverlay_ = follow;
  if (follow)
    viewport_.followPoints(&mesh_.positions(), &mesh_.changeCount());
  else
    viewport_.followPoints(nullptr, nullptr);
}

std::string Session::panelTitle() const {
  return panel_ != nullptr ? panel_->model().title() : std::string();
}

std::vector<ControlView> Session::panelControls() const {
  return panel_ != nullptr && panel_->exists() ? panel_->model().controls() : std::vector<ControlView>{};
}

bool Session::unsaved() const { return (done_.empty() ? 0 : done_.back().id) != savedId_; }

}  // namespace standin
