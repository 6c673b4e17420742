// One editing session of the playground: a mesh from an OBJ file with its
// selection, the tool picked on it, and what a user does to it from the page.
//
// The session plays the host exactly as the command line's session runner
// does: picking the tool activates it in a ToolSession, builds its options
// panel and runs one host cycle; the mouse goes through ToolSession's press
// (down, then count / handle within the pick radius, else start, then
// adjust), drag and release; panel edits through the panel model's set; host
// events as event codes. The host cycle's draws go into a WireRecorder that
// holds the last draw alone; after an action in which the cycle did not draw,
// the host refreshes its views by calling draw itself, so overlay() is always
// what the tool draws now.
//
// Every action is also kept as a line of the command line's session script
// (script()), so a session in the page can be replayed with
// `elasticpull-host MESH --script FILE -o OUT` and its result compared.
//
// Saving writes the mesh as the command line writes it: a copy of the file as
// read, with the moved points' coordinates rewritten (ObjFile::write, through
// a temporary file renamed over the target). The output path is fixed when
// the session is made; nothing from the page names a file.
//
// Lifetimes: the LoadedModule and the HostGlobals must outlive the session.
// Not thread-safe: the server calls one action at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "standin/host/host_globals.h"
#include "standin/host/mesh.h"
#include "standin/host/module_loader.h"
#include "standin/host/panel_model.h"
#include "standin/host/rgb_image.h"
#include "standin/host/tool_session.h"
#include "standin/host/wire_recorder.h"
#include "standin/session/obj_file.h"
#include "standin/session/selection.h"

namespace standin {

struct PlaygroundConfig {
  std::vector<std::size_t> selection;  // mesh indices, ascending
  // Pairs chosen by the user (handle end first): when there are any, they are
  // selected instead, their points delivered in this order.
  std::vector<PointPair> pairs;
  std::string outputPath;  // empty: saving is refused
};

// What pressing a panel button showed: the About panel's texts and picture.
struct AboutPicture {
  std::vector<std::string> texts;
  RgbImage image;
  int serial = 0;  // 1 for the first picture of the session
};

class Playground {
 public:
  static constexpr double kDefaultPickRadius = SessionOptions{}.pickRadius;

  // Loads nothing: `file` is the mesh as read. Selects, picks the tool and
  // runs the first build. Throws Failure when the tool cannot be activated.
  Playground(const LoadedModule &module, HostGlobals &globals, ObjFile file, PlaygroundConfig config);
  ~Playground();
  Playground(const Playground &) = delete;
  Playground &operator=(const Playground &) = delete;

  // The mouse. `pickRadius` (model units) applies to this press only.
  void press(const Position &at, bool ctrl, bool right, double pickRadius = kDefaultPickRadius);
  // False (and nothing done) when no handle is held.
  bool drag(const Position &at, bool ctrl);
  void release();
  // Right click away from the handles: the tool keeps the result and starts a
  // new stretch (press with the right button, then release).
  void keep(const Position &at);
  void hostEvent(int code);

  // The options panel, through the panel model (its rules: disabled, hidden,
  // range). A press of a button with a thumbnail panel behind it (About)
  // keeps the painted picture (aboutPicture()).
  EditResult editControl(std::uintptr_t id, double value);
  EditResult pressButton(std::uintptr_t id);

  // Puts every point back where the file has it and picks the tool again.
  void undoToFile();

  // Writes the output file; returns its path. Throws Failure: CannotWrite,
  // or Refused when the session has no output path.
  std::string save();
  // The file as save would write it now.
  std::string objText() const;
  bool unsaved() const { return unsaved_; }

  // What the page shows.
  const Mesh &mesh() const { return mesh_; }
  const ObjFile &file() const { return file_; }
  const std::vector<Position> &original() const { return file_.positions(); }
  const std::vector<std::pair<std::size_t, std::size_t>> &edges() const { return edges_; }
  // The selected points in the order the tool gets them.
  const std::vector<std::size_t> &selection() const { return config_.selection; }
  const std::string &outputPath() const { return config_.outputPath; }
  // The handles the tool offers now (count, then handle for each index), as
  // the host's pick sees them; a handle whose position the tool did not write
  // (or that answered no priority) is NaN, which the pick leaves out.
  std::vector<Position> handles() const;
  const std::vector<WireCall> &overlay() const { return viewport_.calls(); }
  std::string panelTitle() const;
  std::vector<ControlView> panelControls() const;
  const std::string &help() const { return session_->lastHelp(); }
  std::optional<int> held() const { return session_->heldHandle(); }
  // Boxes the tool showed since the last call.
  std::vector<MessageBox> takeMessages();
  const std::optional<AboutPicture> &aboutPicture() const { return about_; }
  // Every action so far as a session script for the command line.
  std::string script() const;

  ToolSession &session() { return *session_; }

 private:
  void pick();
  void beginAction() { drawsBefore_ = draws_; }
  void refreshViewport();
  void log(const std::string &line) { script_.push_back(line); }
  void logControl(std::uintptr_t id, double value);
  bool pickMayDiffer(const Position &at, double pickRadius) const;

  const LoadedModule &module_;
  HostGlobals &globals_;
  const ObjFile file_;
  PlaygroundConfig config_;
  std::vector<std::pair<std::size_t, std::size_t>> edges_;
  Mesh mesh_;
  WireRecorder viewport_;
  std::unique_ptr<ToolSession> session_;
  std::unique_ptr<PanelModel> panel_;
  std::optional<AboutPicture> about_;
  std::vector<std::string> script_;
  std::size_t boxesSeen_ = 0;
  std::size_t draws_ = 0;  // draws into viewport_
  std::size_t drawsBefore_ = 0;
  bool unsaved_ = false;
};

}  // namespace standin
