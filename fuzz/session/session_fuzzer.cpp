// The one-session engine's command stream: an input is a session script
// (session_lines.h), run command by command on a session of a ten-point mesh
// with the module linked in; the files it writes go to a scratch folder.
//
//  - Every command reads back from its text form and from its JSON form (as
//    the page sends it, dumped and parsed) as the same command.
//  - Only Failure escapes a command; a refused command leaves no line in the
//    log.
//  - Undo then redo (or, after an undo, redo then undo) puts back exactly
//    what was there: every position to the bit, the selection, the tool's
//    settings, the panel and the handles.
//  - The session's log, replayed as a script by a fresh session, runs without
//    a failure and gives the same files byte for byte (every save, picture and
//    a last save of the mesh), the same state and the same log.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz/invariant.h"
#include "fuzz/same_command.h"
#include "fuzz/session/session_lines.h"
#include "host/host_abi.h"
#include "standin/host/host_globals.h"
#include "standin/host/module_loader.h"
#include "standin/session/obj_file.h"
#include "standin/session/script.h"
#include "standin/session/session.h"

extern "C" const ModuleDescriptor _mod_descrip;

namespace {

using fuzz::violated;
namespace fs = std::filesystem;

// Ten points: pairs on a face with normals, a line, and points off both.
constexpr const char *kMesh =
    "v 0 2 0\nv 0 0 0\nv 3 3 1\nv 3 0 1\nv 6 1 2\nv 6 4 2\nv -1 -1 5\nv 2 2 2\nv 0.5 0.25 -3\nv 1e3 0 0\n"
    "vn 0 0 1\nf 1//1 2//1 4//1 3//1\nl 5 6\nl 7 8 9\n";

// The folder outputs go to, one for the process, emptied before each session
// and removed at exit.
fs::path scratchFolder;

const fs::path &scratch() {
  if (scratchFolder.empty()) {
    std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : fs::temp_directory_path().string()) +
                          "/ep-session-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) violated("cannot make a scratch folder %s", pattern.c_str());
    scratchFolder = pattern;
    std::atexit([] { fs::remove_all(scratchFolder); });
  }
  return scratchFolder;
}

void emptyScratch() {
  for (const auto &entry : fs::directory_iterator(scratch())) fs::remove_all(entry.path());
}

std::map<std::string, std::string> scratchFiles() {
  std::map<std::string, std::string> files;
  for (const auto &entry : fs::directory_iterator(scratch())) {
    std::ifstream in(entry.path(), std::ios::binary);
    files[entry.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

using fuzz::sameBits;
using fuzz::sameCommand;

void checkForms(const standin::Command &command) {
  const std::string text = standin::commandText(command);
  try {
    if (!sameCommand(standin::parseCommand(text), command))
      violated("'%s' reads back from its text as another command", text.c_str());
  } catch (const standin::Failure &error) {
    violated("'%s' does not read back from its text: %s", text.c_str(), error.what());
  }
  std::string json;
  try {
    json = standin::commandJson(command).dump();
  } catch (const nlohmann::json::type_error &) {
    return;  // text that is not UTF-8 (a script's) has no JSON form; the page sends none
  }
  try {
    if (!sameCommand(standin::commandFromJson(nlohmann::json::parse(json)), command))
      violated("'%s' reads back from its JSON %s as another command", text.c_str(), json.c_str());
  } catch (const std::exception &error) {
    violated("'%s' does not read back from its JSON %s: %s", text.c_str(), json.c_str(), error.what());
  }
}

void appendBits(std::string &to, double value) {
  char bits[sizeof value];
  std::memcpy(bits, &value, sizeof value);
  to.append(bits, sizeof bits);
}

// What undo and redo must put back, as bytes: the mesh, the selection in the
// tool's order, the settings, the panel and the handles.
std::string state(const standin::Session &session) {
  std::string s = session.live() ? "live\n" : "closed\n";
  const standin::Mesh &mesh = session.mesh();
  for (std::size_t i = 0; i < mesh.size(); ++i) {
    for (const double c : mesh.position(i)) appendBits(s, c);
    s += mesh.selected(i) ? '*' : '.';
  }
  for (const std::size_t point : session.selection()) s += std::to_string(point) + ",";
  if (const auto settings = session.settings()) {
    s += "\nsettings " + std::to_string(settings->mode) + " " + std::to_string(settings->symmetry) + " ";
    appendBits(s, settings->factor);
    appendBits(s, settings->offset);
  }
  s += "\npanel " + session.panelTitle() + "\n";
  for (const standin::ControlView &control : session.panelControls()) {
    s += control.label + ":" + std::to_string(control.hasValue) + std::to_string(control.intValue) +
         std::to_string(control.enabled) + std::to_string(control.hidden) + " ";
    appendBits(s, control.doubleValue);
  }
  s += "\nhandles ";
  for (const standin::Position &handle : session.handles())
    for (const double c : handle) appendBits(s, c);
  return s;
}

// A state for a message: its bytes, those that are not printable in hex.
std::string readable(const std::string &bytes) {
  std::string text;
  char hex[8];
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 32 && u < 127) {
      text += c;
    } else {
      std::snprintf(hex, sizeof hex, "\\x%02x", u);
      text += hex;
    }
  }
  return text;
}

// Undo then redo after a step, redo then undo after an undo: both must put
// back exactly what was there. Not while a press is held (undo waits for the
// release).
void checkUndoRedo(standin::Session &session, const standin::Command &command) {
  using standin::CommandOp;
  if (command.op == CommandOp::Press || command.op == CommandOp::Drag || session.held()) return;
  const bool afterUndo = command.op == CommandOp::Undo;
  if (afterUndo ? !session.canRedo() : !(standin::changesSession(command.op) && session.canUndo())) return;
  const std::string before = state(session);
  const char *const first = afterUndo ? "redo" : "undo";
  const char *const second = afterUndo ? "undo" : "redo";
  try {
    session.run(standin::parseCommand(first));
    session.run(standin::parseCommand(second));
  } catch (const standin::Failure &error) {
    violated("%s then %s after '%s' failed: %s", first, second, standin::commandText(command).c_str(),
             error.what());
  }
  if (state(session) != before)
    violated("%s then %s after '%s' did not put back what was there: %s\nafter: %s", first, second,
             standin::commandText(command).c_str(), readable(before).c_str(),
             readable(state(session)).c_str());
}

struct Run {
  standin::HostGlobals globals;
  standin::ObjFile file = standin::ObjFile::parse(kMesh, "ten.obj");
  std::ostream silent{nullptr};
  std::unique_ptr<standin::Session> session;

  explicit Run(const standin::LoadedModule &module) {
    globals.messages().setEcho(nullptr);
    standin::SessionSetup setup;
    setup.out = &silent;
    setup.err = &silent;
    setup.outputFolder = scratch().string();
    setup.outputPath = (scratch() / "out.obj").string();
    setup.encodePicture = [](const standin::RgbImage &image) {
      return std::to_string(image.width()) + "x" + std::to_string(image.height()) + "\n" +
             std::string(image.bytes().begin(), image.bytes().end());
    };
    session = std::make_unique<standin::Session>(module, globals, file, setup);
  }

  // The last save, which every input ends with: its outcome, and the files.
  std::map<std::string, std::string> finish(std::string &outcome) {
    try {
      session->run(standin::parseCommand("save last.obj"));
      session->writePictures();
      outcome = "saved";
    } catch (const standin::Failure &error) {
      outcome = error.what();
    }
    return scratchFiles();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const standin::LoadedModule module = standin::LoadedModule::linked(&_mod_descrip);
  emptyScratch();
  Run first(module);
  for (const std::string &line :
       fuzz::splitLines(std::string_view(reinterpret_cast<const char *>(data), size))) {
    standin::Command command;
    try {
      if (standin::isBlankLine(line)) continue;
      command = fuzz::confined(standin::parseCommand(line));
    } catch (const standin::Failure &) {
      continue;  // the script target reads any text; this one runs what reads
    }
    checkForms(command);
    const std::string logBefore = first.session->log();
    try {
      first.session->run(command);
    } catch (const standin::Failure &) {
      if (first.session->log() != logBefore)
        violated("'%s' was refused but logged", standin::commandText(command).c_str());
      continue;
    } catch (const std::exception &error) {
      violated("'%s' threw %s, not a Failure", standin::commandText(command).c_str(), error.what());
    }
    checkUndoRedo(*first.session, command);
  }
  const std::string log = first.session->log();
  const std::string firstState = state(*first.session);
  std::string firstOutcome, againOutcome;
  const std::map<std::string, std::string> firstFiles = first.finish(firstOutcome);
  // The module keeps the live tool's settings for the next pick in the
  // process, as a modeler keeps a tool's: the replay starts with none live.
  first.session.reset();

  emptyScratch();
  Run again(module);
  try {
    again.session->runScript(standin::parseScript(log, "log"));
  } catch (const standin::Failure &error) {
    violated("the session's log does not replay: %s\n%s", error.what(), log.c_str());
  }
  if (again.session->log() != log)
    violated("the replayed log differs:\n%s\n----\n%s", log.c_str(), again.session->log().c_str());
  if (state(*again.session) != firstState)
    violated("the replayed session differs: %s\nreplayed: %s\n%s", readable(firstState).c_str(),
             readable(state(*again.session)).c_str(), log.c_str());
  const std::map<std::string, std::string> againFiles = again.finish(againOutcome);
  if (againOutcome != firstOutcome)
    violated("the last save: '%s', replayed '%s'", firstOutcome.c_str(), againOutcome.c_str());
  if (againFiles != firstFiles) {
    for (const auto &[name, bytes] : firstFiles) {
      const auto other = againFiles.find(name);
      if (other == againFiles.end() || other->second != bytes)
        violated("the replay's %s differs (%zu bytes, replayed %zu)\n%s", name.c_str(), bytes.size(),
                 other == againFiles.end() ? 0 : other->second.size(), log.c_str());
    }
    violated("the replay wrote other files\n%s", log.c_str());
  }
  return 0;
}
