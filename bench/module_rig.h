// What both module benchmarks share (ep_module_bench with Google Benchmark,
// ep_module_ratio without it for the 32-bit builds): the module loaded from
// its file as a host loads it, the cases, and the rig that runs one case at
// one size for tool and floor on the floor host.
//
// The module is the shipped file (elasticpull.p): opened with dlopen or
// LoadLibrary, its descriptor read, started, and each instance activated
// through the server record with the floor host's global function; every
// callback goes through the binding and the callback table it filled, as in
// a real host.
//
// Before any timing each case runs once on a checking host, which counts and
// hashes every call with its arguments: tool and floor must make the same
// calls per kind, in the same order with the same arguments, leave the mesh
// bit-identical and keep the same positions and handle vectors.
#pragma once

#include <cstddef>
#include <string>

#include "bench/floor.h"
#include "bench/floor_host.h"
#include "engine/tool_state.h"

namespace bench {

// Loads the module for the whole run (a second call is an error). Exits with
// the loader's message when the file will not load.
void loadModule(const std::string &path);

enum class Case { FirstBuild, DragBuild, DragBuildCtrl, Recompute, Draw, DragFrame };

struct CaseInfo {
  Case kind;
  bool symmetry;
  const char *name;   // the benchmark's name
  const char *label;  // the tables' name
  double target;      // ratio tool/floor
};
extern const CaseInfo kCases[];
extern const std::size_t kCaseCount;

[[noreturn]] void fatal(const std::string &why);

// The clock the timed parts are read with, in seconds: on Linux the calling
// thread's CPU time, so that time the thread waits for a core on a busy
// machine does not count (tool and floor both run on the one thread); where
// there is no precise thread clock (Windows, Wine), the steady clock.
double benchClock();
// "thread CPU time" or "wall time", for the tables' headers.
const char *benchClockName();

// The module, activated on the floor host through its descriptor.
class Tool {
 public:
  Tool() { activate(); }
  ~Tool() { close(); }
  Tool(const Tool &) = delete;
  Tool &operator=(const Tool &) = delete;

  void activate();
  void close();
  // The instance, read through the record layout the module and its hosts
  // share.
  ep::StretchToolState &state() { return *state_; }
  const char *build(MeshEditOp *op) { return binding_.build(state_, op); }
  int test() { return binding_.test(state_); }
  int dirty() { return funcs_.dirty(state_); }
  void draw(LWWireDrawAccess *access) { funcs_.draw(state_, access); }
  void adjust(int index, const Vec &q, bool ctrl);

 private:
  LWToolFuncs funcs_{};
  LWMeshEditTool binding_{};
  ep::StretchToolState *state_ = nullptr;
};

// One case at one size: the mesh, the tool and the floor, each with what it
// keeps between builds. "cold" flushes the mesh, the tool's buffers and the
// floor's arrays from the caches before each timed part.
class Rig {
 public:
  Rig(const CaseInfo &info, std::size_t points, bool cold);

  // Untimed: the mesh back at its start, and what the case needs before it.
  void prepareTool();
  void prepareFloor();
  // The timed parts (`checked`: on the checking host). runTool answers the
  // build's error text, or null.
  const char *runTool(bool checked);
  void runFloor(bool checked);
  // Runs the case once for each on the checking host; empty when they agree.
  std::string check();

 private:
  struct Outcome;
  Outcome checkedRun(bool isTool);
  void flushAll();

  CaseInfo info_;
  bool cold_;
  FloorMesh mesh_;
  Tool tool_;
  FloorState floor_;
  DrawSink sink_{false};
  DrawSink checkedSink_{true};
  int k_ = 0;
  Vec q_{};
};

}  // namespace bench
