#include "standin/host/failure.h"

#include <exception>
#include <new>
#include <utility>

namespace standin {
namespace {

std::string composed(const std::string &place, const std::string &message) {
  return place.empty() ? message : place + ": " + message;
}

struct KindRow {
  FailureKind kind;
  int exitCode;
  int httpStatus;
};

// One row a kind. A failure of the user's input is the request's fault (400);
// a command the session cannot take as it stands conflicts with it (409);
// whatever fails on the server's side is its own (500).
constexpr KindRow kKinds[] = {
    {FailureKind::BadInput, kExitBadInput, 400},
    {FailureKind::CannotOpen, kExitBadInput, 500},
    {FailureKind::CannotRead, kExitBadInput, 500},
    {FailureKind::NotText, kExitBadInput, 400},
    {FailureKind::Refused, kExitBadInput, 409},
    {FailureKind::NotFound, kExitBadInput, 404},
    {FailureKind::ToolFailed, kExitToolFailed, 409},
    {FailureKind::CannotWrite, kExitCannotWrite, 500},
    {FailureKind::NotDurable, kExitCannotWrite, 500},
    {FailureKind::ModuleMissing, kExitNoModule, 500},
    {FailureKind::ModuleNotLoadable, kExitNoModule, 500},
    {FailureKind::ModuleNoDescriptor, kExitNoModule, 500},
    {FailureKind::ModuleWrongSync, kExitNoModule, 500},
    {FailureKind::ModuleWrongVersion, kExitNoModule, 500},
    {FailureKind::ModuleNoServer, kExitNoModule, 500},
    {FailureKind::ActivationVersion, kExitNoModule, 500},
    {FailureKind::ActivationGlobal, kExitNoModule, 500},
    {FailureKind::ActivationFailed, kExitNoModule, 500},
    {FailureKind::ActivationOther, kExitNoModule, 500},
    {FailureKind::Interrupted, kExitInterrupted, 503},
    {FailureKind::OutOfMemory, kExitToolFailed, 507},
    {FailureKind::Internal, kExitToolFailed, 500},
};

const KindRow &row(FailureKind kind) {
  for (const KindRow &r : kKinds)
    if (r.kind == kind) return r;
  return kKinds[std::size(kKinds) - 1];
}

}  // namespace

Failure::Failure(FailureKind kind, std::string message, std::string where, std::size_t line)
    : std::runtime_error(composed(where.empty() && line == 0 ? std::string()
                                  : where.empty()            ? "line " + std::to_string(line)
                                  : line == 0                ? where
                                                             : where + ":" + std::to_string(line),
                                  message)),
      kind_(kind),
      message_(std::move(message)),
      where_(std::move(where)),
      line_(line) {}

std::string Failure::place() const {
  if (where_.empty()) return line_ == 0 ? std::string() : "line " + std::to_string(line_);
  return line_ == 0 ? where_ : where_ + ":" + std::to_string(line_);
}

Failure Failure::at(const std::string &where, std::size_t line) const {
  if (where_.empty()) return Failure(kind_, message_, where, line != 0 ? line : line_);
  const std::string outer = line == 0 ? where : where + ":" + std::to_string(line);
  return Failure(kind_, message_, outer + ": " + place());
}

int exitCodeOf(FailureKind kind) { return row(kind).exitCode; }
int httpStatusOf(FailureKind kind) { return row(kind).httpStatus; }

Failure caughtFailure() {
  try {
    throw;
  } catch (const Failure &failure) {
    return failure;
  } catch (const std::bad_alloc &) {
    return Failure(FailureKind::OutOfMemory, "out of memory");
  } catch (const std::exception &error) {
    return Failure(FailureKind::Internal, std::string("internal error: ") + error.what());
  } catch (...) {
    return Failure(FailureKind::Internal, "internal error: an unknown exception");
  }
}

}  // namespace standin
