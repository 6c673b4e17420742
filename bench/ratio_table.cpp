#include "bench/ratio_table.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace bench {
namespace {

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t m = v.size() / 2;
  return v.size() % 2 == 1 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// The targets hold from 100k points up; time is linear when ten times the
// points take eight to twelve times as long.
constexpr long kScaleFrom = 100000, kScaleTo = 1000000;
constexpr double kScaleLow = 8.0, kScaleHigh = 12.0;
const char *const kStates[] = {"warm", "cold"};

struct Summary {
  double toolMs, floorMs, ratio, low, high;
};

Summary summarise(const std::vector<double> &tool, const std::vector<double> &floor,
                  const std::vector<double> &ratio) {
  return {median(tool), median(floor), median(ratio), *std::min_element(ratio.begin(), ratio.end()),
          *std::max_element(ratio.begin(), ratio.end())};
}

// "yes": the median and every run at or under the target; "med": the median
// only; "no".
const char *verdict(const Summary &s, double target) {
  if (s.ratio > target) return "no";
  return s.high <= target ? "yes" : "med";
}

}  // namespace

void RatioTable::ReportRuns(const std::vector<Run> &runs) {
  std::vector<Run> shown;
  for (const Run &run : runs) {
    if (run.error_occurred) {
      failed_ = true;
      errors_.push_back(run.benchmark_name() + ": " + run.error_message);
    }
    if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1) shown.push_back(run);
    if (run.run_type == Run::RT_Aggregate || run.error_occurred) continue;
    const auto floor = run.counters.find("floor");
    const auto ratio = run.counters.find("ratio");
    const std::string &name = run.run_name.function_name;  // "recompute/cold"
    const std::size_t slash = name.find('/');
    if (floor == run.counters.end() || ratio == run.counters.end() || slash == std::string::npos) continue;
    samples_[{name.substr(0, slash), name.substr(slash + 1), std::stol(run.run_name.args)}].push_back(
        {run.GetAdjustedRealTime(), floor->second.value * 1e3, ratio->second.value});
  }
  ConsoleReporter::ReportRuns(shown);
}

const std::vector<RatioTable::Sample> *RatioTable::samples(const std::string &name, const std::string &state,
                                                           long points) const {
  const auto it = samples_.find({name, state, points});
  return it == samples_.end() || it->second.empty() ? nullptr : &it->second;
}

void RatioTable::Finalize() {
  ConsoleReporter::Finalize();
  std::FILE *out = stdout;
  std::fflush(out);
  std::FILE *summary = summaryFile_.empty() ? nullptr : std::fopen(summaryFile_.c_str(), "a");
  std::set<long> sizes;
  std::size_t runs = 0;
  for (const auto &[key, list] : samples_) {
    sizes.insert(std::get<2>(key));
    runs = std::max(runs, list.size());
  }
  std::fprintf(
      out,
      "\nThe module against the floor (the same host calls and pair arithmetic alone), in the same run;\n"
      "ms and ratio are medians of %zu runs, min..max the spread of the ratio, met: yes = median and\n"
      "every run at or under the target, med = the median only.\n\n",
      runs);
  std::fprintf(out, "%-18s %8s | %-36s | %-36s | %6s %4s %4s\n", "", "",
               "warm (as the reset leaves the caches)", "cold (caches flushed first)", "", "met", "met");
  std::fprintf(out, "%-18s %8s | %8s %8s %6s %12s | %8s %8s %6s %12s | %6s %4s %4s\n", "case", "points",
               "tool ms", "floor ms", "ratio", "min..max", "tool ms", "floor ms", "ratio", "min..max",
               "target", "warm", "cold");
  for (const CaseRow &c : cases_) {
    for (long n : sizes) {
      char cells[2][64];
      const char *met[2] = {"", ""};
      bool any = false;
      for (int i = 0; i < 2; ++i) {
        const std::vector<Sample> *list = samples(c.name, kStates[i], n);
        if (list == nullptr) {
          std::snprintf(cells[i], sizeof cells[i], "%36s", "-");
          continue;
        }
        any = true;
        std::vector<double> tool, floor, ratio;
        for (const Sample &s : *list) {
          tool.push_back(s.toolMs);
          floor.push_back(s.floorMs);
          ratio.push_back(s.ratio);
        }
        const Summary s = summarise(tool, floor, ratio);
        std::snprintf(cells[i], sizeof cells[i], "%8.3f %8.3f %6.3f %5.3f..%-5.3f", s.toolMs, s.floorMs,
                      s.ratio, s.low, s.high);
        if (n < kScaleFrom) continue;
        met[i] = verdict(s, c.target);
        if (summary != nullptr)
          std::fprintf(summary, "module: %s, %ld points, %s|%.3f|%.3f..%.3f|%.2f|%s\n", c.label.c_str(), n,
                       kStates[i], s.ratio, s.low, s.high, c.target, met[i]);
      }
      if (!any) continue;
      char target[16] = "";
      if (n >= kScaleFrom) std::snprintf(target, sizeof target, "%.2f", c.target);
      std::fprintf(out, "%-18s %8ld | %s | %s | %6s %4s %4s\n", c.label.c_str(), n, cells[0], cells[1],
                   target, met[0], met[1]);
    }
  }

  std::fprintf(out, "\nTime from %ld to %ld points (medians; linear: x%.0f to x%.0f):\n", kScaleFrom,
               kScaleTo, kScaleLow, kScaleHigh);
  for (const CaseRow &c : cases_) {
    std::string line;
    for (const char *state : kStates) {
      const std::vector<Sample> *from = samples(c.name, state, kScaleFrom);
      const std::vector<Sample> *to = samples(c.name, state, kScaleTo);
      if (from == nullptr || to == nullptr) continue;
      std::vector<double> toolFrom, toolTo, floorFrom, floorTo;
      for (const Sample &s : *from) toolFrom.push_back(s.toolMs), floorFrom.push_back(s.floorMs);
      for (const Sample &s : *to) toolTo.push_back(s.toolMs), floorTo.push_back(s.floorMs);
      const double grow = median(toolTo) / median(toolFrom);
      const double floorGrow = median(floorTo) / median(floorFrom);
      const bool linear = grow >= kScaleLow && grow <= kScaleHigh;
      char part[96];
      std::snprintf(part, sizeof part, "  %s: tool x%.2f, floor x%.2f (%s)", state, grow, floorGrow,
                    linear ? "linear" : "not");
      line += part;
      if (summary != nullptr)
        std::fprintf(summary, "module: %s, time 100k to 1M points, %s|x%.2f|floor x%.2f|x%.0f..x%.0f|%s\n",
                     c.label.c_str(), state, grow, floorGrow, kScaleLow, kScaleHigh, linear ? "yes" : "no");
    }
    if (!line.empty()) std::fprintf(out, "%-18s%s\n", c.label.c_str(), line.c_str());
  }
  for (const std::string &e : errors_) {
    std::fprintf(out, "\nFAILED %s\n", e.c_str());
    if (summary != nullptr) std::fprintf(summary, "module: FAILED %s||||no\n", e.c_str());
  }
  std::fflush(out);
  if (summary != nullptr) std::fclose(summary);
}

}  // namespace bench
