// The stand-in host's global services: lookups, withholding, message boxes,
// monitors and their faults, and the current host pointer the C callbacks go
// through.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "standin/host/host_globals.h"
#include "standin/host/progress_bar.h"

namespace {

using standin::HostGlobals;
using standin::MessageBox;
using standin::MessageKind;
using testing::ElementsAre;

TEST(Globals, ServesEachNameRecordsEveryLookupAndWithholdsOnRequest) {
  HostGlobals host;
  host.withhold("LWXPanel");
  EXPECT_EQ(HostGlobals::global("Info Messages 2", 0), host.messages().funcs());
  EXPECT_EQ(HostGlobals::global("LWM: Dynamic Monitor", 0), host.monitors().funcs());
  EXPECT_EQ(HostGlobals::global("LWXPanel", 0), nullptr);
  EXPECT_EQ(HostGlobals::global("Something Else", 0), nullptr);
  host.withhold("LWXPanel", false);
  EXPECT_EQ(HostGlobals::global("LWXPanel", 0), host.panels().funcs());
  EXPECT_THAT(host.lookups(), ElementsAre("Info Messages 2", "LWM: Dynamic Monitor", "LWXPanel",
                                          "Something Else", "LWXPanel"));
}

TEST(Globals, TheCurrentHostIsTheInnermostLiveOne) {
  EXPECT_EQ(HostGlobals::current(), nullptr);
  {
    auto outer = std::make_unique<HostGlobals>();
    auto inner = std::make_unique<HostGlobals>();
    auto innermost = std::make_unique<HostGlobals>();
    EXPECT_EQ(HostGlobals::current(), innermost.get());
    inner.reset();  // out of order
    innermost.reset();
    EXPECT_EQ(HostGlobals::current(), outer.get());
  }
  EXPECT_EQ(HostGlobals::current(), nullptr);
  EXPECT_EQ(HostGlobals::global("Info Messages 2", 0), nullptr);
}

TEST(Messages, RecordsEveryBoxAndPrintsOneLineEach) {
  HostGlobals host;
  std::ostringstream out;
  host.messages().setEcho(&out);
  LWMessageFuncs *funcs = host.messages().funcs();
  funcs->error("Error (Code #015)", "Unknown.");
  funcs->warning("Active layers contain no data for operation.", "Please select two or more points.");
  funcs->info("About", "Hello");
  EXPECT_THAT(host.messages().boxes(),
              ElementsAre(MessageBox{MessageKind::Error, "Error (Code #015)", "Unknown."},
                          MessageBox{MessageKind::Warning, "Active layers contain no data for operation.",
                                     "Please select two or more points."},
                          MessageBox{MessageKind::Info, "About", "Hello"}));
  EXPECT_EQ(out.str(),
            "Error: Error (Code #015): Unknown.\n"
            "Warning: Active layers contain no data for operation.: Please select two or more points.\n"
            "Info: About: Hello\n");
}

TEST(Monitor, LogsALifeAndAbortsFromTheChosenStepOn) {
  HostGlobals host;
  host.monitors().abortAtStep(3);
  LWMonitorFuncs *funcs = host.monitors().funcs();
  LWMonitor *monitor = funcs->create("Elastic_Pull", "Tasking...");
  ASSERT_NE(monitor, nullptr);
  monitor->init(monitor->data, 8);
  std::vector<int> answers;
  for (unsigned step = 1; step <= 4; ++step) answers.push_back(monitor->step(monitor->data, step));
  monitor->done(monitor->data);
  funcs->destroy(monitor);
  EXPECT_THAT(answers, ElementsAre(0, 0, 1, 1));
  ASSERT_EQ(host.monitors().history().size(), 1u);
  const standin::MonitorLog &log = host.monitors().history()[0];
  EXPECT_EQ(log.title, "Elastic_Pull");
  EXPECT_EQ(log.caption, "Tasking...");
  EXPECT_EQ(log.total, 8u);
  EXPECT_EQ(log.stepCalls, 4u);
  EXPECT_EQ(log.progress, 10u);
  EXPECT_TRUE(log.aborted && log.done && log.destroyed);
  EXPECT_EQ(host.monitors().liveCount(), 0u);
}

TEST(Monitor, NoMonitorAndTheInterruptFlag) {
  HostGlobals host;
  host.monitors().setAvailable(false);
  EXPECT_EQ(host.monitors().funcs()->create("t", "c"), nullptr);
  EXPECT_TRUE(host.monitors().history().empty());

  host.monitors().setAvailable(true);
  std::atomic<bool> interrupted{false};
  host.monitors().setInterruptFlag(&interrupted);
  LWMonitor *monitor = host.monitors().funcs()->create("t", "c");
  monitor->init(monitor->data, 2);
  EXPECT_EQ(monitor->step(monitor->data, 1), 0);
  interrupted = true;
  EXPECT_NE(monitor->step(monitor->data, 1), 0);
  host.monitors().funcs()->destroy(monitor);
}

TEST(Monitor, DrawsABarOnlyWhenAskedOrOnATerminal) {
  HostGlobals host;
  std::ostringstream out;
  host.monitors().setDisplayStream(&out);
  host.monitors().setDisplay(standin::MonitorService::Display::Always);
  LWMonitor *monitor = host.monitors().funcs()->create("Elastic_Pull", "Tasking...");
  monitor->init(monitor->data, 4);
  for (int i = 0; i < 4; ++i) monitor->step(monitor->data, 1);
  monitor->done(monitor->data);
  host.monitors().funcs()->destroy(monitor);
  EXPECT_THAT(out.str(), testing::StartsWith("\rElastic_Pull: Tasking... ["));
  EXPECT_THAT(out.str(), testing::EndsWith("] 100% done\n"));

  std::ostringstream quiet;
  host.monitors().setDisplayStream(&quiet);
  host.monitors().setDisplay(standin::MonitorService::Display::Off);
  monitor = host.monitors().funcs()->create("a", "b");
  monitor->init(monitor->data, 100000);
  monitor->step(monitor->data, 100000);
  monitor->done(monitor->data);
  host.monitors().funcs()->destroy(monitor);
  EXPECT_EQ(quiet.str(), "");
}

// A build steps its monitor once a point: the bar looks at the clock a few
// times a percent at most, yet shows the progress once 100 ms have passed.
TEST(Monitor, ABarOfAMillionStepsIsRedrawnAsItsFigureChanges) {
  HostGlobals host;
  std::ostringstream out;
  host.monitors().setDisplayStream(&out);
  host.monitors().setDisplay(standin::MonitorService::Display::Always);
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
TEST(Monitor, ABarEndsAtOneHundredPercentWhenThePassIsDoneWhateverStepItReached) {
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
    host.monitors().setDisplayStream(&out);
    host.monitors().setDisplay(standin::MonitorService::Display::Always);
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
  using standin::ProgressBar;
  std::ostringstream small, large, failed;
  standin::withProgressBar(&small, "Reading small.obj", kFileProgressMinBytes - 1,
                           [](ProgressBar &bar) { bar.update(kFileProgressMinBytes - 1); });
  EXPECT_EQ(small.str(), "");
  standin::withProgressBar(&large, "Writing large.obj", 2 * kFileProgressMinBytes,
                           [](ProgressBar &bar) { bar.update(kFileProgressMinBytes); });
  EXPECT_THAT(large.str(), testing::StartsWith("\rWriting large.obj [...."));
  EXPECT_THAT(large.str(), testing::EndsWith("[########################################] 100% done\n"));
  EXPECT_THROW(standin::withProgressBar(&failed, "Writing failed.obj", 4 * kFileProgressMinBytes,
                                        [](ProgressBar &bar) {
                                          bar.update(kFileProgressMinBytes);
                                          throw std::runtime_error("disk full");
                                        }),
               std::runtime_error);
  EXPECT_THAT(failed.str(), testing::EndsWith("]  25% failed\n"));
}

TEST(Monitor, AMessageDuringABarStartsOnALineOfItsOwn) {
  HostGlobals host;
  std::ostringstream out;
  host.monitors().setDisplayStream(&out);
  host.messages().setEcho(&out);
  host.monitors().setDisplay(standin::MonitorService::Display::Always);
  LWMonitor *monitor = host.monitors().funcs()->create("Elastic_Pull", "Tasking...");
  monitor->init(monitor->data, 4);
  monitor->step(monitor->data, 1);
  host.messages().funcs()->error("Error (Code #001)", "Unknown.");
  monitor->done(monitor->data);
  host.monitors().funcs()->destroy(monitor);
  EXPECT_THAT(out.str(), testing::HasSubstr("%\nError: Error (Code #001): Unknown.\n\rElastic_Pull"));
}

}  // namespace
