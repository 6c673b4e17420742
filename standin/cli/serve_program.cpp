#include "serve_program.h"

#include <arpa/inet.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <ctime>
#include <iostream>
#include <thread>

#include "bundled_example.h"
#include "chosen_pairs.h"
#include "output_check.h"
#include "standin/host/failure.h"
#include "standin/host/host_globals.h"
#include "standin/host/module_loader.h"
#include "standin/media/font_on_demand.h"
#include "standin/server/module_thread.h"
#include "standin/server/playground_api.h"
#include "standin/server/playground_server.h"
#include "standin/session/obj_file.h"
#include "standin/session/selection.h"
#include "standin/session/session.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
using standin::Failure;
using standin::FailureKind;

constexpr const char *kProgram = "elasticpull-host serve: ";

bool isLoopback(const std::string &address) {
  unsigned char bytes[16] = {};
  if (inet_pton(AF_INET, address.c_str(), bytes) == 1) return bytes[0] == 127;
  return address == "::1";
}

void checkListenAddress(const std::string &address) {
  unsigned char bytes[16] = {};
  if (inet_pton(AF_INET, address.c_str(), bytes) != 1 && inet_pton(AF_INET6, address.c_str(), bytes) != 1) {
    throw Failure(FailureKind::BadInput,
                  "--listen takes an IP address such as 127.0.0.1, 0.0.0.0 or ::1, not '" + address + "'");
  }
}

// Save writes only this file, checked as the command line checks its outputs:
// an existing folder, not a folder, a file with one name, never a file the
// run reads, and never the input mesh but with --in-place (which names the
// mesh itself). The session checks it again at each Save.
void checkOutput(const ProgramOptions &o, const std::string &output, const standin::ReadFiles &inputs) {
  if (output.empty()) return;
  try {
    checkOutputs({PlannedOutput{output, output, "the mesh", o.inPlace ? "--in-place" : "-o", 0, o.inPlace}},
                 inputs, "");
  } catch (const Failure &error) {
    const std::string *what = inputs.replacedBy(output);
    if (error.kind() != FailureKind::BadInput || what == nullptr || *what != standin::kInputMesh) throw;
    throw Failure(FailureKind::BadInput, "the output '" + output +
                                             "' is the input mesh; Save replaces the mesh it started from "
                                             "only with --in-place");
  }
}

// The mesh to serve: the one given, or the bundled example's.
std::string meshPath(const ProgramOptions &o, const fs::path &programFolder) {
  if (!o.mesh.empty()) return o.mesh;
  if (o.inPlace)
    throw Failure(FailureKind::BadInput, "--in-place needs a mesh file: the bundled example is not replaced");
  std::string tried;
  const auto folder = findExampleFolder(programFolder, o.exampleDir, tried);
  if (!folder)
    throw Failure(FailureKind::BadInput, "the bundled example is not found (looked in " + tried + ")");
  return (*folder / kExampleMesh).string();
}

// What the session starts with: the pairs chosen, or the points (default:
// all), the file Save writes, and the files no output may replace.
struct SessionStart {
  std::vector<standin::PointPair> pairs;
  std::vector<std::size_t> selection;
  std::string outputPath;
  standin::ReadFiles inputs;
  bool inPlace = false;
};

SessionStart sessionStart(const ProgramOptions &o, const standin::ObjFile &file, const std::string &mesh) {
  SessionStart start;
  start.outputPath = o.inPlace ? mesh : o.output;
  start.inPlace = o.inPlace;
  const bool pairs = !o.pairs.empty() || o.pairsFromEdges;
  try {
    if (pairs)
      start.pairs = chosenPairs(o.pairs, o.axis, o.axisTolerance, file).pairs;
    else
      start.selection = standin::parseSelection(o.select.empty() ? "all" : o.select, file.pointCount());
  } catch (const Failure &error) {
    // A mistake in the mesh file is named by its line; the option adds nothing.
    if (!error.where().empty()) throw;
    throw error.at(!o.pairs.empty() ? "--pairs" : pairs ? "--pairs-from-edges" : "--select");
  }
  return start;
}

// The session begins as the command line's would: the selection (or the
// pairs), then the tool picked. What the tool shows then is printed; the page
// gets only the boxes of its own actions.
void beginSession(standin::Session &session, const SessionStart &start) {
  standin::Command select;
  if (!start.pairs.empty()) {
    select.op = standin::CommandOp::Pairs;
    select.text = standin::formatPairs(start.pairs);
  } else {
    select.op = standin::CommandOp::Select;
    select.text = standin::formatSelection(start.selection);
  }
  session.run(select);
  session.run(standin::Command{});  // pick
  session.beginHistoryHere();
}

// Everything that calls into the module, made, used and ended on the module
// thread alone, as in the Modeler: the module's file, the editing session and
// its API.
class ModuleSide {
 public:
  ModuleSide(standin::ModuleThread &thread, const std::string &modulePath, standin::HostGlobals &globals,
             standin::ObjFile file, SessionStart start, const standin::CanvasFont *font)
      : thread_(thread), file_(std::move(file)), silent_(nullptr) {
    thread_.call([&] {
      try {
        module_ = std::make_unique<standin::LoadedModule>(standin::LoadedModule::open(modulePath));
        standin::SessionSetup setup;
        setup.out = &silent_;  // what a script prints (points, panel, echo) the page does not show
        setup.outputPath = start.outputPath;
        setup.inputs = start.inputs;
        setup.outputReplacesMesh = start.inPlace;
        setup.font = font;
        setup.liveViewport = true;
        session_ = std::make_unique<standin::Session>(*module_, globals, file_, setup);
        beginSession(*session_, start);
        api_ = std::make_unique<standin::PlaygroundApi>(*session_);
      } catch (...) {
        end();
        throw;
      }
    });
  }
  ~ModuleSide() {
    try {
      thread_.call([this] { end(); });
    } catch (...) {
      // Ending the session failed on its thread; nothing is left to do.
    }
  }
  ModuleSide(const ModuleSide &) = delete;
  ModuleSide &operator=(const ModuleSide &) = delete;

  standin::PlaygroundApi &api() { return *api_; }
  // Reads the session on its thread.
  template <class F>
  auto read(F &&f) {
    return thread_.call([&] { return f(static_cast<const standin::Session &>(*session_)); });
  }

 private:
  void end() {
    api_.reset();
    session_.reset();  // closes the tool
    module_.reset();   // the module's shutdown, then unloading
  }

  standin::ModuleThread &thread_;
  standin::ObjFile file_;
  std::ostream silent_;
  std::unique_ptr<standin::LoadedModule> module_;
  std::unique_ptr<standin::Session> session_;
  std::unique_ptr<standin::PlaygroundApi> api_;
};

// Ctrl-C and SIGTERM, which stop the server.
sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

// Blocks the stop signals in this thread and so in every thread it starts
// afterwards (they inherit its mask): made before the first of them, so that
// no thread but StopOnSignal's ever takes them.
class StopSignalsBlocked {
 public:
  StopSignalsBlocked() {
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
  }
  ~StopSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  StopSignalsBlocked(const StopSignalsBlocked &) = delete;
  StopSignalsBlocked &operator=(const StopSignalsBlocked &) = delete;

 private:
  sigset_t previous_{};
};

// Takes the stop signals (also one that came while the session was being
// made) in a thread of its own and stops the server.
class StopOnSignal {
 public:
  explicit StopOnSignal(standin::PlaygroundServer &server) {
    waiter_ = std::thread([this, &server] {
      const sigset_t set = stopSignals();
      const timespec tick{0, 200'000'000};
      while (!done_) {
        if (sigtimedwait(&set, nullptr, &tick) > 0) {
          try {
            server.stop();
          } catch (const std::exception &error) {
            std::cerr << kProgram << "cannot stop the server: " << error.what() << "\n";
          }
          return;
        }
      }
    });
  }
  ~StopOnSignal() {
    done_ = true;
    waiter_.join();
  }
  StopOnSignal(const StopOnSignal &) = delete;
  StopOnSignal &operator=(const StopOnSignal &) = delete;

 private:
  std::atomic<bool> done_{false};
  std::thread waiter_;
};

// What the session holds at the start, for the lines printed then.
struct StartFacts {
  std::size_t points = 0;
  std::vector<std::size_t> selection;
  std::string output;
};

void printStart(const standin::PlaygroundServer &server, const StartFacts &facts, const std::string &mesh,
                bool inPlace, bool pairsChosen) {
  const std::size_t selected = facts.selection.size();
  std::cout << "Elastic_Pull playground: " << mesh << ", " << facts.points << " points, " << selected
            << " selected (" << selected / 2 << (selected / 2 == 1 ? " pair" : " pairs") << ")\n"
            << (facts.output.empty()
                    ? std::string("Save is off (no -o or --in-place); Download gives the result")
                : inPlace ? "Save writes the mesh itself, " + facts.output + " (--in-place)"
                          : "Save writes " + facts.output)
            << "\n"
            << "Open " << server.url() << " in a browser; Ctrl-C stops the server.\n"
            << std::flush;
  if (!pairsChosen && selected >= 3 && selected % 2 == 1) {
    std::cerr << kProgram << "warning: " << selected
              << " points are selected; the tool pairs them in mesh order "
              << "and leaves the last one (point " << facts.selection.back() << ") where it is\n";
  }
}

standin::ServerOptions serverOptions(const ProgramOptions &o) {
  standin::ServerOptions options;
  options.listenAddress = o.listen;
  options.port = o.port;
  options.log = &std::cerr;
  return options;
}

void reportFailure(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception &error) {
    std::cerr << kProgram << "a task of the module thread failed: " << error.what() << "\n";
  } catch (...) {
    std::cerr << kProgram << "a task of the module thread failed\n";
  }
}

int serve(const ProgramOptions &o, const fs::path &programFolder) {
  checkListenAddress(o.listen);
  const std::string mesh = meshPath(o, programFolder);
  const std::string modulePath = o.module.empty() ? (programFolder / "elasticpull.p").string() : o.module;
  standin::ReadFiles inputs = filesTheRunReads(mesh, "", modulePath);
  checkOutput(o, o.inPlace ? mesh : o.output, inputs);
  standin::ObjFile file = standin::ObjFile::read(mesh);
  if (file.pointCount() == 0)
    throw Failure(standin::FailureKind::BadInput, "the mesh has no points (no 'v' lines)", mesh);
  SessionStart start = sessionStart(o, file, mesh);
  start.inputs = std::move(inputs);

  standin::HostGlobals globals;
  if (o.trace) globals.tracer().setSink([](const std::string &line) { std::cout << line << "\n"; });
  const standin::FontOnDemand font([](const std::string &why) {
    std::cerr << kProgram << "warning: no font for the About panel's text (" << why << ")\n";
  });
  standin::ModuleThread moduleThread(reportFailure);
  ModuleSide side(moduleThread, modulePath, globals, std::move(file), start, &font);
  const StartFacts facts = side.read([](const standin::Session &p) {
    return StartFacts{p.mesh().size(), p.selection(), p.outputPath()};
  });

  standin::PlaygroundServer server(moduleThread, standin::apiHandler(side.api()), serverOptions(o));
  server.bind();
  if (!isLoopback(o.listen)) {
    std::cerr << kProgram << "warning: listening on " << o.listen << ", unencrypted: whoever can reach port "
              << server.port() << " and learns the address below (with its token) can edit the mesh and "
              << "save the output file\n";
  }
  printStart(server, facts, mesh, o.inPlace, !o.pairs.empty() || o.pairsFromEdges);
  bool listened = false;
  {
    StopOnSignal stopper(server);
    listened = server.run();
  }
  if (!listened) throw Failure(FailureKind::CannotWrite, "the server could not listen on " + server.origin());
  const bool unsaved = side.read([](const standin::Session &p) { return p.unsaved(); });
  std::cout << "stopped" << (unsaved ? "; the changes since the last save were not written" : "") << "\n";
  return standin::kExitOk;
}

}  // namespace

int runServe(const ProgramOptions &options, const fs::path &programFolder) {
  const StopSignalsBlocked blocked;
  try {
    return serve(options, programFolder);
  } catch (...) {
    const Failure failure = standin::caughtFailure();
    std::cerr << kProgram << failure.what() << "\n";
    return standin::exitCodeOf(failure.kind());
  }
}

}  // namespace cli
