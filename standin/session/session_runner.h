// Runs what a user does with the tool in a modeler, one script command at a
// time, on a mesh read from an OBJ file: picking the tool, the mouse, the
// host's events, the options panel and its buttons, and looking at the
// result (the panel as text, the viewport as SVG, point positions).
//
// Picking the tool activates the module's MeshEditTool server in a new
// ToolSession, builds its options panel (as a modeler does when a tool is
// picked) and runs one host cycle, so the first build happens at once. Panel
// edits given to pickWith() are made before that build, so that one build
// gives what a build after each edit would.
//
// Output files (save, about FILE) are written whole through
// writeFileAtomically as their command runs, and each is reported to
// RunnerHooks::wrote; while outputs are held they are kept in memory instead,
// until writeHeldOutputs(). Pictures (svg) are a series: see writeSvg().
// Outputs written together (the pictures, the held outputs, or whatever runs
// inside writeAsOneSet) are put in place all together or not at all.
//
// Failures of the tool are collected, not thrown: a build that answers an
// error text and every error or warning box the tool shows are recorded with
// the command that caused them (failures()). Mistakes of the user or the
// environment (a point index past the mesh, a disabled panel control, a file
// that cannot be written) throw RunError with an exit code.
//
// The mesh the tool edits is the OBJ file's own (ObjFile::mesh()).
//
// Lifetimes: the LoadedModule, HostGlobals and ObjFile must outlive the
// runner.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "standin/host/host_globals.h"
#include "standin/host/mesh.h"
#include "standin/host/module_loader.h"
#include "standin/host/progress_display.h"
#include "standin/host/tool_session.h"
#include "standin/host/wire_recorder.h"
#include "standin/pictures/svg_view.h"
#include "standin/session/obj_file.h"
#include "standin/session/run_error.h"
#include "standin/session/script.h"
#include "standin/session/tool_panel.h"

namespace standin {

class OutputSet;

struct RunnerHooks {
  std::ostream *out = nullptr;  // panel text, points, echo, notes; null: std::cout
  std::ostream *err = nullptr;  // warnings of the host itself; null: std::cerr
  // Where the writing of a mesh file shows its progress; null: nowhere.
  ProgressDisplay *progress = nullptr;
  // Relative output file names (svg, save, about) are taken relative to this
  // folder; empty: as given (relative to the working directory).
  std::string outputFolder;
  // The About panel's picture as a file's bytes (PNG); throws RunError when
  // it cannot. Null: `about FILE` is refused.
  std::function<std::string(const RgbImage &picture)> encodePicture;
  // Told the path of every output file once it is written.
  std::function<void(const std::string &path)> wrote;
  // When set (by a signal handler), a script stops before its next command.
  const std::atomic<bool> *interrupt = nullptr;
  const CanvasFont *font = nullptr;  // for the About panel's text; null: FixedMetricFont
};

// Where an output named `name` goes: relative to `folder` unless it is
// absolute or `folder` is empty.
std::string resolveOutputPath(const std::string &folder, const std::string &name);

struct ToolFailure {
  std::string command;   // what was being done, e.g. "factor 1.5" or "pick"
  std::size_t line = 0;  // script line, 0 outside a script
  std::string what;      // the box or the build's answer
};

class SessionRunner {
 public:
  SessionRunner(const LoadedModule &module, HostGlobals &globals, ObjFile &obj, RunnerHooks hooks);
  ~SessionRunner();
  SessionRunner(const SessionRunner &) = delete;
  SessionRunner &operator=(const SessionRunner &) = delete;

  // One command; `command.line` names the script line in failures. Throws
  // RunError (message without the script's name and line).
  void run(const ScriptCommand &command);
  // Every command in order, stopping early at an interrupt; a RunError gets
  // "NAME:LINE: " in front.
  void runScript(const Script &script);

  // The commands without a script.
  void pick(std::span<const ScriptCommand> panelEdits = {});
  // As the command `pick`, with the given panel commands (mode, factor,
  // offset, symmetry) made before the first build; its failures are the
  // pick's.
  void pickWith(std::span<const ScriptCommand> panelEdits);
  // Runs panel commands one after the other (as run() does), the host cycle
  // only after the last, so that they make one build.
  void runPanelEdits(std::span<const ScriptCommand> panelEdits);
  void close();
  bool live() const { return session_ != nullptr && session_->live(); }

  // The tool's options panel; RunError when the tool is not picked or has
  // no panel. `what` names the action in the message.
  ToolPanel &panel(const char *what);
  // Presses About; writes the thumbnail to `pictureFile` unless it is empty.
  void pressAbout(const std::string &pictureFile);

  // Takes a picture of the viewport (the mesh, the selection labelled with
  // mesh indices, where moved points were in the file, the tool's overlay)
  // for `file`. The pictures of one run form a series that is compared step
  // by step, so all of one view and zoom are drawn in one frame: the union
  // of what each of them shows (every point now and in the file, or with
  // ViewZoom::Selection the selected ones). That union is known only once
  // the last picture is taken: fitting the first picture with a margin for
  // the stretches to come cannot know how far a later drag or Factor goes,
  // and would cut it off or waste the picture. So a picture is kept (the
  // selection, the points that are not where the file has them, and the
  // overlay's calls) and drawn and written by writePictures() or, when it
  // was taken while outputs are held, by writeHeldOutputs(), with the frame
  // of all pictures taken by then.
  void writeSvg(const std::string &file, ViewAxis view, ViewZoom zoom = ViewZoom::Mesh);
  // Draws and writes the pictures taken so far that are not held, in the
  // order they were taken (the run's end, also when it stops at a failure),
  // as one set.
  void writePictures();

  // Takes the points the tool moved into the OBJ file (ObjFile::syncFromMesh).
  // Throws RunError(kExitToolFailed) naming a point the tool moved to a NaN or
  // an infinity: such a mesh is never written.
  void syncObj();

  // Writes an output file (its path as given, not resolved) and tells
  // hooks.wrote; throws RunError(kExitCannotWrite) when it cannot. While
  // outputs are held, keeps it for writeHeldOutputs() instead.
  void writeOutput(const std::string &path, std::string contents, const ProgressReport &progress = {});
  // Writes the mesh as it stands (syncObj, then writeOutput) and warns, with
  // `shown` naming the file, when faces with normals use moved points. A
  // large file shows its progress (RunnerHooks::progress) unless held.
  void writeMesh(const std::string &path, const std::string &shown);
  void holdOutputs() { holding_ = true; }
  // Writes the pictures not held, then the held outputs in the order they
  // were made, as one set, and holds no more.
  void writeHeldOutputs();
  // Runs `write`, with every output it writes staged in one OutputSet, then
  // puts them in place all together or not at all (output_set.h); a nested
  // call adds to the outer set. Throws RunError: kExitCannotWrite, or
  // kExitInterrupted when the interrupt flag stopped it.
  void writeAsOneSet(const std::function<void()> &write);

  // Warns (to hooks.err) when an odd number of points, three or more, is
  // selected: the tool leaves the last one out. Picking the tool does this.
  void warnIfOddSelection();

  const std::vector<ToolFailure> &failures() const { return failures_; }
  std::optional<ToolSettings> settings() const { return settings_; }
  std::size_t builds() const { return builds_; }
  std::string resolveOutput(const std::string &name) const;

 private:
  std::ostream &out() const;
  std::ostream &err() const;
  ToolSession &requireLive(const char *what);
  void runCommand(const ScriptCommand &command);
  void runPanelCommand(const ScriptCommand &command);
  template <typename Action>
  void collecting(const std::string &text, std::size_t line, Action &&action);
  void readSettings();
  void collectFailures(const std::string &command, std::size_t line);
  std::size_t meshIndex(std::size_t point, const char *what) const;
  void pressAt(const ScriptCommand &command, bool thenRelease);
  void printPoints(const std::string &selection);
  void select(const std::string &selection);
  void selectPairs(const std::string &pairs);
  void save(const std::string &file);
  void writeNow(const std::string &path, const std::string &contents, const ProgressReport &progress = {});
  void writePicture(std::size_t index);

  struct Picture {
    std::string path;
    std::vector<bool> selected;                           // per point
    std::vector<std::pair<std::size_t, Position>> moved;  // points not where the file has them
    std::vector<WireCall> calls;
    SvgOptions options;
    ViewFrame frame;  // what this picture alone shows
    bool held = false;
    bool written = false;
  };
  std::vector<ScenePoint> scenePoints(const Picture &picture) const;
  struct HeldOutput {
    std::string path;
    std::string contents;
    std::size_t picture = 0;  // with isPicture: the index in pictures_
    bool isPicture = false;
  };

  const LoadedModule &module_;
  HostGlobals &globals_;
  ObjFile &obj_;
  Mesh &mesh_;
  RunnerHooks hooks_;
  WireRecorder recorder_;
  std::unique_ptr<ToolSession> session_;
  std::unique_ptr<ToolPanel> panel_;
  std::optional<ToolSettings> settings_;
  std::vector<ToolFailure> failures_;
  bool holding_ = false;
  OutputSet *outputSet_ = nullptr;  // of writeAsOneSet, while it runs
  bool cyclesHeld_ = false;         // panel edits run no host cycle
  std::vector<HeldOutput> held_;
  std::vector<Picture> pictures_;
  std::vector<std::pair<int, int>> edges_;  // the file's, read for the first picture
  bool edgesRead_ = false;
  std::size_t boxesSeen_ = 0;
  std::size_t buildsSeen_ = 0;  // of the current session
  std::size_t builds_ = 0;      // over all sessions
};

}  // namespace standin
