#include "interrupt.h"

#include <csignal>

namespace cli {
namespace {

std::atomic<bool> interruptFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

void onInterrupt(int) {
  interruptFlag.store(true);
  std::signal(SIGINT, SIG_DFL);  // a second Ctrl-C ends the program
}

}  // namespace

const std::atomic<bool> &installInterruptHandler() {
  std::signal(SIGINT, onInterrupt);
  return interruptFlag;
}

bool interrupted() { return interruptFlag.load(); }

}  // namespace cli
