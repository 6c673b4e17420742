// elasticpull-host: loads a module, shows its descriptor and server,
// activates the MeshEditTool server and closes it again.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "standin/host_error.h"
#include "standin/host_globals.h"
#include "standin/mesh.h"
#include "standin/module_loader.h"
#include "standin/tool_session.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The folder holding this program, where the module is looked for by default.
std::filesystem::path programFolder(const char *argv0) {
#ifdef _WIN32
  char buffer[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) return std::filesystem::path(std::string(buffer, length)).parent_path();
#else
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) return self.parent_path();
#endif
  return std::filesystem::absolute(argv0).parent_path();
}

std::string hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(value));
  return buffer;
}

}  // namespace

int main(int argc, char **argv) {
  CLI::App app{"Loads the Elastic_Pull module, shows its descriptor and server, activates and closes the tool."};
  std::string modulePath = (programFolder(argv[0]) / "elasticpull.p").string();
  app.add_option("--module", modulePath, "the module to load (default: elasticpull.p beside this program)");
  CLI11_PARSE(app, argc, argv);

  try {
    standin::LoadedModule module = standin::LoadedModule::open(modulePath);
    const ModuleDescriptor &descriptor = module.descriptor();
    std::cout << "module " << module.path() << "\n"
              << "  sync " << hex(descriptor.sysSync) << ", version " << descriptor.sysVersion << ", machine "
              << hex(descriptor.sysMachine) << ", startup result "
              << reinterpret_cast<uintptr_t>(module.startupResult()) << "\n";
    for (const ServerRecord *server : module.servers())
      std::cout << "  server class \"" << server->className << "\", name \""
                << (server->name != nullptr ? server->name : "") << "\"\n";

    standin::HostGlobals globals;
    standin::Mesh mesh;
    standin::ToolSession session(module, globals, mesh);
    session.activateOrThrow();
    std::cout << "activation result " << session.activationResult() << "\n";
    session.close();
    std::cout << "closed\n";
  } catch (const standin::HostError &error) {
    std::cerr << "elasticpull-host: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
