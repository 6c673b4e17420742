// The stand-in host's global services: lookups, withholding, message boxes,
// monitors and their faults, and the current host pointer the C callbacks go
// through.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

#include "standin/host/host_globals.h"

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

}  // namespace
