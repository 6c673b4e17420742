// A host that holds a conversation with the module's own callbacks (linked
// in, as the engine tests do) the way a hostile host might: up to three
// instances, any callback at any time with any argument, a mesh that changes
// between builds, and faults in every host service. Each action checks what
// the interface promises about its own result; checkAfterStep() checks what
// must hold between any two actions. A broken promise aborts (invariant.h).
//
// EP_FUZZ_TRACE=1 in the environment prints every action (trace()).
//
// The stand-in host does the hosting (messages, monitors, panels, mesh, edit
// operations); CheckedServices and CheckedOperation stand between it and the
// module to watch every call the module makes.
//
// Beside the module runs a model of the tool (stretch_model.h), driven with
// the same inputs: every answer the host gets (test, dirty, count, handle and
// its position, start, down, draw's calls, the panel's get and set) and every
// build's moves, positions to the bit, boxes and result must be the model's.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "fuzz/conversation/checked_services.h"
#include "fuzz/conversation/stretch_model.h"
#include "host/host_abi.h"
#include "standin/host/edit_operation.h"
#include "standin/host/host_globals.h"
#include "standin/host/mesh.h"
#include "standin/host/module_loader.h"

namespace fuzz {

inline constexpr int kSlots = 3;

class CheckedOperation;
struct DragExpectation;
struct ModelBuild;

// Faults for the builds that follow, until changed.
struct BuildFaults {
  standin::EditFaults edit;  // pntMove failing, a short scan, pointInfo answering NULL
  int countError = 0;        // added to the selected count the host answers
  bool noMonitor = false;
  std::optional<unsigned> abortAtStep;  // the monitor asks to abort from this step on
  bool restoreBase = false;             // put back the last build's moves before a build, as the Modeler does
};

struct MeshPoint {
  standin::Position position;
  bool selected;
};

class ConversationHost {
 public:
  ConversationHost();
  ~ConversationHost();  // ends every live instance, as a host closing does
  ConversationHost(const ConversationHost &) = delete;
  ConversationHost &operator=(const ConversationHost &) = delete;

  // ---- The mesh and the faults ------------------------------------------
  void replaceMesh(const std::vector<MeshPoint> &points);
  void addPoint(const MeshPoint &point);
  void toggleSelected(std::size_t index);  // index wraps around the mesh
  void setFaults(const BuildFaults &faults);
  // The k-th allocation of the module from now fails (0: none).
  void failAllocation(unsigned k);

  // ---- Lifecycle --------------------------------------------------------
  // `slot` picks among the free slots, and in the callbacks below among the
  // live instances, counting around (nothing happens when there is none).
  // `withheld` names a service that the lookups answer NULL for ("" none).
  void activate(int slot, int version, const char *withheld);
  void done(int slot);

  // ---- Tool callbacks, each on a live instance.
  // test and dirty are asked after every step (checkAfterStep).
  void count(int slot);  // and handle for every handle it offers
  void handle(int slot, int index);
  void start(int slot, const LWToolEvent &event);
  void adjust(int slot, const LWToolEvent &event, int index);
  void down(int slot, const LWToolEvent &event);
  void event(int slot, int code);
  void help(int slot);
  void draw(int slot);
  void build(int slot);
  void end(int slot, int keep);

  // ---- The options panel and its buttons ---------------------------------
  void panel(int slot, bool failCreate);
  void panelGet(int slot, std::uintptr_t id);
  // The value given is an int or a double as the control's data type says.
  void panelSet(int slot, std::uintptr_t id, int intValue, double doubleValue);
  void invertHandle();                      // the button of any options panel built so far
  void about(bool failCreate, bool paint);  // paint: the host paints its thumbnail while posted

  void checkAfterStep();

 private:
  struct Slot {
    LWMeshEditTool binding{};
    LWToolFuncs funcs{};
    bool live = false;
    LWXPanelID optionsPanel = nullptr;
  };
  // The slot of the choice-th live instance, or of the choice-th free slot
  // (counted around); nullptr when there is none.
  Slot *pickSlot(int choice, bool live);
  Slot *liveSlot(int choice);
  // With EP_FUZZ_TRACE set in the environment, each action and its answer
  // is printed to stderr, one a line: what a regression test needs to repeat.
  __attribute__((format(printf, 2, 3))) void trace(const char *format, ...) const;
  int slotNumber(const Slot &s) const;
  // A coordinate or value came from the input: one that is not finite lifts
  // the finite-input promise for the rest of the conversation.
  void noteValue(double value);
  void notePosition(const double *xyz);
  void setLiveCount();
  void checkDragMovesOnlyItsPair(const DragExpectation &expected, const CheckedOperation &op) const;
  const standin::PanelRecord *optionsPanelOf(const Slot &s);
  // Clicks the button on the first panel that has it; false when none has.
  bool pressButton(std::uintptr_t control);
  // The host's side of a build as the model takes it (after restoreBase).
  ModelBuildHost modelHostSide() const;
  void checkBuildAgainstModel(const Slot &s, const ModelBuild &expected, const CheckedOperation &op,
                              const std::vector<standin::MessageBox> &boxes, bool failed,
                              bool doneCalled) const;

  bool tracing_;
  standin::HostGlobals globals_;
  CheckedServices services_{globals_};
  standin::LoadedModule module_;
  const ServerRecord &server_;
  std::array<Slot, kSlots> slots_{};
  standin::Mesh mesh_;
  BuildFaults faults_;
  std::vector<standin::PointPosition> lastMoved_;  // what the last applied build's moves replaced
  bool finiteInputs_ = true;
  bool allocationArmed_ = false;  // failAllocation armed a fault that has not shown yet
  StretchModel model_;
};

}  // namespace fuzz
