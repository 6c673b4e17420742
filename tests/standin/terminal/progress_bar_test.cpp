// Progress on a terminal: a build's monitor and the reading and writing of a
// large file shown as a bar redrawn in place, ending "done" or where it stopped.
#include "standin/terminal/progress_bar.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "standin/host/host_globals.h"

namespace {

using standin::HostGlobals;
using standin::TerminalProgress;

TEST(MonitorBar, DrawsABarOnlyForTasksLargeEnough) {
  HostGlobals host;
  std::ostringstream out;
  TerminalProgress display(out, 0);
  host.monitors().setDisplay(&display);
  LWMonitor *monitor = host.monitors().funcs()->create("Elastic_Pull", "Tasking...");
  monitor->init(monitor->data, 4);
  for (int i = 0; i < 4; ++i) monitor->step(monitor->data, 1);
  monitor->done(monitor->data);
  host.monitors().funcs()->destroy(monitor);
  EXPECT_THAT(out.str(), testing::StartsWith("\rElastic_Pull: Tasking... ["));
  EXPECT_THAT(out.str(), testing::EndsWith("] 100% done\n"));

  // A task below the display's least total, and no display at all, show nothing.
  std::ostringstream quiet;
  TerminalProgress small(quiet, standin::kMonitorBarMinTotal);
  host.monitors().setDisplay(&small);
  monitor = host.monitors().funcs()->create("a", "b");
  monitor->init(monitor->data, standin::kMonitorBarMinTotal - 1);
  monitor->step(monitor->data, 100);
  monitor->done(monitor->data);
  host.monitors().funcs()->destroy(monitor);
  host.monitors().setDisplay(nullptr);
  monitor = host.monitors().funcs()->create("a", "b");
  monitor->init(monitor->data, 100000);
  monitor->step(monitor->data, 100000);
  monitor->done(monitor->data);
  host.monitors().funcs()->destroy(monitor);
  EXPECT_EQ(quiet.str(), "");
}

// A build steps its monitor once a point: the bar looks at the clock a few
// times a percent at most, yet shows the progress once 100 ms have passed.
TEST(MonitorBar, ABarOfAMillionStepsIsRedrawnAsItsFigureChanges) {
  HostGlobals host;
  std::ostringstream out;
  TerminalProgress display(out, 0);
  host.monitors().setDisplay(&display);
  LWMonitor *monitor = host.monitors().funcs()->create("Elastic_Pull", "Tasking...");
  constexpr unsigned kSteps = 1000000;
  monitor->init(monitor->data, kSteps);
  for (unsigned i = 0; i < kSteps / 2; ++i) monitor->step(monitor->data, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  for (unsigned i = 0; i < kSteps / 2; ++i) monitor->step(monitor->data, 1);
  monitor->done(monitor->data);
  host.monitors().funcs()->destroy(monitor);
  const std::string bar = out.str();
  EXPECT_LE(std::count(bar.begin(), bar.end(), '\r'), 102) << bar;
  EXPECT_THAT(bar, testing::HasSubstr("]  50%\r")) << "the figure after the pause";
  EXPECT_THAT(bar, testing::EndsWith("] 100% done\n"));
  EXPECT_EQ(host.monitors().history().back().stepCalls, kSteps);
}

// A tool may count more steps in its total than it makes (two a point, one
// made): when it calls done the pass is over, and the bar says so. After an
// abort it stays at the figure reached.
TEST(MonitorBar, ABarEndsAtOneHundredPercentWhenThePassIsDoneWhateverStepItReached) {
  struct Case {
    unsigned total;
    unsigned steps;
    bool abort;
    const char *ending;
  };
  const Case cases[] = {
      {20000, 10000, false, "] 100% done\n"},   {20000, 15000, false, "] 100% done\n"},
      {20000, 20000, false, "] 100% done\n"},   {20000, 0, false, "] 100% done\n"},
      {20000, 10000, true, "]  50% aborted\n"},
  };
  for (const Case &c : cases) {
    HostGlobals host;
    std::ostringstream out;
    TerminalProgress display(out, 0);
    host.monitors().setDisplay(&display);
    if (c.abort) host.monitors().abortAtStep(c.steps);
    LWMonitor *monitor = host.monitors().funcs()->create("Elastic_Pull", "Tasking...");
    monitor->init(monitor->data, c.total);
    for (unsigned i = 0; i < c.steps; ++i) monitor->step(monitor->data, 1);
    monitor->done(monitor->data);
    monitor->done(monitor->data);  // a second done draws nothing more
    host.monitors().funcs()->destroy(monitor);
    const std::string bar = out.str();
    EXPECT_THAT(bar, testing::EndsWith(c.ending)) << c.steps << " of " << c.total;
    EXPECT_EQ(std::count(bar.begin(), bar.end(), '\n'), 1) << bar;
  }
}

// Reading and writing a mesh file: a bar only for a large file, ending
// "done", or where it was and "failed" when the task throws.
TEST(ProgressBar, AFileTaskShowsABarOnlyWhenLargeAndEndsDoneOrFailed) {
  using standin::kFileProgressMinBytes;
  using standin::ProgressReport;
  std::ostringstream small, large, failed;
  TerminalProgress smallBars(small, kFileProgressMinBytes), largeBars(large, kFileProgressMinBytes),
      failedBars(failed, kFileProgressMinBytes);
  standin::withProgress(&smallBars, "Reading small.obj", kFileProgressMinBytes - 1,
                        [](const ProgressReport &report) { report(kFileProgressMinBytes - 1, 0); });
  EXPECT_EQ(small.str(), "");
  standin::withProgress(&largeBars, "Writing large.obj", 2 * kFileProgressMinBytes,
                        [](const ProgressReport &report) { report(kFileProgressMinBytes, 0); });
  EXPECT_THAT(large.str(), testing::StartsWith("\rWriting large.obj [...."));
  EXPECT_THAT(large.str(), testing::EndsWith("[########################################] 100% done\n"));
  EXPECT_THROW(standin::withProgress(&failedBars, "Writing failed.obj", 4 * kFileProgressMinBytes,
                                     [](const ProgressReport &report) {
                                       report(kFileProgressMinBytes, 0);
                                       throw std::runtime_error("disk full");
                                     }),
               std::runtime_error);
  EXPECT_THAT(failed.str(), testing::EndsWith("]  25% failed\n"));
}

TEST(MonitorBar, AMessageDuringABarStartsOnALineOfItsOwn) {
  HostGlobals host;
  std::ostringstream out;
  TerminalProgress display(out, 0);
  host.messages().setEcho(&out);
  host.monitors().setDisplay(&display);
  LWMonitor *monitor = host.monitors().funcs()->create("Elastic_Pull", "Tasking...");
  monitor->init(monitor->data, 4);
  monitor->step(monitor->data, 1);
  host.messages().funcs()->error("Error (Code #001)", "Unknown.");
  monitor->done(monitor->data);
  host.monitors().funcs()->destroy(monitor);
  EXPECT_THAT(out.str(), testing::HasSubstr("%\nError: Error (Code #001): Unknown.\n\rElastic_Pull"));
}

}  // namespace
