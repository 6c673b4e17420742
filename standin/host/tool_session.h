// One activation of a MeshEditTool server, driven the way a modeler drives it.
//
// The session owns the binding (LWMeshEditTool) and the callback table
// (LWToolFuncs) it hands to activate; both live as long as the session, at a
// fixed address (the session cannot be moved). Before activation every slot
// is NULL except move and up, which hold host sentinels, so a test can tell
// that activation left them alone (moveUpUntouched()).
//
// The host cycle: after each user action (a press with its handle pick and
// adjust, a drag step, a release, a host event) and after each panel edit
// (the panel service calls runCycle()), the host asks test and acts on the
// answer through its EditModel (1 update builds, 2 accept, 3 reject, 4 clone,
// 0 nothing), then asks dirty, calls draw when it answers non-zero and help
// when bit 2 is set.
//
// Lifetimes: the server record, the HostGlobals and the Mesh must outlive the
// session. A wire-draw access set with setWireDraw must outlive the session
// or be replaced. The destructor closes a live tool (end, then done).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/host_abi.h"
#include "standin/host/counting_wire_draw.h"
#include "standin/host/edit_model.h"
#include "standin/host/host_globals.h"
#include "standin/host/mesh.h"

namespace standin {

class LoadedModule;

struct SessionOptions {
  double pickRadius = 0.25;  // model units: a press this close to a handle grabs it
  double snapGrid = 0.5;     // posSnap is posRaw rounded to this grid (0: no snapping)
  // The view the mouse works in, passed as every event's portAxis: 0, 1, 2 an
  // orthographic view looking along x, y, z; -1 no particular view (all
  // three axes count, as in a perspective view).
  int viewAxis = -1;
};

struct CycleRecord {
  int test = 0;
  int dirty = 0;
  bool drew = false;
  bool helped = false;
};

class ToolSession {
 public:
  ToolSession(const ServerRecord &server, void *serverData, HostGlobals &globals, Mesh &mesh,
              SessionOptions options = {});
  // The module's first "MeshEditTool" server (Failure if it has none).
  ToolSession(const LoadedModule &module, HostGlobals &globals, Mesh &mesh, SessionOptions options = {});
  ~ToolSession();
  ToolSession(const ToolSession &) = delete;
  ToolSession &operator=(const ToolSession &) = delete;

  // Calls the server's activate with this session's binding and returns its
  // result. Only a result of 0 makes the session live; on any other result
  // the binding is never used.
  int activate(int version = LW_MESHEDITTOOL_VERSION);
  // As activate, but throws Failure saying what a non-zero result means.
  void activateOrThrow(int version = LW_MESHEDITTOOL_VERSION);
  bool live() const { return live_; }

  // Mouse. A press calls down; if down answers 0 the host picks a handle
  // (nearest within the pick radius, higher priority on a tie) or asks start
  // for one, then calls adjust. Drags call adjust with the same index.
  // `grab` replays a press: the handle it grabbed (asking nothing), or -1 to
  // ask start (whatever lies within the pick radius).
  void press(const Position &position, bool ctrl = false, bool rightButton = false,
             std::optional<int> grab = std::nullopt);
  void drag(const Position &position, bool ctrl = false);
  void release();
  std::optional<int> heldHandle() const { return held_; }
  // What the last press grabbed: the handle the pick found, or -1 when it
  // asked start; none when down took the click.
  std::optional<int> lastGrab() const { return lastGrab_; }
  // The pick radius of the presses that follow (model units).
  double pickRadius() const { return options_.pickRadius; }
  void setPickRadius(double radius) { options_.pickRadius = radius; }

  // Host events: drop, reset and activate, as event codes 0, 1, 2.
  void drop() { hostEvent(LWT_EVENT_DROP); }
  void reset() { hostEvent(LWT_EVENT_RESET); }
  void activateEvent() { hostEvent(LWT_EVENT_ACTIVATE); }
  void hostEvent(int code);

  // Calls the tool's panel callback; the panel (or NULL) is the panel
  // service's, and close() destroys it.
  void *requestPanel();

  // test / act / dirty / draw / help, once.
  void runCycle();

  // Ends the tool: end(instance, 1) for an open edit, keeping its result,
  // then done(instance), then destroys the panels requestPanel got. The
  // session is no longer live afterwards.
  void close();

  // Where draw goes; nullptr returns to the built-in counting access.
  void setWireDraw(LWWireDrawAccess *access) { wire_ = access != nullptr ? access : countingWire_.access(); }
  // A host that shows no view (a run that writes no picture) asks for no
  // drawing: the tool's draw callback is then not called. Its edits are the
  // same, as drawing only paints the overlay.
  void skipDrawing(bool skip) { skipDrawing_ = skip; }
  // Called just before each draw of the host cycle (e.g. to clear a recorder,
  // so that it holds the last draw alone).
  void setBeforeDraw(std::function<void()> hook) { beforeDraw_ = std::move(hook); }
  CountingWireDraw &countingWireDraw() { return countingWire_; }

  LWMeshEditTool &binding() { return binding_; }
  LWToolFuncs &table() { return table_; }
  bool moveUpUntouched() const;
  EditModel &edits() { return edits_; }
  Mesh &mesh() { return mesh_; }
  const std::vector<CycleRecord> &cycles() const { return cycles_; }
  const std::string &lastHelp() const { return lastHelp_; }
  int lastDownResult() const { return lastDown_; }
  int activationResult() const { return activation_; }

 private:
  LWToolEvent makeEvent(const Position &position, bool ctrl, bool rightButton) const;
  int pickHandle(LWToolEvent &event);  // the nearest handle within the radius, or -1
  int askStart(LWToolEvent &event);
  void adjust(LWToolEvent &event, int index);
  // Trace lines are built only while a tracer listens: a pick makes a dozen.
  bool tracing() const { return globals_.tracer().on(); }
  void trace(const std::string &line) { globals_.tracer()(line); }

  const ServerRecord &server_;
  void *serverData_;
  HostGlobals &globals_;
  Mesh &mesh_;
  SessionOptions options_;
  LWToolFuncs table_{};
  LWMeshEditTool binding_{};
  EditModel edits_;
  CountingWireDraw countingWire_;
  LWWireDrawAccess *wire_;
  bool skipDrawing_ = false;
  std::function<void()> beforeDraw_;
  bool activated_ = false;
  bool live_ = false;
  int activation_ = -1;
  std::optional<int> held_;
  std::optional<int> lastGrab_;
  bool heldRight_ = false;
  Position pressPosition_{};
  LWToolEvent lastEvent_{};
  int lastDown_ = 0;
  std::vector<CycleRecord> cycles_;
  std::string lastHelp_;
  std::vector<void *> panels_;  // from requestPanel, destroyed at close
};

}  // namespace standin
