// Runs what a user does with the tool in a modeler, one script command at a
// time, on a mesh read from an OBJ file: picking the tool, the mouse, the
// host's events, the options panel and its buttons, and looking at the
// result (the panel as text, the viewport as SVG, point positions).
//
// Picking the tool activates the module's MeshEditTool server in a new
// ToolSession, builds its options panel (as a modeler does when a tool is
// picked) and runs one host cycle, so the first build happens at once.
//
// Failures of the tool are collected, not thrown: a build that answers an
// error text and every error or warning box the tool shows are recorded with
// the command that caused them (failures()). Mistakes of the user or the
// environment (a point index past the mesh, a disabled panel control, a file
// that cannot be written) throw RunError with an exit code.
//
// Lifetimes: the LoadedModule, HostGlobals, ObjFile and Mesh must outlive the
// runner. The runner serves its own panel service through the HostGlobals
// while it lives.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "standin/host_globals.h"
#include "standin/mesh.h"
#include "standin/module_loader.h"
#include "standin/obj_file.h"
#include "standin/panel_model.h"
#include "standin/panel_service.h"
#include "standin/script.h"
#include "standin/svg_view.h"
#include "standin/tool_session.h"
#include "standin/wire_recorder.h"

namespace standin {

// The program's exit codes.
enum ExitCode : int {
  kExitOk = 0,
  kExitToolFailed = 1,   // a build failed, or the tool showed an error or a warning
  kExitBadInput = 2,     // command line, mesh file, selection or script
  kExitCannotWrite = 3,  // an output file could not be written
  kExitNoModule = 4,     // the module could not be loaded or activated
  kExitInterrupted = 130,
};

class RunError : public std::runtime_error {
 public:
  RunError(int exitCode, const std::string &message) : std::runtime_error(message), exitCode_(exitCode) {}
  int exitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

struct RunnerHooks {
  std::ostream *out = nullptr;  // panel text, points, echo, notes; null: std::cout
  std::ostream *err = nullptr;  // warnings of the host itself; null: std::cerr
  // Relative output file names (svg, save, about) are taken relative to this
  // folder; empty: as given (relative to the working directory).
  std::string outputFolder;
  // Writes the About panel's painted thumbnail as a picture file; throws
  // RunError when it cannot. Null: `about FILE` is refused.
  std::function<void(const std::string &path, const ThumbnailCanvas &canvas)> saveAboutPicture;
  const CanvasFont *font = nullptr;  // for the About panel's text; null: FixedMetricFont
};

// The options panel's values when they were last read.
struct ToolSettings {
  int mode = 0;  // 0 Factor, 1 Offset
  double factor = 1.0;
  double offset = 0.0;
  int symmetry = 0;
};

struct ToolFailure {
  std::string command;   // what was being done, e.g. "factor 1.5" or "pick"
  std::size_t line = 0;  // script line, 0 outside a script
  std::string what;      // the box or the build's answer
};

class SessionRunner {
 public:
  SessionRunner(const LoadedModule &module, HostGlobals &globals, ObjFile &obj, Mesh &mesh,
                RunnerHooks hooks);
  ~SessionRunner();
  SessionRunner(const SessionRunner &) = delete;
  SessionRunner &operator=(const SessionRunner &) = delete;

  // One command; `command.line` names the script line in failures. Throws
  // RunError (message without the script's name and line).
  void run(const ScriptCommand &command);
  // Every command in order; a RunError gets "NAME:LINE: " in front.
  void runScript(const Script &script);

  // The commands without a script.
  void pick();
  void close();
  bool live() const { return session_ != nullptr && session_->live(); }

  void setMode(int mode);
  void setFactor(double factor);
  void setOffset(double offset);
  void setSymmetry(bool on);
  void pressInvertHandle();
  // Presses About; writes the thumbnail to `pictureFile` unless it is empty.
  void pressAbout(const std::string &pictureFile);
  void writeSvg(const std::string &file, ViewAxis view);

  // Copies the mesh's positions into the OBJ file (changed points only).
  void syncObj();

  const std::vector<ToolFailure> &failures() const { return failures_; }
  std::optional<ToolSettings> settings() const { return settings_; }
  std::size_t builds() const { return builds_; }
  std::string resolveOutput(const std::string &name) const;

 private:
  std::ostream &out() const;
  std::ostream &err() const;
  ToolSession &requireLive(const char *what);
  PanelModel &requirePanel(const char *what);
  void editPanel(std::uintptr_t id, const std::string &label,
                 const std::function<EditResult(PanelModel &)> &edit, const std::string &shown);
  void readSettings();
  void collectFailures(const std::string &command, std::size_t line);
  void warnIfOddSelection();
  std::size_t meshIndex(std::size_t point, const char *what) const;
  void printPoints(const std::string &selection);
  void select(const std::string &selection);

  const LoadedModule &module_;
  HostGlobals &globals_;
  ObjFile &obj_;
  Mesh &mesh_;
  RunnerHooks hooks_;
  PanelService panelService_;
  WireRecorder recorder_;
  std::unique_ptr<ToolSession> session_;
  std::unique_ptr<PanelModel> panel_;
  std::optional<ToolSettings> settings_;
  std::vector<ToolFailure> failures_;
  std::size_t boxesSeen_ = 0;
  std::size_t buildsSeen_ = 0;  // of the current session
  std::size_t builds_ = 0;      // over all sessions
};

}  // namespace standin
