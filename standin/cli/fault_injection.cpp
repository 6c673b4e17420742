#include "fault_injection.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include "standin/session/atomic_file_calls.h"

namespace cli {
namespace {

enum class Call { Write, Sync, Rename, None };

struct Request {
  Call call = Call::None;
  unsigned long k = 0;
  int error = ENOSPC;
};

Call callNamed(const std::string &name) {
  if (name == "write") return Call::Write;
  if (name == "sync") return Call::Sync;
  if (name == "rename") return Call::Rename;
  return Call::None;
}

int errnoNamed(const std::string &name) {
  if (name == "EIO") return EIO;
  if (name == "EDQUOT") return EDQUOT;
  if (name == "EACCES") return EACCES;
  return ENOSPC;
}

// "CALL:K[:ERRNO]"; Call::None when the text is not one.
Request parseRequest(const char *text) {
  Request request;
  if (text == nullptr) return request;
  const std::string s = text;
  const std::size_t colon = s.find(':');
  if (colon == std::string::npos) return request;
  const std::size_t second = s.find(':', colon + 1);
  request.k = std::strtoul(s.substr(colon + 1, second - colon - 1).c_str(), nullptr, 10);
  if (second != std::string::npos) request.error = errnoNamed(s.substr(second + 1));
  if (request.k > 0) request.call = callNamed(s.substr(0, colon));
  return request;
}

// Counts the calls of each kind, failing or interrupting the one asked for.
class FaultyCalls : public standin::FileCalls {
 public:
  FaultyCalls(Request failure, Request interrupt) : failure_(failure), interrupt_(interrupt) {}

  long write(int fd, const char *data, std::size_t size) override {
    if (fault(Call::Write)) return -1;
    return FileCalls::write(fd, data, size);
  }
  int sync(int fd) override { return fault(Call::Sync) ? -1 : FileCalls::sync(fd); }
  int rename(const std::filesystem::path &from, const std::filesystem::path &to) override {
    return fault(Call::Rename) ? -1 : FileCalls::rename(from, to);
  }

 private:
  bool fault(Call call) {
    const unsigned long n = ++counts_[static_cast<int>(call)];
    if (interrupt_.call == call && interrupt_.k == n) std::raise(SIGINT);
    if (failure_.call != call || failure_.k != n) return false;
    errno = failure_.error;
    return true;
  }

  Request failure_;
  Request interrupt_;
  unsigned long counts_[3] = {};
};

const char *interruptPhase = nullptr;

}  // namespace

void installFaultsFromEnvironment() {
  const Request failure = parseRequest(std::getenv("EP_TEST_FILE_FAULT"));
  const char *interrupt = std::getenv("EP_TEST_INTERRUPT");
  const Request atCall = parseRequest(interrupt);
  if (interrupt != nullptr && atCall.call == Call::None) interruptPhase = interrupt;
  if (failure.call == Call::None && atCall.call == Call::None) return;
  static FaultyCalls calls(failure, atCall);
  standin::setFileCalls(&calls);
}

void reachedPhase(Phase phase) {
  if (interruptPhase == nullptr) return;
  const std::string wanted = phase == Phase::Read ? "read" : "build";
  if (wanted != interruptPhase) return;
  interruptPhase = nullptr;
  std::raise(SIGINT);
}

}  // namespace cli
