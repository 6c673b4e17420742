// One editing session: a mesh from an OBJ file, the tool on it, its options
// panel, the outputs and the history, driven by commands (command.h). The
// command line, scripts and the playground's page all run their actions
// through run(); nothing else drives the tool.
//
// Picking the tool activates the module's MeshEditTool server in a new
// ToolSession, builds its options panel (as a modeler does when a tool is
// picked) and runs one host cycle, so the first build happens at once; the
// panel values a pick command carries are set before that build.
//
// What a command raised comes back in its answer: the boxes the tool showed
// and the texts of builds that failed (also kept, with the command's line, in
// failures()), and the About panel's picture when About was pressed. The log
// (log()) is every command that ran, as a script, with what the tool showed
// as comments; replayed by the command line it gives the same mesh.
//
// History: each command that changes the session (changesSession) is a step;
// a press, its drags and its release make one step. A step keeps the
// positions its points had before it (in proportion to what moved) and, for
// a selection, the one before. The module's own state (its settings, each
// pair's ends, the edit's base) can only be reached through the host
// interface, so undo rebuilds it: the mesh and selection are put back to the
// start of the tool's last pick (or the last point with the tool closed),
// the tool is picked there afresh and the steps since are run again, quietly.
// Redo runs the step again. Both are exact because the tool is deterministic.
//
// Output files (save, about FILE, svg) are written whole, each through a
// staged file renamed over its target (output_set.h), as their command runs,
// and reported to SessionSetup::wrote; while outputs are held they are kept in
// memory until writeHeldOutputs(). The outputs written together (the pictures,
// the held outputs, whatever runs inside writeAsOneSet) are put in place all
// together or not at all. No output replaces a file the session reads
// (SessionSetup::inputs, compared by identity as each is written), but the
// session's own output when it is to replace the mesh. Pictures are a series
// drawn in one frame (see writeHeldOutputs and the svg command in command.h).
//
// Mistakes of the user or the environment (a point index past the mesh, a
// disabled panel control, a file that cannot be written) throw Failure and
// leave the session as it was; failures of the tool itself are answered and
// collected, not thrown.
//
// Opening another mesh (`open`) replaces the ObjFile's contents in place:
// the session, and whoever gave it the file, work on the new mesh from then
// on. Its history begins there, and the pictures taken of the mesh before are
// written then. Save never writes an opened mesh over the path of the mesh it
// replaced (SessionSetup::outputReplacesMesh).
//
// Lifetimes: the LoadedModule, HostGlobals and ObjFile must outlive the
// session. One thread at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "standin/host/failure.h"
#include "standin/host/host_globals.h"
#include "standin/host/mesh.h"
#include "standin/host/message_service.h"
#include "standin/host/module_loader.h"
#include "standin/host/panel_model.h"
#include "standin/host/progress_display.h"
#include "standin/host/rgb_image.h"
#include "standin/host/tool_session.h"
#include "standin/host/wire_recorder.h"
#include "standin/pictures/svg_view.h"
#include "standin/session/command.h"
#include "standin/session/obj_file.h"
#include "standin/session/read_files.h"
#include "standin/session/script.h"
#include "standin/session/selection.h"
#include "standin/session/tool_panel.h"

namespace standin {

class OutputSet;

struct SessionSetup {
  std::ostream *out = nullptr;  // panel text, points, echo, About; null: std::cout
  std::ostream *err = nullptr;  // warnings of the host itself; null: std::cerr
  // No line about what a command did that the user did not ask to see (the
  // About button's line); what points, panel and echo print is still printed.
  bool quiet = false;
  // Keep what each step moved, for undo and redo and for taking back a
  // refused command. A run that can ask for neither (the command line without
  // a script) turns it off and holds no copy of the moved points.
  bool history = true;
  // Where the writing of a mesh file shows its progress; null: nowhere.
  ProgressDisplay *progress = nullptr;
  // Relative output file names (svg, save, about) are taken relative to this
  // folder; empty: as given.
  std::string outputFolder;
  // What `save` without a file writes (the page's Save, the command line's
  // -o); empty: such a save is refused.
  std::string outputPath;
  // The files the session reads (its mesh, a script, the module, a font):
  // an output whose target is one of them, by any name, is refused
  // (Failure, Refused) and nothing of it is written.
  ReadFiles inputs;
  // outputPath is the mesh itself (--in-place): the one output that may
  // replace a file among the inputs.
  bool outputReplacesMesh = false;
  // The About panel's picture as a file's bytes (PNG); throws Failure when it
  // cannot. Null: `about FILE` is refused.
  std::function<std::string(const RgbImage &picture)> encodePicture;
  // Told the path of every output file once it is written.
  std::function<void(const std::string &path)> wrote;
  // When set (by a signal handler), a script stops before its next command.
  const std::atomic<bool> *interrupt = nullptr;
  const CanvasFont *font = nullptr;  // for the About panel's text; null: FixedMetricFont
  // After every command, have the overlay be what the tool draws now (the
  // page shows it): the host draws when the command's cycles did not.
  bool liveViewport = false;
  // False for a run that shows no view (no picture is written, no trace):
  // the tool is then not asked to draw its overlay.
  bool drawViews = true;
};

// Where an output named `name` goes: relative to `folder` unless it is
// absolute, standard output ("-") or `folder` is empty.
std::string resolveOutputPath(const std::string &folder, const std::string &name);

struct ToolFailure {
  std::string command;   // what was being done, e.g. "factor 1.5" or "pick"
  std::size_t line = 0;  // script line, 0 outside a script
  std::string what;      // the box or the build's answer
};

// What pressing About showed: the texts and picture it painted.
struct AboutPicture {
  std::vector<std::string> texts;
  RgbImage image;
  int serial = 0;  // 1 for the first picture of the session
};

// What one command raised.
struct CommandAnswer {
  std::vector<MessageBox> boxes;
  std::vector<std::string> failedBuilds;  // the texts builds answered
  std::optional<AboutPicture> about;      // About was pressed
  std::vector<std::string> notes;         // what the host itself says of it (edges skipped)
};

class Session {
 public:
  Session(const LoadedModule &module, HostGlobals &globals, ObjFile &obj, SessionSetup setup);
  ~Session();
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  // One command. Throws Failure (without a place; runScript names the line).
  CommandAnswer run(const Command &command);
  // Every command in order. Stops after a command at which the tool failed
  // (a new entry in failures()) unless `on-failure continue` ran before it,
  // and before a command once the interrupt flag is set. Returns how many
  // commands ran. A mistake (Failure) stops it whatever on-failure says,
  // named "NAME:LINE".
  std::size_t runScript(const Script &script);

  // Every command run so far as a session script, with the boxes the tool
  // showed and builds that failed as comments; when the tool failed at a
  // command of the log, it goes on past failures as this session did
  // (`on-failure continue` first).
  std::string log() const;

  // For the command line: holding outputs until the run ends, and the mesh.
  void holdOutputs() { holding_ = true; }
  // Writes the pictures not held, then the held outputs in the order they
  // were made, as one set, and holds no more.
  void writeHeldOutputs();
  // Draws and writes the pictures taken so far that are not held, as one set.
  void writePictures();
  // Runs `write` with every output it writes staged in one OutputSet, then
  // puts them in place all together or not at all; a nested call adds to the
  // outer set. Throws Failure: CannotWrite (no file of the set is in place),
  // Interrupted (the write interrupt flag stopped it; no file is in place),
  // NotDurable (all are in place, a folder could not be flushed).
  void writeAsOneSet(const std::function<void()> &write);
  // Writes an output file (its path as given) and tells setup.wrote; while
  // outputs are held, keeps it instead.
  void writeOutput(const std::string &path, std::string contents, const ProgressReport &progress = {});
  // Takes the points the tool moved into the OBJ file; Failure(ToolFailed)
  // naming a point the tool moved to a NaN or an infinity.
  void syncObj();
  // Writes the mesh as it stands (syncObj, then writeOutput) and warns, with
  // `shown` naming the file, when faces with normals use moved points.
  void writeMesh(const std::string &path, const std::string &shown);
  // Warns when an odd number of points, three or more, is selected.
  void warnIfOddSelection();
  void close();
  bool live() const { return tool_ != nullptr && tool_->live(); }

  const std::vector<ToolFailure> &failures() const { return failures_; }
  std::optional<ToolSettings> settings() const { return settings_; }
  std::size_t builds() const { return builds_; }
  // The length of the last length or match-pair command.
  std::optional<double> lengthTarget() const { return lengthTarget_; }
  std::string resolveOutput(const std::string &name) const;

  // What the page shows.
  const Mesh &mesh() const { return mesh_; }
  const ObjFile &file() const { return obj_; }
  std::vector<Position> original() const;  // every point where the file has it
  const std::vector<std::pair<std::size_t, std::size_t>> &edges();
  // The selected points in the order the tool pairs them.
  std::vector<std::size_t> selection() const;
  // The handles the tool offers now (count, then handle for each index), as
  // the host's pick sees them; one the tool gave no position is NaN.
  std::vector<Position> handles() const;
  // The same one at a time: how many there are, and handle `index`.
  int handleCount() const;
  Position handle(int index) const;
  // The handles `indices` name, in order, into `out` (its contents replaced);
  // each must be below handleCount(). The tool writes each position straight
  // into `out`.
  void handlesAt(const std::vector<std::uint32_t> &indices, std::vector<Position> &out) const;
  const std::vector<WireCall> &overlay() const { return viewport_.calls(); }
  // The same calls as the recorder keeps them (read call by call, no list made).
  const WireRecorder &overlayRecord() const { return viewport_; }
  // From now on, keep what changes for a viewer that shows the scene: the
  // points written and the overlay's calls that changed since it last took
  // them (each costs what changed, not the mesh).
  void watchChanges();
  std::vector<std::uint32_t> takeWrittenPoints() { return mesh_.takeWatched(); }
  std::vector<WireChange> takeOverlayChanges() { return viewport_.takeChanges(); }
  // The same into `into`, whose room the session keeps for the next list (no
  // allocation per frame).
  void takeWrittenPoints(std::vector<std::uint32_t> &into) { mesh_.takeWatched(into); }
  void takeOverlayChanges(std::vector<WireChange> &into) { viewport_.takeChanges(into); }
  // Whether an overlay call is among those takeOverlayChanges would hand over
  // (read overlay() first, so that the last draw is counted).
  bool overlayChanged(std::size_t slot) const { return viewport_.changedSinceTake(slot); }
  // The viewer's links of the overlay's calls to the mesh's points (see
  // WireRecorder): a call that follows its point is then only marked, and
  // this leaves it out while no point moved since.
  void takeUnfollowedOverlayChanges(std::vector<WireChange> &into) { viewport_.takeUnfollowedChanges(into); }
  const WireLinks &overlayLinks() const { return viewport_.links(); }
  WireLinks &editOverlayLinks() { return viewport_.editLinks(); }
  // With false, no overlay call is marked as following its point (each
  // changed call is noted): the general path, for comparing with.
  void followOverlayPoints(bool follow);
  // Counts every change of the selection (see Mesh::selectionStamp).
  std::uint64_t selectionStamp() const { return mesh_.selectionStamp(); }
  std::string panelTitle() const;
  std::vector<ControlView> panelControls() const;
  // The tool's help text while it is picked and not dropped (the host's drop
  // event puts the tool down: it helps no more until it is activated again).
  std::string help() const { return live() && !dropped_ ? tool_->lastHelp() : std::string(); }
  std::optional<int> held() const { return tool_ != nullptr ? tool_->heldHandle() : std::nullopt; }
  // What `save` without a file writes; empty when it writes nothing (no
  // output, or --in-place after another mesh was opened).
  std::string outputPath() const {
    return opened_ && setup_.outputReplacesMesh ? std::string() : setup_.outputPath;
  }
  // Whether the mesh is one `open` read (not the one the session began with).
  bool opened() const { return opened_; }
  const std::optional<AboutPicture> &aboutPicture() const { return about_; }
  // Whether the mesh differs from what was last saved (false at the start).
  bool unsaved() const;
  // The steps so far are where the history begins (a served session's
  // selection and pick): undo stops there, and the mesh counts as saved.
  void beginHistoryHere();
  bool canUndo() const { return done_.size() > historyBase_; }
  bool canRedo() const { return !undone_.empty(); }
  ToolSession *tool() { return tool_.get(); }

 private:
  struct Selection {
    std::vector<std::size_t> points;
    bool inOrder = false;  // points in the scan's order
  };
  // One user action: its commands and what it replaced.
  struct Step {
    std::vector<Command> commands;
    std::vector<std::pair<std::size_t, Position>> moved;  // positions before it
    std::optional<Selection> selection;                   // the selection before it
    bool touchesTool = false;                             // the module was called
    bool startsTool = false;                              // picks the tool afresh, whatever was before
    bool liveAfter = false;                               // the tool is live after it
    std::size_t id = 0;
  };
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
  struct HeldOutput {
    std::string path;
    std::string contents;
    std::size_t picture = 0;  // with isPicture: the index in pictures_
    bool isPicture = false;
  };

  std::ostream &out() const;
  std::ostream &err() const;
  // Running commands (session.cpp).
  void execute(const Command &c);
  Command grabbed(const Command &c) const;
  void executePanel(const Command &c);
  void runTool(const Command &c);
  CommandAnswer collect(const Command &c);
  void logCommand(const Command &c, const CommandAnswer &answer);
  bool toolComplained() const;
  ToolSession &requireLive(const char *what);
  ToolPanel &panel(const char *what);
  void pick(const PanelPreset &preset);
  void applyPreset(const PanelPreset &preset);
  void readSettings();
  void press(const Command &c, bool thenRelease);
  std::size_t meshIndex(std::size_t point, const char *what) const;
  void refreshViewport();
  void revert();
  // Choosing pairs and meshes (session_choose.cpp).
  void chooseEdgePairs(const Command &c);
  void pickOnChoice(const Command &c);
  Command open(const Command &c);
  void cancel();
  // Outputs (session_outputs.cpp).
  void printPoints(const std::string &selection);
  void pressAbout(const std::string &file);
  void writeSvg(const std::string &file, ViewAxis view, ViewZoom zoom);
  void save(const std::string &file);
  void writeNow(const std::string &path, const std::string &contents, const ProgressReport &progress = {});
  void refuseReadFile(const std::string &path) const;
  void writePicture(std::size_t index);
  std::vector<ScenePoint> scenePoints(const Picture &picture) const;
  // Lengths (session_length.cpp).
  void stretchToLength(const Command &c);
  std::vector<std::size_t> stretchedPairs(const Command &c, std::size_t pairCount) const;
  double lengthFor(const Command &c, const std::vector<PointPair> &pairs,
                   const std::vector<std::size_t> &stretched) const;
  // History (session_history.cpp).
  void beginStep(const Command &c);
  void closeOpenStep();
  void reopenStep();
  void takeBack(std::size_t steps);
  void pressAboutInStep(const Command &c);
  void endStep(const Command &c, bool failed);
  void undo();
  void redo();
  void rewind(Step &step);
  std::size_t rebuildFrom() const;
  void replay(std::size_t from);
  Selection currentSelection() const;
  void restoreSelection(const Selection &selection);

  const LoadedModule &module_;
  HostGlobals &globals_;
  ObjFile &obj_;
  Mesh &mesh_;
  SessionSetup setup_;
  WireRecorder viewport_;  // the tool's last draw
  bool followOverlay_ = true;
  WireRecorder recorder_;  // a picture's draw
  std::size_t draws_ = 0;  // draws into viewport_
  std::unique_ptr<ToolSession> tool_;
  std::unique_ptr<ToolPanel> panel_;
  std::optional<ToolSettings> settings_;
  std::optional<AboutPicture> about_;
  std::optional<double> lengthTarget_;
  std::vector<ToolFailure> failures_;
  std::vector<std::string> log_;
  std::vector<std::string> notes_;  // for the running command's answer
  bool opened_ = false;
  bool dropped_ = false;  // the host's drop event came after the last pick or activate event
  bool holding_ = false;
  OutputSet *outputSet_ = nullptr;  // of writeAsOneSet, while it runs
  bool cyclesHeld_ = false;         // panel edits run no host cycle
  bool quiet_ = false;              // replaying: nothing is answered, logged or collected
  bool goOnAfterFailure_ = false;   // on-failure continue: a script goes on past the tool's failures
  bool logHasFailure_ = false;      // a command in the log made the tool fail
  std::vector<HeldOutput> held_;
  std::vector<Picture> pictures_;
  std::vector<std::pair<std::size_t, std::size_t>> edges_;  // the file's, read when first asked for
  bool edgesRead_ = false;
  std::vector<std::pair<int, int>> pictureEdges_;
  std::size_t boxesSeen_ = 0;
  bool panelCallsRecorded_ = true;  // the panel service's setting before this session
  std::size_t buildsSeen_ = 0;      // of the current tool
  std::size_t builds_ = 0;          // over all tools
  std::size_t picks_ = 0;           // tools picked, replays included
  std::size_t currentLine_ = 0;
  // History.
  std::vector<Step> done_;
  std::vector<Step> undone_;
  bool stepOpen_ = false;  // the last step is a press still held
  std::size_t nextStepId_ = 1;
  std::size_t savedId_ = 0;
  std::size_t historyBase_ = 0;  // steps before it cannot be undone
};

}  // namespace standin
