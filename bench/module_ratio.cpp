// The module against its floor without Google Benchmark, for the builds that
// have no Google Benchmark library: 32-bit Linux (-m32) and the Windows DLL
// under Wine. Same module file, rig, cases and checks as ep_module_bench
// (bench/module_rig.h), warm, at one size:
//
//   ep_module_ratio MODULE [--points N] [--repetitions R] [--iterations K]
//                          [--label TEXT] [--summary FILE]
//   ep_module_ratio MODULE --instructions [--points N]
//                          under callgrind: each case once for tool and
//                          floor, dumped as "tool|floor CASE N"
//
// Each case is checked once, then timed in R repetitions of K iterations;
// every iteration times the tool and the floor, alternating which goes first,
// each with the mesh put back outside the timing (the thread's CPU time on
// Linux, the wall clock under Windows: benchClock). A repetition's ratio is its
// tool time over its floor time; the table shows the medians of the times and
// of the ratios with their spread (lowest..highest repetition). With
// --summary, the targeted ratios are appended to FILE as rows of
// scripts/bench.sh's closing table, named with the label. Exits non-zero when
// a check fails.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/module_rig.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define EP_HAVE_CALLGRIND 1
#endif

namespace {

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t m = v.size() / 2;
  return v.size() % 2 == 1 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Whether a case has a target in the 32-bit builds: the loops over every pair.
bool targeted(const bench::CaseInfo &c) {
  return c.kind == bench::Case::Recompute || c.kind == bench::Case::DragBuildCtrl;
}
constexpr double kTarget32 = 1.30;

struct Options {
  std::string module;
  long points = 1000000;
  int repetitions = 5;
  int iterations = 5;
  std::string label = "module";
  std::string summary;
  bool instructions = false;
};

Options parse(int argc, char **argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--points" && hasValue)
      o.points = std::atol(argv[++i]);
    else if (a == "--repetitions" && hasValue)
      o.repetitions = std::atoi(argv[++i]);
    else if (a == "--iterations" && hasValue)
      o.iterations = std::atoi(argv[++i]);
    else if (a == "--label" && hasValue)
      o.label = argv[++i];
    else if (a == "--summary" && hasValue)
      o.summary = argv[++i];
    else if (a == "--instructions")
      o.instructions = true;
    else if (o.module.empty() && a.rfind("--", 0) != 0)
      o.module = a;
    else
      bench::fatal(
          "usage: ep_module_ratio MODULE [--points N] [--repetitions R] [--iterations K] "
          "[--label TEXT] [--summary FILE]");
  }
  if (o.module.empty() || o.points < 4 || o.points % 2 != 0 || o.repetitions < 1 || o.iterations < 1)
    bench::fatal("a module file, an even --points of 4 or more, --repetitions and --iterations of 1 or more");
  return o;
}

// Each case once for tool and floor, each between a reset and a dump of
// callgrind's counts.
int countInstructions(const Options &o) {
#ifdef EP_HAVE_CALLGRIND
  if (RUNNING_ON_VALGRIND == 0) bench::fatal("--instructions counts under valgrind --tool=callgrind only");
  for (std::size_t c = 0; c < bench::kCaseCount; ++c) {
    const bench::CaseInfo &info = bench::kCases[c];
    bench::Rig rig(info, static_cast<std::size_t>(o.points), false);
    if (const std::string problem = rig.check(); !problem.empty()) bench::fatal(info.name + (": " + problem));
    const std::string suffix = std::string(info.name) + " " + std::to_string(o.points);
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
  return 0;
#else
  (void)o;
  bench::fatal("built without valgrind/callgrind.h");
#endif
}

}  // namespace

int main(int argc, char **argv) {
  const Options o = parse(argc, argv);
  bench::loadModule(o.module);
  if (o.instructions) return countInstructions(o);
  std::FILE *summary = o.summary.empty() ? nullptr : std::fopen(o.summary.c_str(), "a");
  std::printf(
      "%s: %ld points, warm, %d repetitions of %d iterations, %s; ratios tool/floor, medians "
      "(min..max)\n",
      o.label.c_str(), o.points, o.repetitions, o.iterations, bench::benchClockName());
  std::printf("%-28s %10s %10s %8s %16s %7s %4s\n", "case", "tool ms", "floor ms", "ratio", "spread",
              "target", "met");
  bool failed = false;
  for (std::size_t c = 0; c < bench::kCaseCount; ++c) {
    const bench::CaseInfo &info = bench::kCases[c];
    bench::Rig rig(info, static_cast<std::size_t>(o.points), false);
    if (const std::string problem = rig.check(); !problem.empty()) {
      std::printf("%-28s FAILED: %s\n", info.label, problem.c_str());
      failed = true;
      continue;
    }
    std::vector<double> toolMs, floorMs, ratios;
    bool toolFirst = true;
    for (int r = 0; r < o.repetitions; ++r) {
      double tool = 0, floor = 0;
      for (int it = 0; it < o.iterations; ++it) {
        for (int part = 0; part < 2; ++part) {
          if ((part == 0) == toolFirst) {
            rig.prepareTool();
            const double t0 = bench::benchClock();
            const char *result = rig.runTool(false);
            tool += bench::benchClock() - t0;
            if (result != nullptr) bench::fatal(std::string(info.label) + ": the build answered " + result);
          } else {
            rig.prepareFloor();
            const double t0 = bench::benchClock();
            rig.runFloor(false);
            floor += bench::benchClock() - t0;
          }
        }
        toolFirst = !toolFirst;
      }
      toolMs.push_back(1000 * tool / o.iterations);
      floorMs.push_back(1000 * floor / o.iterations);
      ratios.push_back(tool / floor);
    }
    const double ratio = median(ratios);
    const double low = *std::min_element(ratios.begin(), ratios.end());
    const double high = *std::max_element(ratios.begin(), ratios.end());
    const char *met = !targeted(info) ? "" : ratio > kTarget32 ? "no" : high <= kTarget32 ? "yes" : "med";
    char spread[40], target[16];
    std::snprintf(spread, sizeof spread, "%.3f..%.3f", low, high);
    std::snprintf(target, sizeof target, targeted(info) ? "%.2f" : "", kTarget32);
    std::printf("%-28s %10.3f %10.3f %8.3f %16s %7s %4s\n", info.label, median(toolMs), median(floorMs),
                ratio, spread, target, met);
    if (summary != nullptr && targeted(info))
      std::fprintf(summary, "%s: %s, %ld points|%.3f|%s|%.2f|%s\n", o.label.c_str(), info.label, o.points,
                   ratio, spread, kTarget32, met);
    std::fflush(stdout);
  }
  if (summary != nullptr) std::fclose(summary);
  return failed ? 1 : 0;
}
