// The console reporter of the module benchmarks: Google Benchmark's own lines
// (only the aggregates when a benchmark is repeated), then one table of the
// tool's time against the floor's for every case, size and cache state, with
// the spread of the ratio over the repetitions and the targets, and how the
// time grows from 100,000 to 1,000,000 points.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace bench {

struct CaseRow {
  std::string name;   // the benchmark's name before "/warm" or "/cold"
  std::string label;  // how the table calls it
  double target;      // the ratio the case must stay at or under
};

class RatioTable : public benchmark::ConsoleReporter {
 public:
  // With a summary file, Finalize also appends one line a targeted ratio to
  // it, "what|ratio|spread|target|met", the rows of scripts/bench.sh's
  // closing table.
  RatioTable(std::vector<CaseRow> cases, std::string summaryFile)
      : cases_(std::move(cases)), summaryFile_(std::move(summaryFile)) {}
  void ReportRuns(const std::vector<Run> &runs) override;
  void Finalize() override;
  // A benchmark stopped with an error (its check of tool against floor).
  bool failed() const { return failed_; }

 private:
  struct Sample {
    double toolMs, floorMs, ratio;
  };
  using Key = std::tuple<std::string, std::string, long>;  // case, cache state, points
  const std::vector<Sample> *samples(const std::string &name, const std::string &state, long points) const;

  std::vector<CaseRow> cases_;
  std::string summaryFile_;
  std::map<Key, std::vector<Sample>> samples_;
  std::vector<std::string> errors_;
  bool failed_ = false;
};

}  // namespace bench
