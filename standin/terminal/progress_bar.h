// The progress display of a terminal: one line redrawn in place on a stream
// (standard error on a terminal),
//
//   Elastic_Pull: Tasking... [################........................]  40%
//
// ending, when the task ends, with "100% done" or with the figure it reached
// and why it stopped ("62% aborted"). The program shows the tool's progress
// monitors and the reading and writing of large mesh files so.
//
// Updates are cheap enough to make for every step of a task of millions: the
// bar looks at the clock only once every thousandth of the total, and redraws
// only when its figure changed and at most every 100 ms.
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "standin/host/progress_display.h"

namespace standin {

// Files this large or larger show their progress while read or written
// (about 200,000 points); smaller ones take too little time to watch.
inline constexpr std::uint64_t kFileProgressMinBytes = std::uint64_t{8} << 20;
// A build's monitor is shown from this many steps on.
inline constexpr std::uint64_t kMonitorBarMinTotal = 10000;

// Whether standard error is a terminal, where a progress bar belongs.
bool standardErrorIsTerminal();

// One bar for one task.
class ProgressBar {
 public:
  // Draws nothing when `out` is null.
  ProgressBar(std::ostream *out, std::string label, std::uint64_t total);

  // Draws the bar at 0.
  void start();
  // The work done so far, at most `total`; true when the bar was redrawn
  // (its line is then open: the next output should start a new line).
  bool update(std::uint64_t done);
  // Ends the line with the figure and a word after it: "done" shows 100%
  // whatever the last update was, anything else ("aborted") the figure
  // reached.
  void finish(std::string_view ending);
  bool finished() const { return finished_; }

 private:
  void draw(int percent, std::string_view ending);

  std::ostream *out_;
  std::string label_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
  std::uint64_t nextLook_ = 0;  // progress at which the bar looks at the clock again
  int shownPercent_ = -1;
  std::chrono::steady_clock::time_point lastDraw_{};
  bool finished_ = false;
};

// A ProgressDisplay that draws a ProgressBar on `out` for every task of at
// least `minTotal` units (smaller ones are not shown).
class TerminalProgress final : public ProgressDisplay {
 public:
  TerminalProgress(std::ostream &out, std::uint64_t minTotal) : out_(out), minTotal_(minTotal) {}

  void start(const std::string &label, std::uint64_t total) override;
  void update(std::uint64_t done) override;
  void finish(std::string_view ending) override;
  void breakLine() override;

 private:
  std::ostream &out_;
  std::uint64_t minTotal_;
  std::optional<ProgressBar> bar_;
  bool lineOpen_ = false;
};

}  // namespace standin
