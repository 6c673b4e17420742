#include "interrupt.h"

#include <csignal>

#include "fault_injection.h"
#include "standin/session/atomic_file.h"
#include "standin/host/failure.h"

namespace cli {
namespace {

std::atomic<bool> interruptFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

// Only async-signal-safe calls: unlinkat (inside), sigaction, raise.
void endBySignal(int signal) {
  standin::removeTemporaryFileOnSignal();
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  sigaction(signal, &byDefault, nullptr);
  raise(signal);  // delivered as the handler returns: the program ends by this signal
}

void onInterrupt(int signal) {
  if (interruptFlag.exchange(true)) endBySignal(signal);  // a second Ctrl-C
}

void install(int signal, void (*handler)(int), bool unlessIgnored) {
  struct sigaction current {};
  if (unlessIgnored && sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal, &action, nullptr);
}

}  // namespace

const std::atomic<bool> &installInterruptHandler() {
  install(SIGINT, onInterrupt, false);  // as it always was, even when started ignored
  install(SIGTERM, endBySignal, true);
  install(SIGHUP, endBySignal, true);
  install(SIGPIPE, endBySignal, true);
  standin::setWriteInterruptFlag(&interruptFlag);
  return interruptFlag;
}

bool interrupted() { return interruptFlag.load(); }

standin::ProgressReport interruptibleReading(standin::ProgressReport report, const std::string &what) {
  return [report = std::move(report), what](std::uint64_t done, std::uint64_t total) {
    reachedPhase(Phase::Read);
    if (interrupted())
      throw standin::Failure(standin::FailureKind::Interrupted, "stopped while reading " + what);
    if (report) report(done, total);
  };
}

}  // namespace cli
