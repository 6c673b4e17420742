// The host's "LWM: Dynamic Monitor" service.
//
// Every monitor the module creates is logged (title, caption, init total,
// the number of step calls and the sum of their increments, done, destroy) in
// history(), which keeps the logs of destroyed monitors too. A build steps a
// monitor once a point or more, so steps are counted, never listed. The LWMonitor records themselves are
// owned by this service: each lives from create until destroy (or until the service goes away, which frees
// any the module leaked).
//
// Faults for tests: no monitor at all (create answers NULL), an abort from
// the k-th step call on, and an abort while an interrupt flag is set (the
// program's SIGINT handler sets it; the flag is only read here).
//
// Display: each monitor's task is reported to the ProgressDisplay given with
// setDisplay (none by default): started at init with "TITLE: CAPTION" and the
// total, updated at every step, and finished when the monitor's done is called
// ("done", or "aborted" after an abort), whatever step it reached.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/host_abi.h"
#include "standin/host/progress_display.h"

namespace standin {

struct MonitorLog {
  std::string title;
  std::string caption;
  bool initCalled = false;
  unsigned int total = 0;
  unsigned long long stepCalls = 0;  // step calls
  unsigned long long progress = 0;   // sum of their increments
  bool aborted = false;              // some step answered non-zero
  bool done = false;
  bool destroyed = false;
};

class MonitorService {
 public:
  MonitorService();
  ~MonitorService();
  MonitorService(const MonitorService &) = delete;
  MonitorService &operator=(const MonitorService &) = delete;

  // The record handed to the module; lives as long as this service.
  LWMonitorFuncs *funcs() { return &funcs_; }

  LWMonitor *create(const char *title, const char *caption);
  void destroy(LWMonitor *monitor);

  // Faults.
  void setAvailable(bool available) { available_ = available; }
  // The k-th step call (1-based, counted per monitor) and every later one
  // answer "abort"; nullopt turns this off.
  void abortAtStep(std::optional<unsigned int> k) { abortAtStep_ = k; }
  void setInterruptFlag(const std::atomic<bool> *flag) { interrupt_ = flag; }

  // Where monitors show their progress; null: nowhere. It must outlive the
  // monitors or be replaced before they go on.
  void setDisplay(ProgressDisplay *display) { display_ = display; }
  // Other output (a message box) is about to start: the display ends an open
  // line, so that it starts on a line of its own.
  void breakDisplayLine();

  const std::deque<MonitorLog> &history() const { return history_; }
  std::size_t liveCount() const { return live_.size(); }

 private:
  struct Live;
  friend struct MonitorCallbacks;
  void init(Live &live, unsigned int total);
  int step(Live &live, unsigned int increment);
  void showStep(Live &live, unsigned int increment, bool abort);
  void done(Live &live);

  LWMonitorFuncs funcs_;
  std::vector<std::unique_ptr<Live>> live_;
  std::deque<MonitorLog> history_;  // deque: a Live keeps a pointer to its log
  bool available_ = true;
  std::optional<unsigned int> abortAtStep_;
  const std::atomic<bool> *interrupt_ = nullptr;
  ProgressDisplay *display_ = nullptr;
};

}  // namespace standin
