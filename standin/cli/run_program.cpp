#include "run_program.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "bundled_example.h"
#include "interrupt.h"
#include "standin/host_error.h"
#include "standin/host_globals.h"
#include "standin/media/freetype_font.h"
#include "standin/media/png_file.h"
#include "standin/mesh.h"
#include "standin/module_loader.h"
#include "standin/obj_file.h"
#include "standin/script.h"
#include "standin/selection.h"
#include "standin/session_runner.h"
#include "standin/tool_session.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
using standin::RunError;

constexpr const char *kProgram = "elasticpull-host: ";

std::string hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(value));
  return buffer;
}

std::string number(double value) { return standin::ObjFile::formatNumber(value); }

int fail(int code, const std::string &message) {
  std::cerr << kProgram << message << "\n";
  return code;
}

// An output file must go into an existing folder and, unless asked, not over
// the input mesh; checked before any work is done.
void checkOutputPath(const std::string &path, const std::string &what) {
  if (path.empty()) return;
  std::error_code error;
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, error)) {
    throw RunError(standin::kExitCannotWrite,
                   "cannot write " + what + " '" + path + "': no such folder '" + folder.string() + "'");
  }
  if (fs::is_directory(target, error)) {
    throw RunError(standin::kExitCannotWrite, "cannot write " + what + " '" + path + "': it is a folder");
  }
}

std::string readScriptText(const std::string &file) {
  std::stringstream buffer;
  if (file == "-") {
    buffer << std::cin.rdbuf();
    return buffer.str();
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) throw RunError(standin::kExitBadInput, "cannot read script '" + file + "'");
  buffer << in.rdbuf();
  return buffer.str();
}

std::string describeSettings(const standin::ToolSettings &s) {
  std::string text = s.mode == 0 ? "Factor " + number(s.factor) + " (" + number(s.factor * 100.0) + "%)"
                                 : "Offset " + number(s.offset);
  return text + ", symmetry " + (s.symmetry != 0 ? "on" : "off");
}

struct Run {
  ProgramOptions options;
  fs::path programFolder;
  std::string scriptName;
  std::string outputFolder;  // example outputs
};

// The descriptor's words and the server list, as the host read them.
void printDescriptor(const standin::LoadedModule &module) {
  const ModuleDescriptor &descriptor = module.descriptor();
  std::cout << "module " << module.path() << "\n"
            << "  sync " << hex(descriptor.sysSync) << ", version " << descriptor.sysVersion << ", machine "
            << hex(descriptor.sysMachine) << ", startup result "
            << reinterpret_cast<uintptr_t>(module.startupResult()) << "\n";
  for (const ServerRecord *server : module.servers())
    std::cout << "  server class \"" << server->className << "\", name \""
              << (server->name != nullptr ? server->name : "") << "\"\n";
}

int run(Run &r) {
  ProgramOptions &o = r.options;
  const auto started = std::chrono::steady_clock::now();

  // The bundled example is a script run with preset files.
  if (o.example) {
    std::string tried;
    const auto folder = findExampleFolder(r.programFolder, o.exampleDir, tried);
    if (!folder)
      return fail(standin::kExitBadInput, "the bundled example is not found (looked in " + tried + ")");
    r.outputFolder = o.outputDir.empty() ? kExampleOutputDir : o.outputDir;
    std::error_code error;
    fs::create_directories(r.outputFolder, error);
    if (!fs::is_directory(r.outputFolder, error)) {
      return fail(standin::kExitCannotWrite, "cannot make the output folder '" + r.outputFolder + "'");
    }
    o.mesh = (*folder / kExampleMesh).string();
    o.script = (*folder / kExampleScript).string();
    o.output = (fs::path(r.outputFolder) / kExampleResult).string();
    std::cout << "Elastic_Pull example: " << o.mesh << " with the session " << o.script << "\n"
              << "Outputs go to " << fs::absolute(r.outputFolder).lexically_normal().string() << "\n\n";
  }

  r.scriptName = o.script == "-" ? "<stdin>" : o.script;

  // Everything the user gave is checked before the module is loaded.
  standin::Script script;
  if (!o.script.empty()) {
    const std::string name = o.script == "-" ? "<stdin>" : o.script;
    script = standin::parseScript(readScriptText(o.script), name);
  }
  checkOutputPath(o.output, "the mesh");
  checkOutputPath(o.svg, "the SVG");
  checkOutputPath(o.aboutPng, "the About picture");
  if (!o.inPlace && !o.output.empty()) {
    std::error_code error;
    if (fs::equivalent(o.output, o.mesh, error)) {
      throw RunError(standin::kExitBadInput,
                     "the output '" + o.output + "' is the input mesh; use --in-place to overwrite it");
    }
  }

  standin::ObjFile obj = standin::ObjFile::read(o.mesh);
  standin::Mesh mesh;
  for (const auto &p : obj.positions()) mesh.addPoint(p);
  if (!o.select.empty()) {
    try {
      const std::vector<std::size_t> selected = standin::parseSelection(o.select, mesh.size());
      mesh.selectOnly(selected);
    } catch (const standin::SelectionError &error) {
      throw RunError(standin::kExitBadInput, std::string("--select: ") + error.what());
    }
  }

  standin::HostGlobals globals;
  if (o.trace) globals.tracer().setSink([](const std::string &line) { std::cout << line << "\n"; });
  globals.monitors().setInterruptFlag(&installInterruptHandler());

  const std::string modulePath = o.module.empty() ? (r.programFolder / "elasticpull.p").string() : o.module;
  std::optional<standin::LoadedModule> module;
  try {
    module.emplace(standin::LoadedModule::open(modulePath));
  } catch (const standin::HostError &error) {
    throw RunError(standin::kExitNoModule, error.what());
  }
  if (o.example) {
    printDescriptor(*module);
    std::cout << "\n";
  }

  std::string fontError;
  std::unique_ptr<standin::FreeTypeFont> font = standin::FreeTypeFont::load("", 12, &fontError);
  standin::RunnerHooks hooks;
  hooks.outputFolder = r.outputFolder;
  hooks.font = font.get();
  hooks.saveAboutPicture = [](const std::string &path, const standin::ThumbnailCanvas &canvas) {
    std::string error;
    if (!standin::savePng(path, canvas.image(), &error)) {
      throw RunError(standin::kExitCannotWrite, "cannot write '" + path + "': " + error);
    }
  };
  if (!font && (!o.aboutPng.empty() || o.example)) {
    std::cerr << kProgram << "warning: no font for the About panel's text (" << fontError << ")\n";
  }

  standin::SessionRunner runner(*module, globals, obj, mesh, hooks);
  auto command = [](standin::ScriptOp op) {
    standin::ScriptCommand c;
    c.op = op;
    return c;
  };
  auto printFailures = [&] {
    for (const standin::ToolFailure &f : runner.failures()) {
      const std::string where = f.line > 0 ? r.scriptName + ":" + std::to_string(f.line) + ": " : "";
      std::cerr << kProgram << where << "the tool failed at '" << f.command << "': " << f.what << "\n";
    }
  };
  if (!o.script.empty()) {
    try {
      runner.runScript(script);
    } catch (const RunError &) {
      printFailures();  // what went wrong before the script's mistake, if anything
      throw;
    }
  } else {
    // One stretch from the options, stopping at the first failure of the tool.
    std::vector<standin::ScriptCommand> commands{command(standin::ScriptOp::Pick)};
    if (o.invert) commands.push_back(command(standin::ScriptOp::Invert));
    if (o.offset) {
      commands.push_back(command(standin::ScriptOp::Mode));
      commands.back().code = 1;
    }
    if (o.symmetry) {
      commands.push_back(command(standin::ScriptOp::Symmetry));
      commands.back().code = 1;
    }
    if (o.factor || o.offset) {
      commands.push_back(command(o.factor ? standin::ScriptOp::Factor : standin::ScriptOp::Offset));
      commands.back().value = o.factor ? *o.factor : *o.offset;
    }
    for (const standin::ScriptCommand &c : commands) {
      runner.run(c);
      if (!runner.failures().empty() || interrupted()) break;
    }
  }

  auto stopIfFailed = [&]() -> std::optional<int> {
    if (interrupted()) {
      runner.close();
      return fail(standin::kExitInterrupted,
                  "interrupted: the build was aborted; the input mesh is untouched and nothing was written");
    }
    if (runner.failures().empty()) return std::nullopt;
    runner.close();
    printFailures();
    return fail(standin::kExitToolFailed, "nothing was written");
  };
  if (auto code = stopIfFailed()) return *code;

  if (!o.svg.empty()) runner.writeSvg(o.svg, o.view);
  if (!o.aboutPng.empty()) {
    if (!runner.live()) {
      throw RunError(standin::kExitBadInput,
                     "--about-png: the tool was closed by the script; the About "
                     "button is in its options panel (use 'about FILE' in the script)");
    }
    runner.pressAbout(o.aboutPng);
  }
  runner.close();
  if (auto code = stopIfFailed()) return *code;

  runner.syncObj();
  std::string wrote;
  if (!o.output.empty()) {
    try {
      obj.write(o.output);
    } catch (const standin::ObjError &error) {
      throw RunError(standin::kExitCannotWrite, error.what());
    }
    wrote = "wrote " + o.output;
  } else {
    wrote = "result not saved (no -o or --in-place)";
  }

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!o.quiet) {
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%.2f s", seconds);
    const std::size_t selected = mesh.selectedCount();
    std::cout << "moved " << obj.changedCount() << " of " << obj.pointCount() << " points; " << selected / 2
              << (selected / 2 == 1 ? " pair" : " pairs");
    if (auto s = runner.settings()) std::cout << "; " << describeSettings(*s);
    std::cout << "; " << runner.builds() << (runner.builds() == 1 ? " build" : " builds") << "; " << wrote
              << " (" << elapsed << ")\n";
  }
  if (o.example) {
    std::cout << "\nThe example's files are in " << r.outputFolder << ":\n";
    std::vector<std::string> names;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(r.outputFolder, error)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) std::cout << "  " << name << "\n";
  }
  return standin::kExitOk;
}

}  // namespace

int runProgram(ProgramOptions options, const fs::path &programFolder) {
  Run r{std::move(options), programFolder, {}, {}};
  try {
    return run(r);
  } catch (const RunError &error) {
    return fail(error.exitCode(), error.what());
  } catch (const standin::ScriptError &error) {
    return fail(standin::kExitBadInput, error.what());
  } catch (const standin::ObjError &error) {
    return fail(standin::kExitBadInput, error.what());
  } catch (const standin::HostError &error) {
    return fail(standin::kExitNoModule, error.what());
  } catch (const std::bad_alloc &) {
    return fail(standin::kExitToolFailed, "out of memory");
  }
}

int describeModule(const std::string &modulePath) {
  try {
    standin::LoadedModule module = standin::LoadedModule::open(modulePath);
    printDescriptor(module);

    standin::HostGlobals globals;
    standin::Mesh mesh;
    standin::ToolSession session(module, globals, mesh);
    session.activateOrThrow();
    std::cout << "activation result " << session.activationResult() << "\n";
    session.close();
    std::cout << "closed\n";
  } catch (const standin::HostError &error) {
    return fail(standin::kExitNoModule, error.what());
  }
  return standin::kExitOk;
}

}  // namespace cli
