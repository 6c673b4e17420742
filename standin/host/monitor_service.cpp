#include "standin/host/monitor_service.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "standin/host/host_globals.h"

#ifdef _WIN32
#include <io.h>
#define STANDIN_ISATTY _isatty
#define STANDIN_STDERR_FD 2
#else
#include <unistd.h>
#define STANDIN_ISATTY isatty
#define STANDIN_STDERR_FD STDERR_FILENO
#endif

namespace standin {

namespace {
constexpr int kBarWidth = 40;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
}  // namespace

// One monitor handed to the module. `record.data` points back at this.
struct MonitorService::Live {
  LWMonitor record{};
  MonitorService *owner = nullptr;
  MonitorLog *log = nullptr;
  unsigned int stepCalls = 0;
  bool bar = false;  // decided at init
  int shownPercent = -1;
  unsigned long long nextLook = 0;  // progress at which the bar looks again
  std::chrono::steady_clock::time_point lastDraw{};
};

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
    : funcs_{&MonitorCallbacks::create, &MonitorCallbacks::destroy}, out_(&std::cerr) {}

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
  bool terminal = STANDIN_ISATTY(STANDIN_STDERR_FD) != 0;
  live.bar = out_ != nullptr && (display_ == Display::Always ||
                                 (display_ == Display::Auto && terminal && total >= kBarMinTotal));
  if (HostGlobals *host = HostGlobals::current(); host != nullptr && host->tracer().on())
    host->tracer()("monitor.init(" + std::to_string(total) + ")");
  if (live.bar) drawBar(live, false);
}

int MonitorService::step(Live &live, unsigned int increment) {
  ++live.stepCalls;
  ++live.log->stepCalls;
  live.log->progress += increment;
  bool abort = (abortAtStep_ && live.stepCalls >= *abortAtStep_) ||
               (interrupt_ != nullptr && interrupt_->load(std::memory_order_relaxed));
  if (abort) live.log->aborted = true;
  // Steps come by the hundred thousand: only traced, never printed.
  if (HostGlobals *host = HostGlobals::current(); host != nullptr && host->tracer().on())
    host->tracer()("monitor.step(" + std::to_string(increment) + ") -> " + (abort ? "1" : "0"));
  if (live.bar) drawBar(live, false);
  return abort ? 1 : 0;
}

void MonitorService::done(Live &live) {
  live.log->done = true;
  if (HostGlobals *host = HostGlobals::current(); host != nullptr && host->tracer().on())
    host->tracer()("monitor.done()");
  if (live.bar) drawBar(live, true);
}

void MonitorService::drawBar(Live &live, bool final) {
  const MonitorLog &log = *live.log;
  unsigned long long total = std::max<unsigned long long>(log.total, 1);
  // Steps come by the million: between redraws the bar looks again only
  // every thousandth of the total.
  if (!final) {
    if (log.progress < live.nextLook) return;
    live.nextLook = log.progress + std::max<unsigned long long>(1, total / 1000);
  }
  int percent = static_cast<int>(std::min<unsigned long long>(100, log.progress * 100 / total));
  auto now = std::chrono::steady_clock::now();
  if (!final && (percent == live.shownPercent || now - live.lastDraw < kRedrawInterval)) return;
  live.shownPercent = percent;
  live.lastDraw = now;
  int filled = percent * kBarWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
  char line[64];
  std::snprintf(line, sizeof line, "] %3d%%%s", percent, log.aborted ? " aborted" : "");
  *out_ << '\r' << log.title << ": " << log.caption << " [" << bar << line;
  if (final) *out_ << '\n';
  barLineOpen_ = !final;
  out_->flush();
}

void MonitorService::endBarLine() {
  if (!barLineOpen_) return;
  *out_ << '\n';
  out_->flush();
  barLineOpen_ = false;
}

}  // namespace standin
