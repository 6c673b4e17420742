// A model of the stretch tool as its host sees it, written from the tool's
// documented behaviour and nothing of the module: the conversation's host
// drives it beside the module with the same inputs and compares the answers
// (conversation_host.cpp). It holds what the tool keeps between callbacks
// (the settings and the remembered ones, the edit's flags, the pairs' ends,
// the positions the tool knows) and computes what each callback answers and,
// for a build, every point move with its position, every box shown and
// whether the build fails.
//
// Positions are computed as the tool defines them (the same operations in the
// same order, in doubles), so the module must match them bit for bit. One
// definition is the tool's own: a length is sqrt((x*x + y*y) + z*z) as a
// wider exponent range would give it, so that a finite vector has an
// infinite length only past the largest double.
//
// On purpose this file includes nothing of the module (a build check keeps
// it so): a slip copied from the module's code would agree with itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fuzz {

struct ModelVec {
  double x = 0.0, y = 0.0, z = 0.0;
};

// The host's side of one build: the mesh as the build begins, in the order
// the scan delivers it (the mesh's order), and the faults in force.
struct ModelBuildHost {
  struct Point {
    const void *id;
    ModelVec position;
    bool selected;
  };
  std::vector<Point> points;
  int countError = 0;                        // added to the selected count the host answers
  std::size_t scanWithholdSelected = 0;      // the last selected points the scan leaves out
  std::optional<std::size_t> failMovePoint;  // pntMove of this point fails with moveFailCode
  int moveFailCode = 1;
  std::optional<std::size_t> nullInfoPoint;  // pointInfo answers NULL for this point
  bool nullInfoAll = false;                  // ... or for every point
  bool monitor = true;                       // monitor create answers a monitor
  std::optional<unsigned> abortAtStep;       // its k-th step and every later one answer abort
  // An allocation of the module is armed to fail, and this build showed the
  // out-of-memory box: the model cannot know when the module allocates, so
  // the host tells it what it saw, and the model checks it could happen.
  bool allocationMayFail = false;
  bool memoryBoxShown = false;
};

struct ModelMove {
  const void *point;
  ModelVec position;
  int result;  // what the host answered
};

// Which way a build went, as the model sees it (the conversation's host
// counts each way with the pair count, mode and Symmetry as coverage).
enum class ModelPath : std::uint8_t {
  Inactive,    // no live edit: nothing done
  Refused,     // too few points, another count, or no memory: no scan
  ScanFailed,  // the scan aborted or delivered too few points
  Recompute,   // every pair from the panel's values
  Reset,       // the reset step, then the read-back
  ReadBack,    // no handle: every point read back
  Drag,        // a drag of one pair
  CtrlDrag,    // a drag with CTRL: every other pair follows
  ZeroLength,  // a drag of a pair whose ends coincide
  ZeroLengthCtrl,
  NoPlaceToGo,  // a drag to or of a place that is not finite
};
inline constexpr int kModelPaths = static_cast<int>(ModelPath::NoPlaceToGo) + 1;

struct ModelBuild {
  ModelPath path = ModelPath::Inactive;
  int pairs = 0;                   // the instance's pairs after the build
  bool usesOperation = true;       // false: the build does nothing with the operation
  std::vector<ModelMove> moves;    // every pntMove, in order
  std::vector<std::string> boxes;  // the titles of the boxes shown, in order
  bool failed = false;             // build answers an error text
  bool done = false;               // the operation's done(0, 0) is called
};

// A value behind a panel control, as `get` points to it.
struct ModelValue {
  bool present = false;
  bool isDouble = false;
  int i = 0;
  double d = 0.0;
};

class StretchModel {
 public:
  static constexpr int kSlots = 3;

  // The instance of `slot` was created (activation answered 0), or done.
  void activated(int slot);
  void done(int slot);

  int test(int slot) const;
  int dirty(int slot) const;
  int count(int slot) const;
  // The priority; `position` gets the handle's position when it is above 0.
  int handle(int slot, int index, ModelVec &position) const;
  int start(int slot, const ModelVec &press, int portAxis);
  void adjust(int slot, int index, int flags, const ModelVec &posRaw);
  int down(int slot, int flags);
  void end(int slot);
  void event(int slot, int code);
  // The number of drawing calls draw makes.
  int draw(int slot);

  int set(int slot, std::uintptr_t control, int intValue, double doubleValue);
  ModelValue get(int slot, std::uintptr_t control) const;
  void invertHandle();  // on the newest live instance

  ModelBuild build(int slot, const ModelBuildHost &host);

  // For the failure report: the instance's settings and flags in one line.
  std::string describe(int slot) const;

 private:
  friend class ModelPass;
  struct Settings {
    int mode = 0;
    double factor = 1.0;
    double offset = 0.0;
    int symmetry = 0;
  };
  struct Instance {
    Settings values;
    int pointCount = 0;
    int activeHandle = -1;
    int testResult = 1;
    int active = 1;
    int drawState = -1;
    int updateAll = 0;
    int allHandles = 0;
    bool buffers = false;
    std::vector<ModelVec> positions;
    std::vector<std::size_t> pointIds;  // mesh indices
    std::vector<int> inverted;
  };
  Instance &at(int slot);
  const Instance &at(int slot) const;

  Settings remembered_;
  std::array<std::optional<Instance>, kSlots> instances_;
  int newest_ = -1;  // the slot of the newest live instance, or -1
};

}  // namespace fuzz
