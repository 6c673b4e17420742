#include "standin/session/session_runner.h"

#include <filesystem>
#include <iostream>

#include "standin/host/host_error.h"
#include "standin/host/number_text.h"
#include "standin/session/atomic_file.h"
#include "standin/session/output_set.h"
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

// A position as `points` prints it, for reading (the mesh file has it exact).
std::string positionText(const Position &p) {
  return formatReadable(p[0]) + " " + formatReadable(p[1]) + " " + formatReadable(p[2]);
}

}  // namespace

std::string resolveOutputPath(const std::string &folder, const std::string &name) {
  if (folder.empty() || std::filesystem::path(name).is_absolute()) return name;
  return (std::filesystem::path(folder) / name).string();
}

SessionRunner::SessionRunner(const LoadedModule &module, HostGlobals &globals, ObjFile &obj,
                             RunnerHooks hooks)
    : module_(module), globals_(globals), obj_(obj), mesh_(obj.mesh()), hooks_(std::move(hooks)) {
  if (hooks_.font != nullptr) globals_.panels().setFont(hooks_.font);
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
  globals_.panels().setFont(nullptr);
}

// Runs `action`; whatever it did to the tool is collected as the failures of
// the command `text`, also when it throws.
template <typename Action>
void SessionRunner::collecting(const std::string &text, std::size_t line, Action &&action) {
  struct Collect {
    SessionRunner &runner;
    const std::string &text;
    std::size_t line;
    ~Collect() { runner.collectFailures(text, line); }
  } collect{*this, text, line};
  action();
}

std::ostream &SessionRunner::out() const { return hooks_.out != nullptr ? *hooks_.out : std::cout; }
std::ostream &SessionRunner::err() const { return hooks_.err != nullptr ? *hooks_.err : std::cerr; }

std::string SessionRunner::resolveOutput(const std::string &name) const {
  return resolveOutputPath(hooks_.outputFolder, name);
}

void SessionRunner::writeOutput(const std::string &path, std::string contents,
                                const ProgressReport &progress) {
  if (holding_) {
    held_.push_back(HeldOutput{path, std::move(contents), 0, false});
    return;
  }
  writeNow(path, contents, progress);
}

void SessionRunner::writeNow(const std::string &path, const std::string &contents,
                             const ProgressReport &progress) {
  try {
    if (outputSet_ != nullptr) return outputSet_->add(path, path, contents, progress);
    writeFileAtomically(path, contents, progress);
  } catch (const FileWriteError &error) {
    if (error.kind() == FileWriteError::Kind::NotDurable && hooks_.wrote) hooks_.wrote(path);
    throw runErrorFor(error);
  }
  if (hooks_.wrote) hooks_.wrote(path);
}

void SessionRunner::writeAsOneSet(const std::function<void()> &write) {
  if (outputSet_ != nullptr) return write();
  OutputSet set(hooks_.wrote);
  outputSet_ = &set;
  try {
    write();
  } catch (...) {
    outputSet_ = nullptr;
    throw;
  }
  outputSet_ = nullptr;
  try {
    set.commit();
  } catch (const FileWriteError &error) {
    throw runErrorFor(error);
  }
}

void SessionRunner::writeHeldOutputs() {
  holding_ = false;
  writeAsOneSet([this] {
    writePictures();
    std::vector<HeldOutput> held;
    held.swap(held_);
    for (const HeldOutput &output : held) {
      if (output.isPicture)
        writePicture(output.picture);
      else
        writeNow(output.path, output.contents);
    }
  });
}

void SessionRunner::writePictures() {
  writeAsOneSet([this] {
    for (std::size_t i = 0; i < pictures_.size(); ++i)
      if (!pictures_[i].held && !pictures_[i].written) writePicture(i);
  });
}

// Draws a picture in the frame it shares with every picture of its view and
// zoom, and writes it.
void SessionRunner::writePicture(std::size_t index) {
  Picture &picture = pictures_[index];
  if (picture.written) return;
  SvgOptions options = picture.options;
  options.frame = ViewFrame{};
  for (const Picture &other : pictures_)
    if (other.options.view == options.view && other.options.zoom == options.zoom)
      options.frame->include(other.frame);
  picture.written = true;
  writeNow(picture.path, renderSvg(scenePoints(picture), picture.calls, options, edges_));
  // Its frame stays for the pictures drawn after it; its points go.
  picture.selected = {};
  picture.moved = {};
  picture.calls = {};
}

// The points as the picture saw them: where the file has them, but for the
// moved ones, which also leave a ghost there.
std::vector<ScenePoint> SessionRunner::scenePoints(const Picture &picture) const {
  std::vector<ScenePoint> points(picture.selected.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Position p = obj_.filePosition(i);
    points[i] = ScenePoint{p[0], p[1], p[2], picture.selected[i]};
  }
  for (const auto &[index, now] : picture.moved) {
    ScenePoint &point = points[index];
    point.moved = true;
    point.fromX = point.x, point.fromY = point.y, point.fromZ = point.z;
    point.x = now[0], point.y = now[1], point.z = now[2];
  }
  return points;
}

void SessionRunner::pick(std::span<const ScriptCommand> panelEdits) {
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
    panel_ = std::make_unique<ToolPanel>(
        globals_.panels(), id, s->binding().instance,
        [this, s](std::uintptr_t) {
          if (!cyclesHeld_) s->runCycle();
        },
        globals_.tracer());
  }
  {
    const HeldCycles held(cyclesHeld_);
    for (const ScriptCommand &edit : panelEdits) {
      if (globals_.tracer().on()) globals_.tracer()("# " + describeCommand(edit));
      runPanelCommand(edit);
    }
  }
  session_->runCycle();
  readSettings();
}

void SessionRunner::pickWith(std::span<const ScriptCommand> panelEdits) {
  if (globals_.tracer().on()) globals_.tracer()("# pick");
  collecting("pick", 0, [&] { pick(panelEdits); });
}

void SessionRunner::runPanelEdits(std::span<const ScriptCommand> panelEdits) {
  for (std::size_t i = 0; i < panelEdits.size(); ++i) {
    if (i + 1 == panelEdits.size()) {
      run(panelEdits[i]);
    } else {
      const HeldCycles held(cyclesHeld_);
      run(panelEdits[i]);
    }
  }
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

ToolPanel &SessionRunner::panel(const char *what) {
  requireLive(what);
  if (panel_ == nullptr || !panel_->exists()) {
    throw RunError(kExitToolFailed, std::string(what) + ": the tool has no options panel");
  }
  return *panel_;
}

void SessionRunner::readSettings() {
  if (!live() || panel_ == nullptr) return;
  if (auto settings = panel_->read()) settings_ = settings;
}

void SessionRunner::pressAbout(const std::string &pictureFile) {
  if (!pictureFile.empty() && !hooks_.encodePicture) {
    throw RunError(kExitBadInput, "this build of the program cannot write pictures");
  }
  const std::string path = pictureFile.empty() ? std::string() : resolveOutput(pictureFile);
  std::string picture;
  const std::string text =
      panel("About").pressAbout(path, [&](const std::string &, const ThumbnailCanvas &canvas) {
        picture = hooks_.encodePicture(canvas.image());
      });
  if (!path.empty()) writeOutput(path, picture);
  out() << "About panel: " << text << (path.empty() ? "" : " (picture: " + path + ")") << "\n";
}

void SessionRunner::writeSvg(const std::string &file, ViewAxis view, ViewZoom zoom) {
  Picture picture;
  picture.path = resolveOutput(file);
  // Refresh the viewport: the host asks the tool to draw its overlay now.
  recorder_.clear();
  if (live() && session_->table().draw != nullptr) {
    session_->table().draw(session_->binding().instance, recorder_.access());
    globals_.tracer()("draw() for the viewport: " + std::to_string(recorder_.calls().size()) + " calls");
  }
  picture.calls = recorder_.calls();
  picture.selected.resize(mesh_.size());
  for (std::size_t i = 0; i < mesh_.size(); ++i) {
    picture.selected[i] = mesh_.selected(i);
    if (mesh_.position(i) != obj_.filePosition(i)) picture.moved.emplace_back(i, mesh_.position(i));
  }
  if (!edgesRead_) {
    for (const auto &[a, b] : obj_.edges()) edges_.emplace_back(static_cast<int>(a), static_cast<int>(b));
    edgesRead_ = true;
  }
  picture.options.view = view;
  picture.options.zoom = zoom;
  picture.options.title = "Elastic_Pull on " + std::filesystem::path(obj_.name()).filename().string();
  picture.frame = frameOf(scenePoints(picture), picture.calls, picture.options);
  picture.held = holding_;
  pictures_.push_back(std::move(picture));
  if (holding_) held_.push_back(HeldOutput{pictures_.back().path, {}, pictures_.size() - 1, true});
}

void SessionRunner::syncObj() {
  try {
    obj_.syncFromMesh();
  } catch (const ObjError &error) {
    throw RunError(kExitToolFailed,
                   std::string("the tool's result has a NaN or an infinity: ") + error.what());
  }
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

void SessionRunner::selectPairs(const std::string &pairs) {
  try {
    mesh_.selectInOrder(pairPoints(parsePairs(pairs, mesh_.size())));
  } catch (const SelectionError &error) {
    throw RunError(kExitBadInput, error.what());
  }
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
    if (hooks_.interrupt != nullptr && hooks_.interrupt->load()) return;
    try {
      run(command);
    } catch (const RunError &error) {
      throw RunError(error.exitCode(),
                     script.name + ":" + std::to_string(command.line) + ": " + error.what());
    }
  }
}

void SessionRunner::pressAt(const ScriptCommand &c, bool thenRelease) {
  const char *what = thenRelease ? "click" : "press";
  ToolSession &s = requireLive(what);
  const bool atPoint = thenRelease || c.atPoint;
  const Position where = atPoint ? mesh_.position(meshIndex(c.point, what)) : c.position;
  s.press(where, c.ctrl, c.right);
  if (thenRelease) s.release();
}

// Making the text and writing it each make half of the progress shown.
void SessionRunner::writeMesh(const std::string &path, const std::string &shown) {
  syncObj();
  const std::uint64_t size = obj_.textSize();
  ProgressDisplay *display = holding_ ? nullptr : hooks_.progress;
  withProgress(display, "Writing " + shown, 2 * size, [&](const ProgressReport &report) {
    std::string text = obj_.text(report);
    writeOutput(path, std::move(text), [&](std::uint64_t done, std::uint64_t) { report(size + done, 2 * size); });
  });
  if (const std::size_t stale = obj_.facesWithStaleNormals(); stale > 0) {
    err() << "warning: " << shown << ": " << stale << (stale == 1 ? " face" : " faces")
          << " with normals (vn) " << (stale == 1 ? "uses" : "use")
          << " moved points; the normals are kept as they were, not recomputed\n";
  }
}

void SessionRunner::save(const std::string &file) { writeMesh(resolveOutput(file), file); }

// The options panel's commands; each is refused while the tool is not picked.
void SessionRunner::runPanelCommand(const ScriptCommand &c) {
  switch (c.op) {
    case ScriptOp::Mode:
      panel("the mode").setMode(c.code);
      break;
    case ScriptOp::Factor:
      panel("Factor").setFactor(c.value);
      break;
    case ScriptOp::Offset:
      panel("Offset").setOffset(c.value);
      break;
    case ScriptOp::Symmetry:
      panel("Symmetry").setSymmetry(c.code != 0);
      break;
    case ScriptOp::Invert:
      panel("Invert Handle").pressInvertHandle();
      break;
    case ScriptOp::Panel: {
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

void SessionRunner::run(const ScriptCommand &c) {
  const std::string text = describeCommand(c);
  if (globals_.tracer().on())
    globals_.tracer()("# " + (c.line > 0 ? "line " + std::to_string(c.line) + ": " : "") + text);
  collecting(text, c.line, [&] { runCommand(c); });
}

void SessionRunner::runCommand(const ScriptCommand &c) {
  switch (c.op) {
    case ScriptOp::Pick:
      return pick();
    case ScriptOp::Press:
      return pressAt(c, false);
    case ScriptOp::Drag: {
      ToolSession &s = requireLive("drag");
      if (!s.heldHandle()) throw RunError(kExitBadInput, "drag: the mouse button is not held (press first)");
      return s.drag(c.position, c.ctrl);
    }
    case ScriptOp::Release:
      return requireLive("release").release();
    case ScriptOp::Click:
      return pressAt(c, true);
    case ScriptOp::Event:
      requireLive("event").hostEvent(c.code);
      return readSettings();
    case ScriptOp::About:
      return pressAbout(c.text);
    case ScriptOp::Svg:
      return writeSvg(c.text, c.view, c.zoom);
    case ScriptOp::Points:
      return printPoints(c.text);
    case ScriptOp::Select:
      return select(c.text);
    case ScriptOp::Pairs:
      return selectPairs(c.text);
    case ScriptOp::Save:
      return save(c.text);
    case ScriptOp::Echo:
      out() << c.text << "\n";
      return;
    case ScriptOp::Close:
      requireLive("close");
      return close();
    default:
      return runPanelCommand(c);
  }
}

}  // namespace standin
