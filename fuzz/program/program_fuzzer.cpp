// The program layer: an input becomes one run of elasticpull-host's command
// line (the mesh, a script, selections, the tool's values, the outputs: -o,
// --svg, --about-png, --report and the script's save, svg and about), in a
// scratch folder that holds the inputs, older outputs, a link to the mesh and
// a subfolder. The command line is parsed and run in this process, with the
// module linked in; one write, fsync or rename into the folder (the k-th)
// may fail (io_faults.h). After the run:
//
//  - No input changed: the mesh (also through its link) and the script.
//  - No temporary file is left behind.
//  - A failed run changed exactly the files its message says it wrote
//    ("wrote A, B before the failure; then the pictures the script had taken:
//    C; nothing else was written"; none when it says nothing was written).
//  - A report describes only what exists: the output it names was written by
//    this run (after a run that succeeded: a failed run may still leave a
//    report naming the output its failure kept from being written).
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/invariant.h"
#include "fuzz/program/io_faults.h"
#include "host/host_abi.h"
#include "standin/cli/command_line.h"
#include "standin/cli/run_program.h"
#include "standin/session/script.h"

extern "C" const ModuleDescriptor _mod_descrip;

namespace {

using fuzz::violated;
namespace fs = std::filesystem;

const char *const kMeshes[] = {
    // Five pairs, a face and a line.
    ("v 0 2 0\nv 0 0 0\nv 3 3 1\nv 3 0 1\nv 6 1 2\nv 6 4 2\nv -1 -1 5\nv 2 2 2\nv 0.5 0.25 -3\nv 1e3 0 0\n"
     "f 1 2 4 3\nl 5 6\n"),
    // A pair so long that stretching it leaves the range of a double.
    "v 1e308 0 0\nv -1e308 0 0\nv 0 1 0\nv 0 0 0\n",
    // Not a mesh.
    "v 0 0\nx\n",
};

// Output names: each option's own, the inputs, a link to the mesh, a file in
// the subfolder, one in a folder that does not exist, and the subfolder.
const char *const kNames[] = {"out.obj",  "p.svg",     "a.png",       "r.json", "in.obj",   "s.txt",
                              "link.obj", "sub/x.obj", "nodir/x.obj", "sub",    "out2.obj", "q.svg"};

const char *const kScriptLines[] = {"select 0-3",
                                    "select 0-9",
                                    "select 0",
                                    "pairs 0:1,2:3",
                                    "pick",
                                    "pick factor 2",
                                    "pick mode offset offset 1e308",
                                    "press point 0",
                                    "drag 0 9 0",
                                    "release",
                                    "factor 1e308",
                                    "close",
                                    "undo",
                                    "revert",
                                    "length 2",
                                    "echo hi"};

std::string nameFor(FuzzedDataProvider &in, const char *own) {
  const auto choice = in.ConsumeIntegral<std::uint8_t>();
  return choice < 160 ? own : kNames[choice % std::size(kNames)];
}

// Whether every file the script names lies in the scratch folder. A line
// made of the input's bytes can name any file (`save /x`, `svg ../x`), and
// the run would write it there: such an input is not run.
bool staysInScratch(const std::string &script) {
  using standin::CommandOp;
  try {
    for (const standin::Command &command : standin::parseScript(script, "s.txt").commands) {
      if (command.op != CommandOp::Save && command.op != CommandOp::Svg && command.op != CommandOp::About &&
          command.op != CommandOp::Open)
        continue;
      const fs::path name(command.text);
      if (name.is_absolute()) return false;
      for (const fs::path &part : name)
        if (part == "..") return false;
    }
  } catch (const std::exception &) {
    // The run refuses the script before any command runs.
  }
  return true;
}

std::string scriptFor(FuzzedDataProvider &in) {
  std::string script;
  const std::size_t lines = in.ConsumeIntegralInRange<std::size_t>(0, 8);
  for (std::size_t i = 0; i < lines; ++i) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
      case 0:
        script += "save " + nameFor(in, "out2.obj") + "\n";
        break;
      case 1:
        script += "svg " + nameFor(in, "q.svg") + "\n";
        break;
      case 2:
        script += "about " + nameFor(in, "a.png") + "\n";
        break;
      case 3:
        script += in.ConsumeRandomLengthString(24) + "\n";
        break;
      default:
        script +=
            kScriptLines[in.ConsumeIntegral<std::uint8_t>() % std::size(kScriptLines)] + std::string("\n");
    }
  }
  return script;
}

std::vector<std::string> argumentsFor(FuzzedDataProvider &in) {
  std::vector<std::string> args = {"elasticpull-host", "in.obj"};
  const auto flags = in.ConsumeIntegral<std::uint16_t>();
  const auto add = [&](std::initializer_list<std::string> words) { args.insert(args.end(), words); };
  if (flags & 1) add({"--script", "s.txt"});
  if (flags & 2) add({"-o", nameFor(in, "out.obj")});
  if (flags & 4) add({"--svg", nameFor(in, "p.svg")});
  if (flags & 8) add({"--about-png", nameFor(in, "a.png")});
  if (flags & 16) add({"--report", nameFor(in, "r.json")});
  if (flags & 32) add({"--quiet"});
  if (flags & 64) add({"--symmetry"});
  if ((flags & 128) && !(flags & 1)) add({"--invert"});
  static const char *const kSelections[] = {"0-3", "0-9", "0", "all", "0-1"};
  if (flags & 256)
    add({"--select", kSelections[in.ConsumeIntegral<std::uint8_t>() % std::size(kSelections)]});
  if ((flags & 512) && !(flags & 1)) add({"--pairs", "0:1,2:3"});
  static const char *const kValues[] = {"2", "150%", "1e308", "-1", "0"};
  const std::string value = kValues[in.ConsumeIntegral<std::uint8_t>() % std::size(kValues)];
  if (!(flags & 1) && (flags & 1024)) add({"--factor", value});
  if (!(flags & 1) && (flags & 2048)) add({"--offset", value});
  if (!(flags & 1) && (flags & 4096)) add({"--length", value});
  return args;
}

fs::path scratchFolder;

// Makes the current folder the one the runs happen in (one for the process,
// removed at exit) for the scope.
struct InScratch {
  const fs::path previous = fs::current_path();
  InScratch();
  ~InScratch() { fs::current_path(previous); }
};

InScratch::InScratch() {
  if (!scratchFolder.empty()) {
    fs::current_path(scratchFolder);
    return;
  }
  std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : fs::temp_directory_path().string()) +
                        "/ep-program-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) violated("cannot make a scratch folder %s", pattern.c_str());
  scratchFolder = pattern;
  fs::current_path(scratchFolder);
  fuzz::faultFilesUnder(scratchFolder.string());
  std::atexit([] { fs::remove_all(scratchFolder); });
}

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Every regular file of the folder, by its name relative to it.
std::map<std::string, std::string> filesNow() {
  std::map<std::string, std::string> files;
  for (const auto &entry : fs::recursive_directory_iterator(scratchFolder))
    if (entry.is_regular_file() && !entry.is_symlink())
      files[entry.path().lexically_relative(scratchFolder).string()] = readFile(entry.path());
  return files;
}

// `text` cut at each `separator` that stands outside single quotes (inside
// them a backslash escapes the next character).
std::vector<std::string> splitOutsideQuotes(const std::string &text, const std::string &separator) {
  std::vector<std::string> parts(1);
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (quoted && text[i] == '\\' && i + 1 < text.size()) {
      parts.back() += text.substr(i++, 2);
    } else if (!quoted && text.compare(i, separator.size(), separator) == 0) {
      parts.emplace_back();
      i += separator.size() - 1;
    } else {
      quoted = text[i] == '\'' ? !quoted : quoted;
      parts.back() += text[i];
    }
  }
  return parts;
}

// A name as a list shows it: as it is, or quoted with \\, \' and \xNN inside.
std::string unlisted(const std::string &shown) {
  if (shown.size() < 2 || shown.front() != '\'' || shown.back() != '\'') return shown;
  std::string name;
  for (std::size_t i = 1; i + 1 < shown.size(); ++i) {
    if (shown[i] != '\\' || i + 2 >= shown.size()) {
      name += shown[i];
    } else if (shown[i + 1] == 'x' && i + 4 < shown.size()) {
      name += static_cast<char>(std::stoi(shown.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      name += shown[++i];
    }
  }
  return name;
}

// The files a failed run's last line names as written: "wrote A, B before
// the failure; C after the tool's failure, ...; then the pictures the script
// had taken: D; nothing else was written" (any of the parts may be missing),
// by their names relative to the folder.
std::set<std::string> namedAsWritten(const std::string &messages) {
  std::set<std::string> named;
  // The last line's start: a name in it has no line break (a listed name
  // shows control characters as \xNN).
  const std::size_t end = messages.rfind("; nothing else was written");
  if (end == std::string::npos) return named;
  const std::size_t newline = messages.rfind('\n', end);
  const std::size_t line = newline == std::string::npos ? 0 : newline + 1;
  const std::string wrote = "elasticpull-host: wrote ";
  if (messages.compare(line, wrote.size(), wrote) != 0) return named;
  const std::size_t from = line + wrote.size();
  for (std::string part : splitOutsideQuotes(messages.substr(from, end - from), "; ")) {
    for (const char *lead : {"then ", "the pictures the script had taken: "})
      if (part.starts_with(lead)) part.erase(0, std::strlen(lead));
    for (const char *tail : {" before the failure", " before the interrupt", " after the tool's failure"})
      if (const std::size_t cut = part.rfind(tail); cut != std::string::npos) part.erase(cut);
    // Standard output (a script's `save -`) is no file of the folder.
    for (const std::string &shown : splitOutsideQuotes(part, ", "))
      if (!shown.empty() && shown != "standard output")
        named.insert(fs::path(unlisted(shown)).lexically_normal().string());
  }
  return named;
}

std::set<std::string> changedFiles(const std::map<std::string, std::string> &before,
                                   const std::map<std::string, std::string> &after) {
  std::set<std::string> changed;
  for (const auto &[name, bytes] : after) {
    const auto old = before.find(name);
    if (old == before.end() || old->second != bytes) changed.insert(name);
  }
  return changed;
}

std::string joined(const std::set<std::string> &names) {
  std::string text;
  for (const std::string &name : names) text += (text.empty() ? "" : ", ") + name;
  return text.empty() ? "none" : text;
}

void checkReport(const std::map<std::string, std::string> &after, const std::set<std::string> &changed,
                 const std::string &report) {
  if (report.empty() || !changed.contains(report)) return;
  const nlohmann::json json = nlohmann::json::parse(after.at(report), nullptr, false);
  if (json.is_discarded()) violated("the report %s is not JSON", report.c_str());
  if (!json.contains("output") || !json["output"].is_string()) return;
  const std::string output = fs::path(json["output"].get<std::string>()).lexically_normal().string();
  if (!changed.contains(output))
    violated("the report names the output %s, which this run did not write", output.c_str());
}

struct Captured {
  std::ostringstream out, err;
  std::streambuf *oldOut = std::cout.rdbuf(out.rdbuf());
  std::streambuf *oldErr = std::cerr.rdbuf(err.rdbuf());
  ~Captured() {
    std::cout.rdbuf(oldOut);
    std::cerr.rdbuf(oldErr);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // The checks run back in the fuzzer's folder, where libFuzzer saves a finding.
  std::optional<InScratch> inScratch(std::in_place);
  for (const auto &entry : fs::directory_iterator(scratchFolder)) fs::remove_all(entry.path());
  FuzzedDataProvider in(data, size);
  writeFile("in.obj", kMeshes[in.ConsumeIntegral<std::uint8_t>() % std::size(kMeshes)]);
  const std::string script = scriptFor(in);
  if (!staysInScratch(script)) return 0;
  writeFile("s.txt", script);
  fs::create_directory("sub");
  fs::create_symlink("in.obj", "link.obj");
  const auto older = in.ConsumeIntegral<std::uint8_t>();
  for (std::size_t i = 0; i < 4; ++i)
    if (older & (1u << i)) writeFile(kNames[i], std::string("older ") + kNames[i] + "\n");
  const std::vector<std::string> args = argumentsFor(in);
  std::string report;
  for (std::size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "--report") report = fs::path(args[i + 1]).lexically_normal().string();
  fuzz::failCall(in.ConsumeIntegralInRange(0, 7), in.ConsumeBool() ? ENOSPC : EIO);

  const std::map<std::string, std::string> before = filesNow();
  std::vector<char *> argv;
  for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
  int code = 0;
  std::string messages;
  {
    const Captured captured;
    cli::ParsedCommandLine parsed = cli::parseCommandLine(static_cast<int>(argv.size()), argv.data());
    code = parsed.options ? cli::runProgramLinked(std::move(*parsed.options), scratchFolder, &_mod_descrip)
                          : parsed.exitCode;
    messages = captured.err.str();
  }
  fuzz::failCall(0, 0);
  inScratch.reset();

  const std::map<std::string, std::string> after = filesNow();
  // The script is an input only when the run reads it (--svg s.txt alone may replace it).
  const bool readsScript = std::find(args.begin(), args.end(), "--script") != args.end();
  for (const char *input : {"in.obj", "s.txt"})
    if ((readsScript || std::string(input) != "s.txt") && after.at(input) != before.at(input))
      violated("the run (exit %d) changed its input %s", code, input);
  for (const auto &[name, bytes] : after)
    if (fs::path(name).filename().string().starts_with(".elasticpull-"))
      violated("the run (exit %d) left the temporary file %s", code, name.c_str());
  const std::set<std::string> changed = changedFiles(before, after);
  if (code != 0 && changed != namedAsWritten(messages))
    violated("the run failed (exit %d) and changed %s, but says it wrote %s:\n%s", code,
             joined(changed).c_str(), joined(namedAsWritten(messages)).c_str(), messages.c_str());
  // A report, whenever it was written, names only an output this run wrote
  // (a failed run writes none of the options' outputs, its report included).
  checkReport(after, changed, report);
  return 0;
}
