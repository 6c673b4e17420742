#include "output_check.h"

#include <filesystem>
#include <system_error>

#include "standin/host/failure.h"
#include "standin/session/atomic_file.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
using standin::Failure;
using standin::FailureKind;

// Whether two names are one file that a write replaces (or creates): the
// same file when both exist, the same place once links are followed when
// neither does. A stream (a device, a FIFO, /dev/stdout) is never one.
bool sameFile(const std::string &a, const std::string &b) {
  if (standin::writesIntoStream(a) || standin::writesIntoStream(b)) return false;
  std::error_code ec;
  const fs::path first = standin::outputTarget(a);
  const fs::path second = standin::outputTarget(b);
  const fs::file_status firstStatus = fs::status(first, ec);
  const fs::file_status secondStatus = fs::status(second, ec);
  if (fs::exists(firstStatus) != fs::exists(secondStatus)) return false;
  if (fs::exists(firstStatus)) return fs::equivalent(first, second, ec) && !ec;
  std::error_code ecFirst, ecSecond;
  const fs::path firstPlace = fs::weakly_canonical(fs::absolute(first, ecFirst), ecFirst);
  const fs::path secondPlace = fs::weakly_canonical(fs::absolute(second, ecSecond), ecSecond);
  return !ecFirst && !ecSecond && firstPlace == secondPlace;
}

std::string where(const PlannedOutput &o, const std::string &scriptName) {
  return o.line == 0 ? "" : scriptName + ":" + std::to_string(o.line) + ": ";
}

// How a message names an output among others: "--svg", "script.txt:4 (save)".
std::string named(const PlannedOutput &o, const std::string &scriptName) {
  return o.line == 0 ? o.option : scriptName + ":" + std::to_string(o.line) + " (" + o.option + ")";
}

void checkPlace(const PlannedOutput &o, const std::string &scriptName) {
  if (standin::writesIntoStream(o.path)) return;
  std::error_code error;
  const fs::path target = standin::outputTarget(o.path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string cannot = where(o, scriptName) + "cannot write " + o.kind + " '" + o.shown + "': ";
  if (!fs::is_directory(folder, error))
    throw Failure(FailureKind::CannotWrite, cannot + "no such folder '" + folder.string() + "'");
  if (fs::is_directory(target, error)) throw Failure(FailureKind::CannotWrite, cannot + "it is a folder");
}

void checkNotTheMesh(const PlannedOutput &o, const std::string &mesh, const std::string &scriptName) {
  if (o.isResult || mesh.empty() || !sameFile(o.path, mesh)) return;
  if (o.option == "-o") {
    throw Failure(FailureKind::BadInput,
                  "the output '" + o.shown + "' is the input mesh; use --in-place to overwrite it");
  }
  const std::string label = o.line == 0 ? o.option : where(o, scriptName) + o.option;
  throw Failure(FailureKind::BadInput,
                label + " '" + o.shown + "' is the input mesh; only the result may replace it (--in-place)");
}

}  // namespace

void checkOutputs(const std::vector<PlannedOutput> &outputs, const std::string &mesh,
                  const std::string &scriptName) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const PlannedOutput &o = outputs[i];
    checkPlace(o, scriptName);
    checkNotTheMesh(o, mesh, scriptName);
    for (std::size_t j = 0; j < i; ++j) {
      if (!sameFile(outputs[j].path, o.path)) continue;
      throw Failure(FailureKind::BadInput, named(outputs[j], scriptName) + " and " + named(o, scriptName) +
                                               " both write '" + o.shown +
                                               "'; give each output its own file");
    }
  }
}

}  // namespace cli
