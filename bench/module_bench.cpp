// The module's speed against the floor, for 10,000, 100,000 and 1,000,000
// selected points, on 64-bit Linux (bench/module_rig.h has the module, the
// cases and the checks; ep_module_ratio runs the same rig without Google
// Benchmark in the 32-bit builds):
//
//   first_build      a fresh instance's first build (buffers, scan, every pair
//                    stretched, every position read back)
//   drag_build       the build after a drag of one handle, without CTRL
//   drag_build_ctrl  the same with CTRL: every pair takes the solved factor
//   recompute        a panel edit: every pair recomputed
//   draw             the overlay: twelve drawing calls a pair
//   drag_frame       what one mouse move of a drag costs: adjust, test, build,
//                    dirty, draw
//   *_sym            the pair loops with Symmetry on: both ends of every pair move
//
// The module is the shipped file, elasticpull.p, loaded as a host loads it.
// Each iteration times the tool and then the floor (bench/floor.h) on the
// same host (bench/floor_host.h), alternating which goes first, each read
// with the thread's CPU time (benchClock: a busy machine's waits for a core
// do not count); before each timed part the mesh is put back where it started, outside the timing, so
// builds do not compound. The time reported is the tool's; the counters are
// the floor's time and the ratio tool/floor over the whole run.
//
// Every case runs in two cache states. "warm": as the reset leaves the mesh,
// in the caches as far as it fits (a small mesh entirely, a large one hardly).
// "cold": the mesh, the tool's buffers and the floor's arrays flushed from
// every cache level before each timed part, as after the host has drawn a
// frame of a large scene; only here is time proportional to the points.
//
//   ep_module_bench [--module=FILE] [--summary=FILE] [Google Benchmark flags]
//                                              the ratio table at the end; FILE
//                                              gets the targeted ratios (for
//                                              scripts/bench.sh)
//   ep_module_bench [--module=FILE] --instructions [N...]
//                                              under callgrind: each case once
//                                              (warm) for tool and floor, each
//                                              dumped as "tool|floor CASE N"
//
// FILE defaults to the elasticpull.p this build made.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/module_rig.h"
#include "bench/ratio_table.h"
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define EP_HAVE_CALLGRIND 1
#endif

namespace bench {
namespace {

const long kSizes[] = {10000, 100000, 1000000};

// The rig of the running benchmark, kept across its repetitions (Google
// Benchmark calls the function again for each); checked once when made.
struct CurrentRig {
  const CaseInfo *info = nullptr;
  long points = 0;
  bool cold = false;
  std::unique_ptr<Rig> rig;
  std::string problem;
};

CurrentRig &rigFor(const CaseInfo &info, long points, bool cold) {
  static CurrentRig current;
  if (current.rig == nullptr || current.info != &info || current.points != points || current.cold != cold) {
    current.rig.reset();
    current.rig = std::make_unique<Rig>(info, static_cast<std::size_t>(points), cold);
    current.info = &info;
    current.points = points;
    current.cold = cold;
    current.problem = current.rig->check();
  }
  return current;
}

void runCase(benchmark::State &st, const CaseInfo &info, bool cold) {
  CurrentRig &current = rigFor(info, static_cast<long>(st.range(0)), cold);
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
        const double t0 = benchClock();
        const char *result = rig.runTool(false);
        const double t1 = benchClock();
        if (result != nullptr) failure = result;
        tool = t1 - t0;
      } else {
        rig.prepareFloor();
        const double t0 = benchClock();
        rig.runFloor(false);
        const double t1 = benchClock();
        floor = t1 - t0;
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
    for (std::size_t i = 0; i < kCaseCount; ++i) {
      const CaseInfo &c = kCases[i];
      const std::string name = std::string(c.name) + (cold ? "/cold" : "/warm");
      auto *b = benchmark::RegisterBenchmark(name.c_str(),
                                             [&c, cold](benchmark::State &st) { runCase(st, c, cold); });
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
  for (std::size_t i = 0; i < kCaseCount; ++i) {
    const CaseInfo &c = kCases[i];
    for (long n : sizes) {
      CurrentRig &current = rigFor(c, n, false);
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
  // Our own flags, taken out before Google Benchmark sees the rest.
  std::string summaryFile, moduleFile = EP_BENCH_MODULE_FILE;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--summary=", 10) == 0)
      summaryFile = argv[i] + 10;
    else if (std::strncmp(argv[i], "--module=", 9) == 0)
      moduleFile = argv[i] + 9;
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  loadModule(moduleFile);
  if (argc > 1 && std::strcmp(argv[1], "--instructions") == 0) {
    std::vector<long> sizes;
    for (int i = 2; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
    if (sizes.empty()) sizes.assign(std::begin(kSizes), std::end(kSizes));
    return countInstructions(sizes);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  registerCases();
  std::vector<CaseRow> rows;
  for (std::size_t i = 0; i < kCaseCount; ++i)
    rows.push_back({kCases[i].name, kCases[i].label, kCases[i].target});
  RatioTable table(rows, summaryFile);
  benchmark::RunSpecifiedBenchmarks(&table);
  benchmark::Shutdown();
  return table.failed() ? 1 : 0;
}
