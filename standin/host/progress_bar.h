// The host's progress display: one line redrawn in place on a stream
// (standard error on a terminal),
//
//   Elastic_Pull: Tasking... [################........................]  40%
//
// ending, when the task ends, with "100% done" or with the figure it reached
// and why it stopped ("62% aborted"). Used for the tool's progress monitors
// and for reading and writing large mesh files.
//
// Updates are cheap enough to make for every step of a task of millions: the
// bar looks at the clock only once every thousandth of the total, and redraws
// only when its figure changed and at most every 100 ms.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

namespace standin {

// How far a task is: `done` of `total` units (bytes, steps).
using ProgressReport = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Files this large or larger show their progress while read or written
// (about 200,000 points); smaller ones take too little time to watch.
inline constexpr std::uint64_t kFileProgressMinBytes = std::uint64_t{8} << 20;

// Whether standard error is a terminal, where a progress bar belongs.
bool standardErrorIsTerminal();

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

// Runs `task(bar)` with a bar labelled `label` drawn on `out` when `out` is
// set and `total` is kFileProgressMinBytes or more (elsewhere the bar draws
// nothing); the bar ends "done", or "failed" when the task throws.
template <typename Task>
void withProgressBar(std::ostream *out, std::string label, std::uint64_t total, Task &&task) {
  ProgressBar bar(total >= kFileProgressMinBytes ? out : nullptr, std::move(label), total);
  bar.start();
  try {
    task(bar);
  } catch (...) {
    bar.finish("failed");
    throw;
  }
  bar.finish("done");
}

}  // namespace standin
