// How far a task is, and who shows it. The host core only reports progress (a
// build's monitor, reading or writing a file); a front end decides whether and
// how it is shown (standin/terminal/ draws a bar on a terminal).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace standin {

// How far a task is: `done` of `total` units (bytes, steps).
using ProgressReport = std::function<void(std::uint64_t done, std::uint64_t total)>;

class ProgressDisplay {
 public:
  virtual ~ProgressDisplay() = default;
  // A task named `label` of `total` units starts; one task at a time. Whether
  // it is shown at all (a small one may not be) is the display's choice.
  virtual void start(const std::string &label, std::uint64_t total) = 0;
  // The work done so far, at most the total.
  virtual void update(std::uint64_t done) = 0;
  // The task ended: "done" (shown as complete, whatever the last update was),
  // or why it stopped ("aborted", "failed"). A second finish does nothing.
  virtual void finish(std::string_view ending) = 0;
  // Other output is about to be written where the task is shown: end the
  // display's line if one is open, so that output starts on a line of its own.
  virtual void breakLine() = 0;
};

// Runs `task(report)` with the task shown on `display` (none when it is
// null); it finishes "done", or "failed" when the task throws.
template <typename Task>
void withProgress(ProgressDisplay *display, const std::string &label, std::uint64_t total, Task &&task) {
  if (display == nullptr) {
    task(ProgressReport([](std::uint64_t, std::uint64_t) {}));
    return;
  }
  display->start(label, total);
  try {
    task(ProgressReport([display](std::uint64_t done, std::uint64_t) { display->update(done); }));
  } catch (...) {
    display->finish("failed");
    throw;
  }
  display->finish("done");
}

}  // namespace standin
