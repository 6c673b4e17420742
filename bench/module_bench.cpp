// The module's speed against the floor, for 10,000, 100,000 and 1,000,000
// selected points:
//
//   first_build      a fresh instance's first build (buffers, scan, every pair
//                    stretched, every position read back)
//   drag_build       the build after a drag of one handle, without CTRL
//   drag_build_ctrl  the same with CTRL: every pair takes the solved factor
//   recompute        a panel edit: every pair recomputed
//   draw             the overlay: twelve drawing calls a pair
//   drag_frame       what one mouse move of a drag costs: adjust, test, build,
//                    dirty, draw
//
// Each iteration times the tool and then the floor (bench/floor.h) on the same
// host (bench/floor_host.h), alternating which goes first; before each timed
// part the mesh is put back where it started, outside the timing, so builds do
// not compound. The time reported is the tool's; the counters are the floor's
// time and the ratio tool/floor over the whole run.
//
// Every case runs in two cache states. "warm": as the reset leaves the mesh,
// in the caches as far as it fits (a small mesh entirely, a large one hardly).
// "cold": the mesh, the tool's buffers and the floor's arrays flushed from
// every cache level before each timed part, as after the host has drawn a
// frame of a large scene; only here is time proportional to the points.
//
// Before any timing each case runs once on a checking host, which hashes every
// call with its arguments: tool and floor must make the same calls per kind,
// in the same order with the same arguments, leave the mesh bit-identical and
// keep the same positions and handle vectors, or the benchmark stops with an
// error (and the program exits non-zero).
//
//   ep_module_bench [--summary=FILE] [Google Benchmark flags]
//                                              the ratio table at the end; FILE
//                                              gets the targeted ratios (for
//                                              scripts/bench.sh)
//   ep_module_bench --instructions [N...]      under callgrind: each case once
//                                              (warm) for tool and floor, each
//                                              dumped as "tool|floor CASE N"
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/floor.h"
#include "bench/floor_host.h"
#include "bench/ratio_table.h"
#include "engine/tool_state.h"
#include "host/host_abi.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define EP_HAVE_CALLGRIND 1
#endif

extern "C" const ModuleDescriptor _mod_descrip;

namespace bench {
namespace {

enum class Case { FirstBuild, DragBuild, DragBuildCtrl, Recompute, Draw, DragFrame };

struct CaseInfo {
  Case kind;
  const char *name;
  const char *label;
  double target;
};
constexpr double kBuildTarget = 1.25, kDrawTarget = 1.30;
const CaseInfo kCases[] = {
    {Case::FirstBuild, "first_build", "first build", kBuildTarget},
    {Case::DragBuild, "drag_build", "drag build", kBuildTarget},
    {Case::DragBuildCtrl, "drag_build_ctrl", "drag build, CTRL", kBuildTarget},
    {Case::Recompute, "recompute", "recompute (panel)", kBuildTarget},
    {Case::Draw, "draw", "draw", kDrawTarget},
    // A build and a draw: the draw's target bounds it.
    {Case::DragFrame, "drag_frame", "drag frame", kDrawTarget},
};
const long kSizes[] = {10000, 100000, 1000000};

constexpr double kFactor = 1.5;

[[noreturn]] void fatal(const std::string &why) {
  std::fprintf(stderr, "ep_module_bench: %s\n", why.c_str());
  std::exit(2);
}

// The module, activated on the floor host as a host does it.
class Tool {
 public:
  Tool() { activate(); }
  ~Tool() { close(); }
  Tool(const Tool &) = delete;
  Tool &operator=(const Tool &) = delete;

  void activate() {
    static void *const startup = _mod_descrip.startup();
    funcs_ = {};
    binding_ = {};
    binding_.tool = &funcs_;
    if (_mod_descrip.serverDefs[0].activate(LW_MESHEDITTOOL_VERSION, floorGlobal, &binding_, startup) != 0)
      fatal("the module did not activate");
    state_ = static_cast<ep::StretchToolState *>(binding_.instance);
  }
  void close() {
    if (state_ != nullptr) funcs_.done(state_);
    state_ = nullptr;
  }
  ep::StretchToolState &state() { return *state_; }
  const char *build(MeshEditOp *op) { return binding_.build(state_, op); }
  int test() { return binding_.test(state_); }
  int dirty() { return funcs_.dirty(state_); }
  void draw(LWWireDrawAccess *access) { funcs_.draw(state_, access); }
  void adjust(int index, const Vec &q, bool ctrl) {
    LWToolEvent event{};
    event.posRaw[0] = q.x;
    event.posRaw[1] = q.y;
    event.posRaw[2] = q.z;
    event.portAxis = -1;
    event.flags = ctrl ? LWT_EVENT_CTRL : 0;
    funcs_.adjust(state_, &event, index);
  }

 private:
  LWToolFuncs funcs_{};
  LWMeshEditTool binding_{};
  ep::StretchToolState *state_ = nullptr;
};

// The coordinates of `count` vectors (the tool's Vec3 or the floor's Vec).
template <typename V>
std::vector<double> flatten(const V *v, std::size_t count) {
  std::vector<double> out;
  for (std::size_t i = 0; i < count; ++i) out.insert(out.end(), {v[i].x, v[i].y, v[i].z});
  return out;
}

// What one run of a case leaves behind, for the comparison.
struct Outcome {
  CallCounts calls;
  std::uint64_t opSequence = 0, drawSequence = 0;
  std::vector<double> mesh, positions, handleVectors;
  std::string failure;
};

// Evicts [begin, begin + bytes) from every cache level: with clflushopt where
// the processor has it (tens of times faster than clflush, which serialises
// every line), else clflush. Followed by a fence (fenceFlushes) before timing.
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("clflushopt"))) void flushOpt(char *p, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; i += 64) _mm_clflushopt(p + i);
  _mm_clflushopt(p + bytes - 1);
}
void flush(void *begin, std::size_t bytes) {
  static const bool haveFlushOpt = __builtin_cpu_supports("clflushopt") != 0;
  if (bytes == 0) return;
  char *p = static_cast<char *>(begin);
  if (haveFlushOpt) return flushOpt(p, bytes);
  for (std::size_t i = 0; i < bytes; i += 64) _mm_clflush(p + i);
  _mm_clflush(p + bytes - 1);
}
void fenceFlushes() { _mm_mfence(); }
#else
void flush(void *, std::size_t) {}
void fenceFlushes() {}
#endif

// One case at one size: the mesh, the tool and the floor, each with what it
// keeps between builds.
class Rig {
 public:
  Rig(Case kind, std::size_t points, bool cold) : kind_(kind), cold_(cold), mesh_(points) {
    floorActivate(floorGlobal);
    // The dragged point: the handle end of the middle pair, pulled out along
    // its line to about 1.37 times the length and off it a little.
    const int pair = static_cast<int>(points / 4);
    k_ = 2 * pair;
    const double *c = mesh_.record(static_cast<std::size_t>(k_)).position;
    const double *b = mesh_.record(static_cast<std::size_t>(k_ + 1)).position;
    q_ = {b[0] + 1.37 * (c[0] - b[0]), b[1] + 1.37 * (c[1] - b[1]), b[2] + 1.37 * (c[2] - b[2]) + 0.25};
    if (kind_ != Case::FirstBuild) {  // both start from a first build
      tool_.state().factor = kFactor;
      if (tool_.build(mesh_.op()) != nullptr) fatal("the tool's first build failed");
      mesh_.restore();
      floorFirstBuild(mesh_.op(), floor_, kFactor);
      mesh_.restore();
    }
  }

  // Untimed: the mesh back at its start, and what the case needs before it.
  void prepareTool() {
    mesh_.restore();
    ep::StretchToolState &s = tool_.state();
    switch (kind_) {
      case Case::FirstBuild:
        tool_.close();
        tool_.activate();
        tool_.state().factor = kFactor;  // as remembered from an earlier instance
        break;
      case Case::DragBuild:
      case Case::DragBuildCtrl:
        tool_.adjust(k_, q_, kind_ == Case::DragBuildCtrl);
        break;
      case Case::Recompute:  // what the panel's Factor control does
        s.factor = kFactor;
        s.updateAll = ep::kUpdateAllPairs;
        break;
      case Case::Draw:
      case Case::DragFrame:
        break;
    }
    if (cold_) flushAll();
  }
  void prepareFloor() {
    mesh_.restore();
    if (kind_ == Case::FirstBuild) floor_ = {};
    if (cold_) flushAll();
  }

  // The timed parts. `checked` runs on the checking host.
  const char *runTool(bool checked) {
    MeshEditOp *op = mesh_.op(checked);
    DrawSink &sink = checked ? checkedSink_ : sink_;
    switch (kind_) {
      case Case::FirstBuild:
      case Case::DragBuild:
      case Case::DragBuildCtrl:
      case Case::Recompute:
        return tool_.build(op);
      case Case::Draw:
        tool_.draw(sink.access());
        return nullptr;
      case Case::DragFrame: {
        tool_.adjust(k_, q_, false);
        const char *result = tool_.test() == LWT_TEST_UPDATE ? tool_.build(op) : "no update";
        if (tool_.dirty() != 0) tool_.draw(sink.access());
        return result;
      }
    }
    return nullptr;
  }
  void runFloor(bool checked) {
    MeshEditOp *op = mesh_.op(checked);
    DrawSink &sink = checked ? checkedSink_ : sink_;
    const int pairs = static_cast<int>(mesh_.size() / 2);
    switch (kind_) {
      case Case::FirstBuild:
        floorFirstBuild(op, floor_, kFactor);
        break;
      case Case::DragBuild:
      case Case::DragBuildCtrl:
        floorDragBuild(op, floor_, k_, q_, kind_ == Case::DragBuildCtrl);
        break;
      case Case::Recompute:
        floorRecompute(op, floor_, kFactor);
        break;
      case Case::Draw:
        floorDraw(sink.access(), floor_.positions.get(), floor_.handleVectors.get(), pairs);
        break;
      case Case::DragFrame:
        floorDragBuild(op, floor_, k_, q_, false);
        floorDraw(sink.access(), floor_.positions.get(), floor_.handleVectors.get(), pairs);
        break;
    }
  }

  // Runs the case once for each on the checking host; empty when they agree.
  std::string check() {
    const Outcome tool = checkedRun(true);
    const Outcome floor = checkedRun(false);
    if (!tool.failure.empty()) return tool.failure;
    if (!(tool.calls == floor.calls))
      return "different calls: tool " + describe(tool.calls) + "; floor " + describe(floor.calls);
    if (tool.opSequence != floor.opSequence)
      return "the same calls per kind, but not in the same order or arguments";
    if (tool.drawSequence != floor.drawSequence) return "different drawing calls or arguments";
    if (!sameBits(tool.mesh, floor.mesh)) return "the mesh differs after tool and floor";
    if (!sameBits(tool.positions, floor.positions)) return "the kept positions differ";
    if (!sameBits(tool.handleVectors, floor.handleVectors)) return "the kept handle vectors differ";
    return "";
  }

 private:
  Outcome checkedRun(bool isTool) {
    Outcome out;
    counts() = {};
    mesh_.resetSequence();
    checkedSink_.resetSequence();
    if (isTool) {
      prepareTool();
      counts() = {};
      if (const char *result = runTool(true); result != nullptr)
        out.failure = std::string("the build answered ") + result;
    } else {
      prepareFloor();
      counts() = {};
      runFloor(true);
    }
    out.calls = counts();
    if (isTool && out.calls[Call::MessageBox] != 0) out.failure = "the tool showed a message box";
    out.opSequence = mesh_.sequence();
    out.drawSequence = checkedSink_.sequence();
    out.mesh = mesh_.positions();
    const std::size_t points = mesh_.size();
    if (isTool) {
      const ep::StretchToolState &s = tool_.state();
      out.positions = flatten(s.positions, points);
      out.handleVectors = flatten(s.handleVectors, points / 2);
    } else {
      out.positions = flatten(floor_.positions.get(), points);
      out.handleVectors = flatten(floor_.handleVectors.get(), points / 2);
    }
    return out;
  }

  // The data of both sides out of the caches: the mesh, the tool's buffers
  // and the floor's arrays.
  void flushAll() {
    const std::size_t points = mesh_.size();
    flush(&mesh_.record(0), points * sizeof(EDPointInfo));
    const ep::StretchToolState &s = tool_.state();
    if (ep::hasBuffers(s)) {
      flush(s.positions, points * sizeof(ep::Vec3));
      flush(s.pointIds, points * sizeof(LWPntID));
      flush(s.inverted, points / 2 * sizeof(std::int32_t));
      flush(s.handleVectors, points / 2 * sizeof(ep::Vec3));
    }
    if (floor_.ids != nullptr) {
      flush(floor_.ids.get(), points * sizeof(LWPntID));
      flush(floor_.positions.get(), points * sizeof(Vec));
      flush(floor_.handleVectors.get(), points / 2 * sizeof(Vec));
    }
    fenceFlushes();
  }

  Case kind_;
  bool cold_;
  FloorMesh mesh_;
  Tool tool_;
  FloorState floor_;
  DrawSink sink_{false};
  DrawSink checkedSink_{true};
  int k_ = 0;
  Vec q_{};
};

// The rig of the running benchmark, kept across its repetitions (Google
// Benchmark calls the function again for each); checked once when made.
struct CurrentRig {
  Case kind{};
  long points = 0;
  bool cold = false;
  std::unique_ptr<Rig> rig;
  std::string problem;
};

CurrentRig &rigFor(Case kind, long points, bool cold) {
  static CurrentRig current;
  if (current.rig == nullptr || current.kind != kind || current.points != points || current.cold != cold) {
    current.rig.reset();
    current.rig = std::make_unique<Rig>(kind, static_cast<std::size_t>(points), cold);
    current.kind = kind;
    current.points = points;
    current.cold = cold;
    current.problem = current.rig->check();
  }
  return current;
}

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

void runCase(benchmark::State &st, Case kind, bool cold) {
  CurrentRig &current = rigFor(kind, static_cast<long>(st.range(0)), cold);
  if (!current.problem.empty()) {
    st.SkipWithError(current.problem.c_str());
    return;
  }
  Rig &rig = *current.rig;
  double toolTotal = 0, floorTotal = 0;
  bool toolFirst = true;
  const char *failure = nullptr;
  for (auto _ : st) {
    double tool = 0, floor = 0;
    for (int part = 0; part < 2; ++part) {
      if ((part == 0) == toolFirst) {
        rig.prepareTool();
        const Clock::time_point t0 = Clock::now();
        const char *result = rig.runTool(false);
        const Clock::time_point t1 = Clock::now();
        if (result != nullptr) failure = result;
        tool = seconds(t0, t1);
      } else {
        rig.prepareFloor();
        const Clock::time_point t0 = Clock::now();
        rig.runFloor(false);
        const Clock::time_point t1 = Clock::now();
        floor = seconds(t0, t1);
      }
    }
    toolFirst = !toolFirst;
    st.SetIterationTime(tool);
    toolTotal += tool;
    floorTotal += floor;
  }
  if (failure != nullptr) {
    st.SkipWithError((std::string("the build answered ") + failure).c_str());
    return;
  }
  st.counters["floor"] = benchmark::Counter(floorTotal, benchmark::Counter::kAvgIterations);
  st.counters["ratio"] = floorTotal > 0 ? toolTotal / floorTotal : 0.0;
}

double minimum(const std::vector<double> &v) {
  return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}
double maximum(const std::vector<double> &v) {
  return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
}

void registerCases() {
  for (const bool cold : {false, true}) {
    for (const CaseInfo &c : kCases) {
      const std::string name = std::string(c.name) + (cold ? "/cold" : "/warm");
      auto *b = benchmark::RegisterBenchmark(
          name.c_str(), [kind = c.kind, cold](benchmark::State &st) { runCase(st, kind, cold); });
      for (long n : kSizes) b->Arg(n);
      b->UseManualTime()->Unit(benchmark::kMillisecond);
      b->ComputeStatistics("min", minimum)->ComputeStatistics("max", maximum);
    }
  }
}

// Each case once for tool and floor, each between a reset and a dump of
// callgrind's counts, named "tool CASE N" or "floor CASE N".
int countInstructions(const std::vector<long> &sizes) {
#ifdef EP_HAVE_CALLGRIND
  if (RUNNING_ON_VALGRIND == 0) fatal("--instructions counts under valgrind --tool=callgrind only");
  for (const CaseInfo &c : kCases) {
    for (long n : sizes) {
      CurrentRig &current = rigFor(c.kind, n, false);
      if (!current.problem.empty()) fatal(std::string(c.name) + ": " + current.problem);
      Rig &rig = *current.rig;
      const std::string suffix = std::string(c.name) + " " + std::to_string(n);
      const std::string toolName = "tool " + suffix, floorName = "floor " + suffix;
      rig.prepareTool();
      CALLGRIND_ZERO_STATS;
      rig.runTool(false);
      CALLGRIND_DUMP_STATS_AT(toolName.c_str());
      rig.prepareFloor();
      CALLGRIND_ZERO_STATS;
      rig.runFloor(false);
      CALLGRIND_DUMP_STATS_AT(floorName.c_str());
    }
  }
  return 0;
#else
  (void)sizes;
  fatal("built without valgrind/callgrind.h");
#endif
}

}  // namespace
}  // namespace bench

int main(int argc, char **argv) {
  using namespace bench;
  if (argc > 1 && std::strcmp(argv[1], "--instructions") == 0) {
    std::vector<long> sizes;
    for (int i = 2; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
    if (sizes.empty()) sizes.assign(std::begin(kSizes), std::end(kSizes));
    return countInstructions(sizes);
  }
  // Our own flag, taken out before Google Benchmark sees the rest.
  std::string summaryFile;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--summary=", 10) == 0)
      summaryFile = argv[i] + 10;
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  registerCases();
  std::vector<CaseRow> rows;
  for (const CaseInfo &c : kCases) rows.push_back({c.name, c.label, c.target});
  RatioTable table(rows, summaryFile);
  benchmark::RunSpecifiedBenchmarks(&table);
  benchmark::Shutdown();
  return table.failed() ? 1 : 0;
}
