#include "standin/session_runner.h"

#include <filesystem>
#include <iostream>

#include "standin/host_error.h"
#include "standin/selection.h"

namespace standin {
namespace {

// The tool's options panel controls, as its panel callback describes them.
constexpr std::uintptr_t kModeControl = 0x8002;
constexpr std::uintptr_t kFactorControl = 0x8003;
constexpr std::uintptr_t kOffsetControl = 0x8004;
constexpr std::uintptr_t kSymmetryControl = 0x8005;
constexpr std::uintptr_t kInvertHandleButton = 0x8006;
constexpr std::uintptr_t kAboutButton = 0x8007;

std::string number(double value) { return ObjFile::formatNumber(value); }

std::string positionText(const Position &p) { return number(p[0]) + " " + number(p[1]) + " " + number(p[2]); }

}  // namespace

SessionRunner::SessionRunner(const LoadedModule &module, HostGlobals &globals, ObjFile &obj, Mesh &mesh,
                             RunnerHooks hooks)
    : module_(module), globals_(globals), obj_(obj), mesh_(mesh), hooks_(std::move(hooks)) {
  globals_.setPanelFuncs(panelService_.funcs());
  if (hooks_.font != nullptr) panelService_.setFont(hooks_.font);
  boxesSeen_ = globals_.messages().boxes().size();
}

SessionRunner::~SessionRunner() {
  try {
    close();
  } catch (...) {
    // A destructor lets nothing escape; close only calls the tool.
  }
  panel_.reset();
  session_.reset();
  globals_.setPanelFuncs(nullptr);
}

std::ostream &SessionRunner::out() const { return hooks_.out != nullptr ? *hooks_.out : std::cout; }
std::ostream &SessionRunner::err() const { return hooks_.err != nullptr ? *hooks_.err : std::cerr; }

std::string SessionRunner::resolveOutput(const std::string &name) const {
  if (hooks_.outputFolder.empty() || std::filesystem::path(name).is_absolute()) return name;
  return (std::filesystem::path(hooks_.outputFolder) / name).string();
}

void SessionRunner::pick() {
  close();
  panel_.reset();
  session_.reset();
  auto session = std::make_unique<ToolSession>(module_, globals_, mesh_);
  try {
    session->activateOrThrow();
  } catch (const HostError &error) {
    throw RunError(kExitNoModule, error.what());
  }
  session_ = std::move(session);
  buildsSeen_ = 0;
  warnIfOddSelection();
  // A modeler builds the tool's options panel when the tool is picked.
  if (LWXPanelID id = session_->requestPanel(); id != nullptr) {
    ToolSession *s = session_.get();
    panel_ = std::make_unique<PanelModel>(panelService_, id, s->binding().instance,
                                          [s](std::uintptr_t) { s->runCycle(); });
  }
  session_->runCycle();
  readSettings();
}

void SessionRunner::close() {
  if (!live()) return;
  readSettings();
  session_->close();
  builds_ += session_->edits().builds().size() - buildsSeen_;
  buildsSeen_ = session_->edits().builds().size();
  panel_.reset();
}

ToolSession &SessionRunner::requireLive(const char *what) {
  if (!live()) {
    throw RunError(kExitBadInput, std::string(what) + ": the tool is not picked" +
                                      (session_ != nullptr ? " (it was closed; 'pick' picks it again)" : ""));
  }
  return *session_;
}

PanelModel &SessionRunner::requirePanel(const char *what) {
  requireLive(what);
  if (panel_ == nullptr || !panel_->exists()) {
    throw RunError(kExitToolFailed, std::string(what) + ": the tool has no options panel");
  }
  return *panel_;
}

void SessionRunner::readSettings() {
  if (!live() || panel_ == nullptr || !panel_->exists()) return;
  ToolSettings s;
  if (auto v = panel_->control(kModeControl); v && v->hasValue) s.mode = v->intValue;
  if (auto v = panel_->control(kFactorControl); v && v->hasValue) s.factor = v->doubleValue;
  if (auto v = panel_->control(kOffsetControl); v && v->hasValue) s.offset = v->doubleValue;
  if (auto v = panel_->control(kSymmetryControl); v && v->hasValue) s.symmetry = v->intValue;
  settings_ = s;
}

void SessionRunner::editPanel(std::uintptr_t id, const std::string &label,
                              const std::function<EditResult(PanelModel &)> &edit, const std::string &shown) {
  PanelModel &panel = requirePanel(label.c_str());
  const EditResult result = edit(panel);
  if (globals_.tracer().on()) {
    globals_.tracer()("panel " + label + " = " + shown + " -> set() " +
                      std::to_string(panel.lastSetResult()) + " (" + describe(result) + ")");
  }
  if (result == EditResult::Done) {
    readSettings();
    return;
  }
  std::string why = describe(result);
  if (auto view = panel.control(id); view && !view->enabled) {
    if (view->disabledMessage) {
      why += " (\"" + *view->disabledMessage + "\")";
    } else if (id == kFactorControl) {
      why += " (Factor is used in Factor mode: 'mode factor' first)";
    } else if (id == kOffsetControl) {
      why += " (Offset is used in Offset mode: 'mode offset' first)";
    }
  }
  throw RunError(kExitBadInput, "cannot set " + label + " to " + shown + ": " + why);
}

void SessionRunner::setMode(int mode) {
  editPanel(
      kModeControl, "the mode", [&](PanelModel &p) { return p.edit(kModeControl, mode); },
      mode == 0 ? "Factor" : "Offset");
}

void SessionRunner::setFactor(double factor) {
  editPanel(
      kFactorControl, "Factor", [&](PanelModel &p) { return p.edit(kFactorControl, factor); },
      number(factor));
}

void SessionRunner::setOffset(double offset) {
  editPanel(
      kOffsetControl, "Offset", [&](PanelModel &p) { return p.edit(kOffsetControl, offset); },
      number(offset));
}

void SessionRunner::setSymmetry(bool on) {
  editPanel(
      kSymmetryControl, "Symmetry", [&](PanelModel &p) { return p.edit(kSymmetryControl, on ? 1 : 0); },
      on ? "on" : "off");
}

void SessionRunner::pressInvertHandle() {
  editPanel(
      kInvertHandleButton, "Invert Handle", [](PanelModel &p) { return p.press(kInvertHandleButton); },
      "pressed");
}

void SessionRunner::pressAbout(const std::string &pictureFile) {
  if (!pictureFile.empty() && !hooks_.saveAboutPicture) {
    throw RunError(kExitBadInput, "this build of the program cannot write pictures");
  }
  const std::string path = pictureFile.empty() ? std::string() : resolveOutput(pictureFile);
  std::vector<std::string> lines;
  bool painted = false;
  std::optional<RunError> saveError;
  panelService_.setThumbnailSink([&](const PanelRecord &, std::uintptr_t, const ThumbnailCanvas &canvas) {
    painted = true;
    for (const CanvasCall &call : canvas.calls()) {
      if (call.op == CanvasOp::Text) lines.push_back(call.text);
    }
    if (path.empty()) return;
    try {
      hooks_.saveAboutPicture(path, canvas);
    } catch (const RunError &error) {
      saveError = error;
    }
  });
  try {
    editPanel(
        kAboutButton, "About", [](PanelModel &p) { return p.press(kAboutButton); }, "pressed");
  } catch (...) {
    panelService_.setThumbnailSink({});
    throw;
  }
  panelService_.setThumbnailSink({});
  if (saveError) throw *saveError;
  if (!painted) throw RunError(kExitToolFailed, "About: no picture was painted");
  std::string text;
  for (const std::string &line : lines) text += (text.empty() ? "" : " / ") + line;
  out() << "About panel: " << text << (path.empty() ? "" : " (picture: " + path + ")") << "\n";
}

void SessionRunner::writeSvg(const std::string &file, ViewAxis view) {
  const std::string path = resolveOutput(file);
  // Refresh the viewport: the host asks the tool to draw its overlay now.
  recorder_.clear();
  if (live() && session_->table().draw != nullptr) {
    session_->table().draw(session_->binding().instance, recorder_.access());
    globals_.tracer()("draw() for the viewport: " + std::to_string(recorder_.calls().size()) + " calls");
  }
  std::vector<ScenePoint> points;
  points.reserve(mesh_.size());
  for (std::size_t i = 0; i < mesh_.size(); ++i) {
    const Position &p = mesh_.position(i);
    points.push_back(ScenePoint{p[0], p[1], p[2], mesh_.selected(i)});
  }
  std::vector<std::pair<int, int>> edges;
  for (const auto &[a, b] : obj_.edges()) edges.emplace_back(static_cast<int>(a), static_cast<int>(b));
  SvgOptions options;
  options.view = view;
  options.title = "Elastic_Pull on " + std::filesystem::path(obj_.name()).filename().string();
  try {
    writeFileAtomically(path, renderSvg(points, recorder_.calls(), options, edges));
  } catch (const ObjError &error) {
    throw RunError(kExitCannotWrite, error.what());
  }
}

void SessionRunner::syncObj() {
  for (std::size_t i = 0; i < mesh_.size(); ++i) obj_.setPosition(i, mesh_.position(i));
}

std::size_t SessionRunner::meshIndex(std::size_t point, const char *what) const {
  if (point >= mesh_.size()) {
    throw RunError(kExitBadInput, std::string(what) + ": point " + std::to_string(point) +
                                      " is out of range: the mesh has " + std::to_string(mesh_.size()) +
                                      " points");
  }
  return point;
}

void SessionRunner::printPoints(const std::string &selection) {
  std::vector<std::size_t> indices;
  if (selection.empty()) {
    for (std::size_t i = 0; i < mesh_.size(); ++i)
      if (mesh_.selected(i)) indices.push_back(i);
  } else {
    try {
      indices = parseSelection(selection, mesh_.size());
    } catch (const SelectionError &error) {
      throw RunError(kExitBadInput, error.what());
    }
  }
  for (std::size_t i : indices) out() << "point " << i << ": " << positionText(mesh_.position(i)) << "\n";
}

void SessionRunner::select(const std::string &selection) {
  try {
    const std::vector<std::size_t> indices = parseSelection(selection, mesh_.size());
    mesh_.selectOnly(indices);
  } catch (const SelectionError &error) {
    throw RunError(kExitBadInput, error.what());
  }
  warnIfOddSelection();
}

void SessionRunner::warnIfOddSelection() {
  const std::size_t count = mesh_.selectedCount();
  if (count < 3 || count % 2 == 0) return;
  std::size_t last = mesh_.size();
  while (last > 0 && !mesh_.selected(last - 1)) --last;
  err() << "warning: " << count << " points are selected; the tool pairs them in mesh order and leaves the "
        << "last one (point " << (last - 1) << ") where it is\n";
}

void SessionRunner::collectFailures(const std::string &command, std::size_t line) {
  const auto &boxes = globals_.messages().boxes();
  std::string shown;
  for (std::size_t i = boxesSeen_; i < boxes.size(); ++i) {
    if (boxes[i].kind == MessageKind::Info) continue;
    const std::string what =
        std::string(messageKindName(boxes[i].kind)) + " \"" + boxes[i].title + "\": " + boxes[i].text;
    failures_.push_back(ToolFailure{command, line, what});
  }
  boxesSeen_ = boxes.size();
  if (session_ == nullptr) return;
  const auto &builds = session_->edits().builds();
  for (std::size_t i = buildsSeen_; i < builds.size(); ++i) {
    if (builds[i].errorText) {
      failures_.push_back(
          ToolFailure{command, line, "the build failed: the tool answered \"" + builds[i].text + "\""});
    }
  }
  builds_ += builds.size() - buildsSeen_;
  buildsSeen_ = builds.size();
}

void SessionRunner::runScript(const Script &script) {
  for (const ScriptCommand &command : script.commands) {
    try {
      run(command);
    } catch (const RunError &error) {
      throw RunError(error.exitCode(),
                     script.name + ":" + std::to_string(command.line) + ": " + error.what());
    }
  }
}

void SessionRunner::run(const ScriptCommand &c) {
  const std::string text = describeCommand(c);
  if (globals_.tracer().on())
    globals_.tracer()("# " + (c.line > 0 ? "line " + std::to_string(c.line) + ": " : "") + text);
  struct Collect {
    SessionRunner &runner;
    const std::string &text;
    std::size_t line;
    ~Collect() { runner.collectFailures(text, line); }
  } collect{*this, text, c.line};

  switch (c.op) {
    case ScriptOp::Pick:
      pick();
      break;
    case ScriptOp::Press: {
      ToolSession &s = requireLive("press");
      const Position where = c.atPoint ? mesh_.position(meshIndex(c.point, "press")) : c.position;
      s.press(where, c.ctrl, c.right);
      break;
    }
    case ScriptOp::Drag: {
      ToolSession &s = requireLive("drag");
      if (!s.heldHandle()) throw RunError(kExitBadInput, "drag: the mouse button is not held (press first)");
      s.drag(c.position, c.ctrl);
      break;
    }
    case ScriptOp::Release:
      requireLive("release").release();
      break;
    case ScriptOp::Click: {
      ToolSession &s = requireLive("click");
      const Position where = mesh_.position(meshIndex(c.point, "click"));
      s.press(where, c.ctrl, c.right);
      s.release();
      break;
    }
    case ScriptOp::Event:
      requireLive("event").hostEvent(c.code);
      readSettings();
      break;
    case ScriptOp::Mode:
      setMode(c.code);
      break;
    case ScriptOp::Factor:
      setFactor(c.value);
      break;
    case ScriptOp::Offset:
      setOffset(c.value);
      break;
    case ScriptOp::Symmetry:
      setSymmetry(c.code != 0);
      break;
    case ScriptOp::Invert:
      pressInvertHandle();
      break;
    case ScriptOp::About:
      pressAbout(c.text);
      break;
    case ScriptOp::Panel:
      out() << requirePanel("panel").render();
      break;
    case ScriptOp::Svg:
      writeSvg(c.text, c.view);
      break;
    case ScriptOp::Points:
      printPoints(c.text);
      break;
    case ScriptOp::Select:
      select(c.text);
      break;
    case ScriptOp::Save: {
      syncObj();
      try {
        obj_.write(resolveOutput(c.text));
      } catch (const ObjError &error) {
        throw RunError(kExitCannotWrite, error.what());
      }
      break;
    }
    case ScriptOp::Echo:
      out() << c.text << "\n";
      break;
    case ScriptOp::Close:
      requireLive("close");
      close();
      break;
  }
}

}  // namespace standin
