#include "standin/server/playground.h"

#include <cmath>
#include <limits>

#include "standin/host/number_text.h"
#include "standin/session/script.h"
#include "standin/session/selection.h"
#include "standin/session/tool_panel.h"

namespace standin {
namespace {

ScriptCommand mouseCommand(ScriptOp op, const Position &at, bool ctrl, bool right) {
  ScriptCommand c;
  c.op = op;
  c.position = at;
  c.ctrl = ctrl;
  c.right = right;
  return c;
}

ScriptCommand eventCommand(int code) {
  ScriptCommand c;
  c.op = ScriptOp::Event;
  c.code = code;
  return c;
}

}  // namespace

Playground::Playground(const LoadedModule &module, HostGlobals &globals, ObjFile file,
                       PlaygroundConfig config)
    : module_(module), globals_(globals), file_(std::move(file)), config_(std::move(config)) {
  edges_ = file_.edges();
  for (const auto &p : file_.positions()) mesh_.addPoint(p);
  if (config_.pairs.empty()) {
    mesh_.selectOnly(config_.selection);
    log("select " + formatSelection(config_.selection));
  } else {
    config_.selection = pairPoints(config_.pairs);
    mesh_.selectInOrder(config_.selection);
    log("pairs " + formatPairs(config_.pairs));
  }
  boxesSeen_ = globals_.messages().boxes().size();
  pick();
}

Playground::~Playground() {
  panel_.reset();
  session_.reset();  // closes the tool: end, then done
}

void Playground::pick() {
  panel_.reset();
  session_.reset();
  session_ = std::make_unique<ToolSession>(module_, globals_, mesh_);
  session_->setWireDraw(viewport_.access());
  session_->setBeforeDraw([this] {
    viewport_.clear();
    ++draws_;
  });
  session_->activateOrThrow();
  // A modeler builds the tool's options panel when the tool is picked.
  if (LWXPanelID id = session_->requestPanel(); id != nullptr) {
    ToolSession *s = session_.get();
    panel_ = std::make_unique<PanelModel>(globals_.panels(), id, s->binding().instance,
                                          [s](std::uintptr_t) { s->runCycle(); });
  }
  beginAction();
  session_->runCycle();
  log("pick");
  refreshViewport();
}

void Playground::refreshViewport() {
  if (draws_ != drawsBefore_) return;  // the cycle drew: the recorder holds that draw
  viewport_.clear();
  const LWToolFuncs &table = session_->table();
  if (session_->live() && table.draw != nullptr) table.draw(session_->binding().instance, viewport_.access());
}

bool Playground::pickMayDiffer(const Position &at, double pickRadius) const {
  for (const Position &h : handles()) {
    const double d = std::sqrt((h[0] - at[0]) * (h[0] - at[0]) + (h[1] - at[1]) * (h[1] - at[1]) +
                               (h[2] - at[2]) * (h[2] - at[2]));
    if ((d <= pickRadius) != (d <= kDefaultPickRadius)) return true;
  }
  return false;
}

void Playground::press(const Position &at, bool ctrl, bool right, double pickRadius) {
  beginAction();
  // The command line picks with the stand-in host's usual radius; say so where
  // that would grab another handle than this press did.
  if (!right && pickRadius != kDefaultPickRadius && pickMayDiffer(at, pickRadius)) {
    log("# picked with radius " + formatNumber(pickRadius) + "; with " + formatNumber(kDefaultPickRadius) +
        " the command line may grab another handle here");
  }
  const double usual = session_->pickRadius();
  session_->setPickRadius(pickRadius);
  session_->press(at, ctrl, right);
  session_->setPickRadius(usual);
  log(describeCommand(mouseCommand(ScriptOp::Press, at, ctrl, right)));
  unsaved_ = true;
  refreshViewport();
}

bool Playground::drag(const Position &at, bool ctrl) {
  if (!session_->heldHandle()) return false;
  beginAction();
  session_->drag(at, ctrl);
  log(describeCommand(mouseCommand(ScriptOp::Drag, at, ctrl, false)));
  refreshViewport();
  return true;
}

void Playground::release() {
  beginAction();
  session_->release();
  log("release");
  refreshViewport();
}

void Playground::keep(const Position &at) {
  // Pressed with the right button, down answers 1: no handle is picked.
  press(at, false, true, 0.0);
  release();
}

void Playground::hostEvent(int code) {
  beginAction();
  session_->hostEvent(code);
  log(describeCommand(eventCommand(code)));
  unsaved_ = true;
  refreshViewport();
}

void Playground::logControl(std::uintptr_t id, double value) {
  ScriptCommand c;
  c.value = value;
  c.code = value != 0.0 ? 1 : 0;
  switch (id) {
    case kModeControl:
      c.op = ScriptOp::Mode;
      break;
    case kFactorControl:
      c.op = ScriptOp::Factor;
      break;
    case kOffsetControl:
      c.op = ScriptOp::Offset;
      break;
    case kSymmetryControl:
      c.op = ScriptOp::Symmetry;
      break;
    case kInvertHandleButton:
      c.op = ScriptOp::Invert;
      break;
    case kAboutButton:
      c.op = ScriptOp::About;
      break;
    default:
      return log("# control " + std::to_string(id) + " = " + formatNumber(value) + " (no script command)");
  }
  log(describeCommand(c));
}

EditResult Playground::editControl(std::uintptr_t id, double value) {
  if (panel_ == nullptr) return EditResult::NoPanel;
  beginAction();
  const EditResult result = panel_->edit(id, value);
  if (result != EditResult::Done) return result;
  logControl(id, value);
  unsaved_ = true;
  refreshViewport();
  return result;
}

EditResult Playground::pressButton(std::uintptr_t id) {
  if (panel_ == nullptr) return EditResult::NoPanel;
  AboutPicture picture;
  bool painted = false;
  globals_.panels().setThumbnailSink([&](const PanelRecord &, std::uintptr_t, const ThumbnailCanvas &canvas) {
    painted = true;
    picture.image = canvas.image();
    for (const CanvasCall &call : canvas.calls())
      if (call.op == CanvasOp::Text) picture.texts.push_back(call.text);
  });
  EditResult result = EditResult::NoPanel;
  beginAction();
  try {
    result = panel_->press(id);
  } catch (...) {
    globals_.panels().setThumbnailSink({});
    throw;
  }
  globals_.panels().setThumbnailSink({});
  if (result != EditResult::Done) return result;
  if (painted) {
    picture.serial = about_ ? about_->serial + 1 : 1;
    about_ = std::move(picture);
  }
  logControl(id, 0.0);
  refreshViewport();
  return result;
}

void Playground::undoToFile() {
  panel_.reset();
  session_.reset();
  for (std::size_t i = 0; i < mesh_.size(); ++i) mesh_.setPosition(i, file_.position(i));
  log("# undo: every point back where the file has it, and the tool picked again (no script command)");
  pick();
  unsaved_ = false;
}

std::string Playground::objText() const {
  ObjFile out = file_;
  for (std::size_t i = 0; i < mesh_.size(); ++i) out.setPosition(i, mesh_.position(i));
  return out.text();
}

std::string Playground::save() {
  if (config_.outputPath.empty()) {
    throw Failure(FailureKind::Refused, "there is no output file: start the server with -o OUT.obj to save");
  }
  // A fresh copy of the file as read, so every save writes what the command
  // line would write for the same actions.
  ObjFile out = file_;
  for (std::size_t i = 0; i < mesh_.size(); ++i) out.setPosition(i, mesh_.position(i));
  out.write(config_.outputPath);
  log("# saved to " + config_.outputPath);
  unsaved_ = false;
  return config_.outputPath;
}

std::vector<Position> Playground::handles() const {
  std::vector<Position> out;
  const LWToolFuncs &table = session_->table();
  void *instance = session_->binding().instance;
  if (!session_->live() || table.count == nullptr || table.handle == nullptr) return out;
  LWToolEvent event{};
  const int count = table.count(instance, &event);
  out.reserve(static_cast<std::size_t>(std::max(count, 0)));
  for (int index = 0; index < count; ++index) {
    constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();
    LWDVector where = {kUnset, kUnset, kUnset};
    const int priority = table.handle(instance, &event, index, where);
    out.push_back(priority > 0 ? Position{where[0], where[1], where[2]} : Position{kUnset, kUnset, kUnset});
  }
  return out;
}

std::string Playground::panelTitle() const { return panel_ != nullptr ? panel_->title() : std::string(); }

std::vector<ControlView> Playground::panelControls() const {
  return panel_ != nullptr ? panel_->controls() : std::vector<ControlView>{};
}

std::vector<MessageBox> Playground::takeMessages() {
  const auto &boxes = globals_.messages().boxes();
  std::vector<MessageBox> fresh(
      boxes.begin() + static_cast<std::ptrdiff_t>(std::min(boxesSeen_, boxes.size())), boxes.end());
  boxesSeen_ = boxes.size();
  return fresh;
}

std::string Playground::script() const {
  std::string text =
      "# The playground's session as a script for elasticpull-host MESH --script FILE -o OUT\n";
  for (const std::string &line : script_) text += line + "\n";
  return text;
}

}  // namespace standin
