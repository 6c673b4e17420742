#include "serve_program.h"

#include <arpa/inet.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <ctime>
#include <iostream>
#include <thread>

#include "bundled_example.h"
#include "output_check.h"
#include "standin/host/host_error.h"
#include "standin/host/host_globals.h"
#include "standin/host/module_loader.h"
#include "standin/media/freetype_font.h"
#include "standin/server/playground.h"
#include "standin/server/playground_server.h"
#include "standin/session/obj_file.h"
#include "standin/session/run_error.h"
#include "standin/session/selection.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
using standin::RunError;

constexpr const char *kProgram = "elasticpull-host serve: ";

bool isLoopback(const std::string &address) {
  unsigned char bytes[16] = {};
  if (inet_pton(AF_INET, address.c_str(), bytes) == 1) return bytes[0] == 127;
  return address == "::1";
}

void checkListenAddress(const std::string &address) {
  unsigned char bytes[16] = {};
  if (inet_pton(AF_INET, address.c_str(), bytes) != 1 && inet_pton(AF_INET6, address.c_str(), bytes) != 1) {
    throw RunError(standin::kExitBadInput,
                   "--listen takes an IP address such as 127.0.0.1, 0.0.0.0 or ::1, not '" + address + "'");
  }
}

// Save writes only this file, checked as the command line checks its outputs:
// an existing folder, not a folder, and never the input mesh (there is no
// --in-place here).
void checkOutput(const std::string &output, const std::string &mesh) {
  if (output.empty()) return;
  try {
    checkOutputs({PlannedOutput{output, output, "the mesh", "-o", 0, false}}, {{mesh, kInputMesh}}, "");
  } catch (const RunError &error) {
    if (error.exitCode() != standin::kExitBadInput) throw;
    throw RunError(
        standin::kExitBadInput,
        "the output '" + output + "' is the input mesh; Save never replaces the mesh it started from");
  }
}

// The mesh to serve: the one given, or the bundled example's.
std::string meshPath(const ProgramOptions &o, const fs::path &programFolder) {
  if (!o.mesh.empty()) return o.mesh;
  std::string tried;
  const auto folder = findExampleFolder(programFolder, o.exampleDir, tried);
  if (!folder)
    throw RunError(standin::kExitBadInput, "the bundled example is not found (looked in " + tried + ")");
  return (*folder / kExampleMesh).string();
}

std::vector<std::size_t> selection(const ProgramOptions &o, std::size_t points) {
  try {
    return standin::parseSelection(o.select.empty() ? "all" : o.select, points);
  } catch (const standin::SelectionError &error) {
    throw RunError(standin::kExitBadInput, std::string("--select: ") + error.what());
  }
}

// Ctrl-C and SIGTERM stop the server: both are blocked in every thread (the
// server's threads inherit the mask) and taken by one waiting thread.
class StopOnSignal {
 public:
  explicit StopOnSignal(standin::PlaygroundServer &server) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, &previous_);
    waiter_ = std::thread([this, &server] {
      const timespec tick{0, 200'000'000};
      while (!done_) {
        if (sigtimedwait(&set_, nullptr, &tick) > 0) {
          signalled_ = true;
          server.stop();
          return;
        }
      }
    });
  }
  ~StopOnSignal() {
    done_ = true;
    waiter_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  bool signalled() const { return signalled_; }

 private:
  sigset_t set_{}, previous_{};
  std::atomic<bool> done_{false}, signalled_{false};
  std::thread waiter_;
};

void printStart(const standin::PlaygroundServer &server, const standin::Playground &p,
                const std::string &mesh) {
  const std::size_t selected = p.selection().size();
  std::cout << "Elastic_Pull playground: " << mesh << ", " << p.mesh().size() << " points, " << selected
            << " selected (" << selected / 2 << (selected / 2 == 1 ? " pair" : " pairs") << ")\n"
            << (p.outputPath().empty() ? std::string("Save is off (no -o); Download gives the result")
                                       : "Save writes " + p.outputPath())
            << "\n"
            << "Open " << server.url() << " in a browser; Ctrl-C stops the server.\n"
            << std::flush;
  if (selected >= 3 && selected % 2 == 1) {
    std::cerr << kProgram << "warning: " << selected
              << " points are selected; the tool pairs them in mesh order "
              << "and leaves the last one (point " << p.selection().back() << ") where it is\n";
  }
}

int serve(const ProgramOptions &o, const fs::path &programFolder) {
  checkListenAddress(o.listen);
  const std::string mesh = meshPath(o, programFolder);
  checkOutput(o.output, mesh);
  standin::ObjFile file = standin::ObjFile::read(mesh);
  standin::PlaygroundConfig config;
  config.selection = selection(o, file.pointCount());
  config.outputPath = o.output;

  standin::HostGlobals globals;
  if (o.trace) globals.tracer().setSink([](const std::string &line) { std::cout << line << "\n"; });
  const auto font = standin::FreeTypeFont::load();
  globals.panels().setFont(font.get());
  const std::string modulePath = o.module.empty() ? (programFolder / "elasticpull.p").string() : o.module;
  const standin::LoadedModule module = standin::LoadedModule::open(modulePath);
  standin::Playground playground(module, globals, std::move(file), config);

  standin::ServerOptions options;
  options.listenAddress = o.listen;
  options.port = o.port;
  options.log = &std::cerr;
  standin::PlaygroundServer server(playground, options);
  server.bind();
  if (!isLoopback(o.listen)) {
    std::cerr << kProgram << "warning: listening on " << o.listen
              << ": anyone who can reach this machine on port " << server.port()
              << " can edit the mesh and save the output file\n";
  }
  printStart(server, playground, mesh);
  bool listened = false;
  {
    StopOnSignal stopper(server);
    listened = server.run();
  }
  globals.panels().setFont(nullptr);
  if (!listened) throw RunError(standin::kExitCannotWrite, "the server could not listen on " + server.url());
  std::cout << "stopped" << (playground.unsaved() ? "; the changes since the last save were not written" : "")
            << "\n";
  return standin::kExitOk;
}

}  // namespace

int runServe(const ProgramOptions &options, const fs::path &programFolder) {
  try {
    return serve(options, programFolder);
  } catch (const RunError &error) {
    std::cerr << kProgram << error.what() << "\n";
    return error.exitCode();
  } catch (const standin::ObjError &error) {
    std::cerr << kProgram << error.what() << "\n";
    return standin::kExitBadInput;
  } catch (const standin::HostError &error) {
    std::cerr << kProgram << error.what() << "\n";
    return standin::kExitNoModule;
  }
}

}  // namespace cli
