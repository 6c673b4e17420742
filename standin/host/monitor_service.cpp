#include "standin/host/monitor_service.h"

#include <algorithm>

#include "standin/host/host_globals.h"

namespace standin {

// One monitor handed to the module. `record.data` points back at this.
struct MonitorService::Live {
  LWMonitor record{};
  MonitorService *owner = nullptr;
  MonitorLog *log = nullptr;
  unsigned int stepCalls = 0;
  bool shown = false;  // its task was started on the display
};

// A build steps once a point or more: defined before the entry point that
// calls it, so that the call is made in line.
inline int MonitorService::step(Live &live, unsigned int increment) {
  ++live.stepCalls;
  ++live.log->stepCalls;
  live.log->progress += increment;
  bool abort = (abortAtStep_ && live.stepCalls >= *abortAtStep_) ||
               (interrupt_ != nullptr && interrupt_->load(std::memory_order_relaxed));
  if (abort) live.log->aborted = true;
  // A build steps once a point: the trace and the display are out of line.
  if (HostGlobals *host = HostGlobals::current();
      (host != nullptr && host->tracer().on()) || (live.shown && display_ != nullptr)) [[unlikely]]
    showStep(live, increment, abort);
  return abort ? 1 : 0;
}

// The C entry points. create/destroy reach the service through the current
// host; the monitor's own calls through its data pointer.
struct MonitorCallbacks {
  static LWMonitor *create(const char *title, const char *caption) {
    HostGlobals *host = HostGlobals::current();
    return host != nullptr ? host->monitors().create(title, caption) : nullptr;
  }
  static void destroy(LWMonitor *monitor) {
    if (HostGlobals *host = HostGlobals::current()) host->monitors().destroy(monitor);
  }
  static void init(void *data, unsigned int total) {
    auto *live = static_cast<MonitorService::Live *>(data);
    live->owner->init(*live, total);
  }
  static int step(void *data, unsigned int increment) {
    auto *live = static_cast<MonitorService::Live *>(data);
    return live->owner->step(*live, increment);
  }
  static void done(void *data) {
    auto *live = static_cast<MonitorService::Live *>(data);
    live->owner->done(*live);
  }
};

MonitorService::MonitorService()
    : funcs_{&MonitorCallbacks::create, &MonitorCallbacks::destroy} {}

MonitorService::~MonitorService() = default;

LWMonitor *MonitorService::create(const char *title, const char *caption) {
  HostGlobals *host = HostGlobals::current();
  auto trace = [&](LWMonitor *result) {
    if (host != nullptr && host->tracer().on())
      host->tracer()("monitor.create(" + traceText(title) + ", " + traceText(caption) + ") -> " +
                     tracePtr(result));
    return result;
  };
  if (!available_) return trace(nullptr);
  MonitorLog log;
  log.title = title != nullptr ? title : "";
  log.caption = caption != nullptr ? caption : "";
  history_.push_back(std::move(log));
  auto live = std::make_unique<Live>();
  live->owner = this;
  live->log = &history_.back();
  live->record =
      LWMonitor{live.get(), &MonitorCallbacks::init, &MonitorCallbacks::step, &MonitorCallbacks::done};
  LWMonitor *record = &live->record;
  live_.push_back(std::move(live));
  return trace(record);
}

void MonitorService::destroy(LWMonitor *monitor) {
  if (HostGlobals *host = HostGlobals::current(); host != nullptr && host->tracer().on())
    host->tracer()("monitor.destroy(" + tracePtr(monitor) + ")");
  auto found = std::find_if(live_.begin(), live_.end(), [&](const auto &l) { return &l->record == monitor; });
  if (found == live_.end()) return;  // unknown or already destroyed: ignored
  (*found)->log->destroyed = true;
  live_.erase(found);
}

void MonitorService::init(Live &live, unsigned int total) {
  live.log->initCalled = true;
  live.log->total = total;
  if (HostGlobals *host = HostGlobals::current(); host != nullptr && host->tracer().on())
    host->tracer()("monitor.init(" + std::to_string(total) + ")");
  live.shown = display_ != nullptr;
  if (live.shown) display_->start(live.log->title + ": " + live.log->caption, total);
}

void MonitorService::showStep(Live &live, unsigned int increment, bool abort) {
  // Steps come by the hundred thousand: only traced, never printed.
  if (HostGlobals *host = HostGlobals::current(); host != nullptr && host->tracer().on())
    host->tracer()("monitor.step(" + std::to_string(increment) + ") -> " + (abort ? "1" : "0"));
  if (live.shown && display_ != nullptr) display_->update(live.log->progress);
}

void MonitorService::done(Live &live) {
  live.log->done = true;
  if (HostGlobals *host = HostGlobals::current(); host != nullptr && host->tracer().on())
    host->tracer()("monitor.done()");
  // The pass is over: the display shows its end, whatever figure the steps
  // reached (a tool may count more steps in its total than it makes).
  if (live.shown && display_ != nullptr) display_->finish(live.log->aborted ? "aborted" : "done");
  live.shown = false;
}

void MonitorService::breakDisplayLine() {
  if (display_ != nullptr) display_->breakLine();
}

}  // namespace standin
