#include "run_program.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <unordered_map>

#include "bundled_example.h"
#include "fault_injection.h"
#include "interrupt.h"
#include "output_check.h"
#include "pair_report.h"
#include "standin/host/host_error.h"
#include "standin/host/host_globals.h"
#include "standin/host/mesh.h"
#include "standin/host/module_loader.h"
#include "standin/host/number_text.h"
#include "standin/host/tool_session.h"
#include "standin/media/freetype_font.h"
#include "standin/media/png_file.h"
#include "standin/session/atomic_file.h"
#include "standin/session/obj_file.h"
#include "standin/session/point_pairs.h"
#include "standin/session/run_error.h"
#include "standin/session/script.h"
#include "standin/session/selection.h"
#include "standin/session/session_runner.h"
#include "standin/session/text_input.h"
#include "standin/terminal/progress_bar.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
using standin::RunError;

constexpr const char *kProgram = "elasticpull-host: ";

// Values in the summary are for reading: rounded, never 5.499999999999999.
std::string number(double value) { return standin::formatReadable(value); }

int fail(int code, const std::string &message) {
  std::cerr << kProgram << message << "\n";
  return code;
}

// The whole script, from a file or standard input ("-"); `name` is how
// messages name it.
std::string readScriptText(const std::string &file, const std::string &name) {
  std::error_code error;
  if (file != "-" && fs::is_directory(file, error))
    throw RunError(standin::kExitBadInput, "cannot read script '" + file + "': it is a folder");
  try {
    return file == "-" ? standin::readTextStream(stdin) : standin::readTextFile(file);
  } catch (const standin::TextInputError &e) {
    if (e.kind() == standin::TextInputError::Kind::NotText)
      throw RunError(standin::kExitBadInput, name + ":" + std::to_string(e.line()) + ": " + e.what());
    const std::string what = file == "-" ? "the script from standard input" : "script '" + file + "'";
    throw RunError(standin::kExitBadInput, "cannot read " + what + ": " + e.what());
  }
}

std::string describeSettings(const standin::ToolSettings &s) {
  std::string text = s.mode == 0 ? "Factor " + number(s.factor) + " (" + number(s.factor * 100.0) + "%)"
                                 : "Offset " + number(s.offset);
  return text + ", symmetry " + (s.symmetry != 0 ? "on" : "off") + ": " + standin::describeLengthRule(s);
}

// --length and --match-pair: "Length 2, symmetry on: each pair gets Offset
// (2 - its length) / 2 (both ends move)".
std::string describeLengthTarget(double target, const ProgramOptions &o) {
  const std::string l = number(target);
  std::string text = "Length " + l + (o.matchPair ? " (pair " + std::to_string(*o.matchPair) + "'s)" : "");
  text += o.symmetry ? ", symmetry on: each pair gets Offset (" + l + " - its length) / 2 (both ends move)"
                     : ", symmetry off: each pair gets Offset " + l + " - its length (the handle end moves)";
  return text;
}

// The descriptor's words and the server list, as the host read them.
void printDescriptor(const standin::LoadedModule &module, std::ostream &out) {
  const ModuleDescriptor &descriptor = module.descriptor();
  out << "module " << module.path() << "\n"
      << "  sync " << standin::formatHex32(descriptor.sysSync) << ", version " << descriptor.sysVersion
      << ", machine " << standin::formatHex32(descriptor.sysMachine) << ", startup result "
      << reinterpret_cast<uintptr_t>(module.startupResult()) << "\n";
  for (const ServerRecord *server : module.servers())
    out << "  server class \"" << server->className << "\", name \""
        << (server->name != nullptr ? server->name : "") << "\"\n";
}

standin::ScriptCommand command(standin::ScriptOp op, int code = 0, double value = 0.0) {
  standin::ScriptCommand c;
  c.op = op;
  c.code = code;
  c.value = value;
  return c;
}

// The one stretch the options ask for, as the panel edits a user would make.
std::vector<standin::ScriptCommand> panelEditsFromOptions(const ProgramOptions &o) {
  using standin::ScriptOp;
  std::vector<standin::ScriptCommand> commands;
  if (o.offset) commands.push_back(command(ScriptOp::Mode, 1));
  if (o.symmetry) commands.push_back(command(ScriptOp::Symmetry, 1));
  if (o.factor) commands.push_back(command(ScriptOp::Factor, 0, *o.factor));
  if (o.offset) commands.push_back(command(ScriptOp::Offset, 0, *o.offset));
  return commands;
}

// One run of the program, step by step: the inputs are checked, the mesh and
// the module loaded, the tool driven, and the outputs written only when the
// tool did not fail.
class ProgramRun {
 public:
  ProgramRun(ProgramOptions options, fs::path programFolder)
      : o_(std::move(options)), programFolder_(std::move(programFolder)) {
    // With the mesh on standard output, everything else goes to standard error.
    if (o_.output == "-") {
      out_ = &std::cerr;
      meshOutput_ = "/dev/stdout";
      meshShown_ = "standard output";
    } else {
      meshOutput_ = meshShown_ = o_.output;
    }
    narration_ = o_.example && o_.quiet ? &silent_ : out_;
    if (!o_.quiet && standin::standardErrorIsTerminal()) {
      fileBars_.emplace(std::cerr, standin::kFileProgressMinBytes);
      monitorBars_.emplace(std::cerr, standin::kMonitorBarMinTotal);
    }
  }

  int run() {
    const auto started = std::chrono::steady_clock::now();
    interrupt_ = &installInterruptHandler();
    if (o_.example) prepareExample();
    checkInputs();
    loadMesh();
    loadModule();
    standin::SessionRunner runner(*module_, globals_, *obj_, makeHooks());
    reachedPhase(Phase::Build);
    driveTool(runner);
    if (auto code = stopIfFailed(runner)) return *code;
    // The options' outputs are made now, while the tool is open, and written
    // once it closed without a failure; the mesh last, once the tool's result
    // is known to hold no NaN.
    runner.holdOutputs();
    writeViews(runner);
    runner.close();
    if (auto code = stopIfFailed(runner)) return *code;
    runner.syncObj();
    // The pairs' lengths only when something shows them (a quiet run skips them).
    const bool toldBack = o_.verbose || !o_.report.empty() || !o_.quiet;
    const std::vector<standin::PairLength> lengths =
        toldBack ? pairLengths() : std::vector<standin::PairLength>{};
    // The closing outputs are put in place together or not at all.
    std::string wrote;
    runner.writeAsOneSet([&] {
      if (!o_.report.empty()) runner.writeOutput(o_.report, reportJson(makeReport(runner, lengths)));
      runner.writeHeldOutputs();
      wrote = writeMesh(runner);
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (o_.verbose) *out_ << listPairs(lengths);
    if (!o_.quiet) printSummary(runner, lengths, wrote, seconds);
    if (o_.example && !o_.quiet) listExampleOutputs();
    return standin::kExitOk;
  }

  // A run that stopped with an error: the message, then the files already
  // written, if any (and that none were, when the tool failed).
  int stop(int code, const std::string &message) const {
    if (code == standin::kExitInterrupted) {
      return fail(code,
                  "interrupted: " + message + "; the input mesh is untouched; " + writtenSoFar("interrupt"));
    }
    fail(code, message);
    if (!written_.empty() || code == standin::kExitToolFailed) fail(code, writtenSoFar("failure"));
    return code;
  }

 private:
  // The bundled example is a script run with preset files.
  void prepareExample() {
    std::string tried;
    const auto folder = findExampleFolder(programFolder_, o_.exampleDir, tried);
    if (!folder)
      throw RunError(standin::kExitBadInput, "the bundled example is not found (looked in " + tried + ")");
    outputFolder_ = o_.outputDir.empty() ? kExampleOutputDir : o_.outputDir;
    std::error_code error;
    fs::create_directories(outputFolder_, error);
    if (!fs::is_directory(outputFolder_, error))
      throw RunError(standin::kExitCannotWrite, "cannot make the output folder '" + outputFolder_ + "'");
    o_.mesh = (*folder / kExampleMesh).string();
    o_.script = (*folder / kExampleScript).string();
    o_.output = meshOutput_ = meshShown_ = (fs::path(outputFolder_) / kExampleResult).string();
    *narration_ << "Elastic_Pull example: " << o_.mesh << " with the session " << o_.script << "\n"
                << "Outputs go to " << fs::absolute(outputFolder_).lexically_normal().string() << "\n\n";
  }

  // Everything the user gave is checked before the module is loaded: the
  // script, and every output it and the options name.
  void checkInputs() {
    scriptName_ = o_.script == "-" ? "<stdin>" : o_.script;
    if (!o_.script.empty())
      script_ = standin::parseScript(readScriptText(o_.script, scriptName_), scriptName_);
    if (checkOutputs(plannedOutputs(), readFiles(), scriptName_).toStandardOutput) {
      // The output is all that standard output carries; messages go to standard error.
      out_ = &std::cerr;
      if (narration_ != &silent_) narration_ = out_;
    }
  }

  // The files the run reads, which no output may replace.
  std::vector<ReadFile> readFiles() const {
    std::vector<ReadFile> files{{o_.mesh, kInputMesh}};
    if (!o_.script.empty()) files.push_back({o_.script, "the script"});
    files.push_back(
        {o_.module.empty() ? (programFolder_ / "elasticpull.p").string() : o_.module, "the module"});
    files.push_back({standin::FreeTypeFont::findDefaultFont(), "the font of the About picture"});
    return files;
  }

  std::vector<PlannedOutput> plannedOutputs() const {
    using standin::ScriptOp;
    std::vector<PlannedOutput> list;
    auto add = [&](const std::string &path, const std::string &shown, const char *kind, const char *option,
                   std::size_t line) {
      list.push_back(PlannedOutput{path, shown, kind, option, line, false});
    };
    if (!o_.output.empty()) {
      add(meshOutput_, o_.output, "the mesh", o_.inPlace ? "--in-place" : "-o", 0);
      list.back().isResult = o_.inPlace;
    }
    const auto resolved = [&](const std::string &name) {
      return name == "-" ? name : standin::resolveOutputPath(outputFolder_, name);
    };
    if (!o_.svg.empty()) add(resolved(o_.svg), o_.svg, "the SVG", "--svg", 0);
    if (!o_.aboutPng.empty()) add(resolved(o_.aboutPng), o_.aboutPng, "the About picture", "--about-png", 0);
    if (!o_.report.empty()) add(o_.report, o_.report, "the report", "--report", 0);
    for (const standin::ScriptCommand &c : script_.commands) {
      if (c.op == ScriptOp::Save) add(resolved(c.text), c.text, "the mesh", "save", c.line);
      if (c.op == ScriptOp::Svg) add(resolved(c.text), c.text, "the SVG", "svg", c.line);
      if (c.op == ScriptOp::About && !c.text.empty())
        add(resolved(c.text), c.text, "the About picture", "about", c.line);
    }
    return list;
  }

  // The mesh, from a file (showing the progress of a large one) or from
  // standard input.
  void loadMesh() {
    if (o_.mesh == "-") {
      obj_.emplace(standin::ObjFile::readStream(stdin, "<stdin>"));
    } else {
      std::error_code error;
      const std::uintmax_t size = fs::is_regular_file(o_.mesh, error) ? fs::file_size(o_.mesh, error) : 0;
      standin::withProgress(
          fileBars(), "Reading " + o_.mesh, 2 * size, [&](const standin::ProgressReport &report) {
            obj_.emplace(standin::ObjFile::read(o_.mesh, {}, interruptibleReading(report, "the mesh")));
          });
    }
    if (o_.digits >= 0) obj_->setDecimals(o_.digits);
    standin::Mesh &mesh = obj_->mesh();
    const char *option = !o_.select.empty()  ? "--select"
                         : !o_.pairs.empty() ? "--pairs"
                                             : "--pairs-from-edges";
    try {
      if (!o_.select.empty()) mesh.selectOnly(standin::parseSelection(o_.select, mesh.size()));
      if (!o_.pairs.empty() || o_.pairsFromEdges) mesh.selectInOrder(standin::pairPoints(chosenPairs()));
    } catch (const standin::SelectionError &error) {
      throw RunError(standin::kExitBadInput, std::string(option) + ": " + error.what());
    }
  }

  // The pairs of --pairs or --pairs-from-edges, checked.
  std::vector<standin::PointPair> chosenPairs() const {
    if (!o_.pairs.empty()) return standin::parsePairs(o_.pairs, obj_->pointCount());
    const std::optional<int> axis = standin::parseAxis(o_.axis);
    std::vector<standin::PointPair> pairs =
        axis ? standin::pairsAlongAxis(*obj_, *axis) : standin::pairsFromLines(*obj_);
    if (pairs.empty()) {
      throw standin::SelectionError(axis ? "the mesh has no edge within " +
                                               number(standin::kAlongAxisDegrees) + " degrees of the " +
                                               o_.axis + " axis"
                                         : "the mesh has no line element of two points (l a b)");
    }
    standin::checkPairs(pairs);
    return pairs;
  }

  void loadModule() {
    if (o_.trace) globals_.tracer().setSink([this](const std::string &line) { *out_ << line << "\n"; });
    if (monitorBars_) globals_.monitors().setDisplay(&*monitorBars_);
    globals_.monitors().setInterruptFlag(interrupt_);
    const std::string path = o_.module.empty() ? (programFolder_ / "elasticpull.p").string() : o_.module;
    try {
      module_.emplace(standin::LoadedModule::open(path));
    } catch (const standin::HostError &error) {
      throw RunError(standin::kExitNoModule, error.what());
    }
    if (o_.example) {
      printDescriptor(*module_, *narration_);
      *narration_ << "\n";
    }
  }

  standin::RunnerHooks makeHooks() {
    std::string fontError;
    font_ = standin::FreeTypeFont::load("", 12, &fontError);
    if (!font_ && (!o_.aboutPng.empty() || o_.example))
      std::cerr << kProgram << "warning: no font for the About panel's text (" << fontError << ")\n";
    standin::RunnerHooks hooks;
    hooks.out = narration_;
    hooks.progress = fileBars();
    hooks.outputFolder = outputFolder_;
    hooks.font = font_.get();
    hooks.encodePicture = [](const standin::RgbImage &picture) {
      std::string error;
      std::optional<std::string> png = standin::encodePng(picture, &error);
      if (!png) throw RunError(standin::kExitCannotWrite, "cannot write the About picture: " + error);
      return *png;
    };
    hooks.wrote = [this](const std::string &path) { written_.push_back(path); };
    hooks.interrupt = interrupt_;
    return hooks;
  }

  void printFailures(const standin::SessionRunner &runner) const {
    for (const standin::ToolFailure &f : runner.failures()) {
      const std::string where = f.line > 0 ? scriptName_ + ":" + std::to_string(f.line) + ": " : "";
      std::cerr << kProgram << where << "the tool failed at '" << f.command << "': " << f.what << "\n";
    }
  }

  // The script, or the one stretch of the options in one build: the panel
  // is set before the pick's build. Invert Handle swaps the ends of the
  // tool's pairs, which exist only once it built: with --invert the pick
  // builds, then the button and the panel edits make the second build.
  void driveTool(standin::SessionRunner &runner) {
    if (!o_.script.empty()) {
      try {
        runner.runScript(script_);
      } catch (const RunError &) {
        printFailures(runner);  // what went wrong before the script's mistake, if anything
        writePicturesTaken(runner);
        throw;
      }
      return;
    }
    if (o_.length || o_.matchPair) return stretchToLength(runner);
    stretchOnce(runner, panelEditsFromOptions(o_));
  }

  // Picks the tool with the panel edits made before its first build.
  void stretchOnce(standin::SessionRunner &runner, std::vector<standin::ScriptCommand> edits) {
    if (!o_.invert) return runner.pickWith(edits);
    runner.pickWith({});
    if (!runner.failures().empty() || interrupted()) return;
    edits.insert(edits.begin(), command(standin::ScriptOp::Invert));
    runner.runPanelEdits(edits);
  }

  // --length and --match-pair through the tool. The tool gives every pair it
  // holds the same Offset, so the host selects the pairs of one length at a
  // time (in their order), picks the tool, types in Offset mode the Offset
  // that brings that length to the target, and closes the tool, keeping the
  // result: one build for each different length. The pairs are selected
  // again at the end.
  void stretchToLength(standin::SessionRunner &runner) {
    using standin::ScriptOp;
    standin::Mesh &mesh = obj_->mesh();
    const std::vector<standin::PointPair> pairs = standin::deliveredPairs(mesh);
    target_ = lengthTarget(pairs);
    runner.warnIfOddSelection();  // the picks below see the pairs alone
    std::vector<std::pair<double, std::vector<standin::PointPair>>> groups;  // by length, first seen first
    std::unordered_map<double, std::size_t> groupOf;
    for (const standin::PointPair &pair : pairs) {
      const double length = standin::distance(mesh.position(pair.handle), mesh.position(pair.anchor));
      const auto [at, added] = groupOf.emplace(length, groups.size());
      if (added) groups.emplace_back(length, std::vector<standin::PointPair>{});
      groups[at->second].second.push_back(pair);
    }
    for (const auto &[length, group] : groups) {
      if (interrupted()) break;
      mesh.selectInOrder(standin::pairPoints(group));
      std::vector<standin::ScriptCommand> edits{command(ScriptOp::Mode, 1)};
      if (o_.symmetry) edits.push_back(command(ScriptOp::Symmetry, 1));
      edits.push_back(command(ScriptOp::Offset, 0, (*target_ - length) / (o_.symmetry ? 2.0 : 1.0)));
      stretchOnce(runner, edits);
      runner.close();
      if (!runner.failures().empty()) break;
    }
    mesh.selectInOrder(standin::pairPoints(pairs));
    // The views show the tool with every pair; its first build moves nothing.
    if (!interrupted() && runner.failures().empty() && (!o_.svg.empty() || !o_.aboutPng.empty()))
      runner.pickWith({});
  }

  // The length every pair is to have; refuses pairs whose ends coincide (the
  // tool cannot give them a direction) and a pair number past the last.
  double lengthTarget(const std::vector<standin::PointPair> &pairs) const {
    const standin::Mesh &mesh = obj_->mesh();
    const char *option = o_.length ? "--length" : "--match-pair";
    if (pairs.empty())
      throw RunError(standin::kExitBadInput, std::string(option) + ": no pairs are selected");
    std::vector<std::string> zero;  // the first five, and how many more
    std::size_t zeroCount = 0;
    for (std::size_t k = 0; k < pairs.size(); ++k) {
      if (!standin::coincide(mesh.position(pairs[k].handle), mesh.position(pairs[k].anchor))) continue;
      if (++zeroCount <= 5) zero.push_back(std::to_string(k) + " (" + standin::formatPairs({pairs[k]}) + ")");
    }
    if (zeroCount > 5) zero.push_back(std::to_string(zeroCount - 5) + " more");
    if (zeroCount > 0) {
      const bool one = zeroCount == 1;
      throw RunError(
          standin::kExitBadInput,
          std::string(option) + ": " + (one ? "pair " : "pairs ") + joinWithAnd(zero) +
              (one ? " has" : " have") +
              " zero length: the ends are at one place, so there is no direction to stretch along; "
              "leave " +
              (one ? "it" : "them") + " out (--pairs)");
    }
    if (o_.length) return *o_.length;
    if (*o_.matchPair >= pairs.size()) {
      throw RunError(standin::kExitBadInput,
                     "--match-pair " + std::to_string(*o_.matchPair) + ": there " +
                         (pairs.size() == 1 ? "is 1 pair (0)"
                                            : "are " + std::to_string(pairs.size()) + " pairs (0-" +
                                                  std::to_string(pairs.size() - 1) + ")"));
    }
    const standin::PointPair &match = pairs[*o_.matchPair];
    return standin::distance(mesh.position(match.handle), mesh.position(match.anchor));
  }

  // The pictures the script took before it stopped (they show how it got
  // there), unless Ctrl-C stopped it; a picture that cannot be written is
  // named, and the run's own error still decides the exit code.
  static void writePicturesTaken(standin::SessionRunner &runner) {
    if (interrupted()) return;
    try {
      runner.writePictures();
    } catch (const RunError &error) {
      fail(error.exitCode(), error.what());
    }
  }

  // Nothing more is written after an interrupt or a failure of the tool but
  // the pictures the script took.
  std::optional<int> stopIfFailed(standin::SessionRunner &runner) const {
    if (interrupted()) {
      const bool boxes = !runner.failures().empty();
      runner.close();
      return stop(standin::kExitInterrupted, boxes ? "Ctrl-C aborted the tool's build (the tool's error box "
                                                     "above is how it reports an abort)"
                                                   : "Ctrl-C stopped the run");
    }
    if (runner.failures().empty()) return std::nullopt;
    runner.close();
    printFailures(runner);
    writePicturesTaken(runner);
    return fail(standin::kExitToolFailed, writtenSoFar("failure"));
  }

  void writeViews(standin::SessionRunner &runner) {
    if (!o_.svg.empty()) runner.writeSvg(o_.svg, o_.view, o_.zoom);
    if (o_.aboutPng.empty()) return;
    if (!runner.live()) {
      throw RunError(standin::kExitBadInput,
                     "--about-png: the tool was closed by the script; the About "
                     "button is in its options panel (use 'about FILE' in the script)");
    }
    runner.pressAbout(o_.aboutPng);
  }

  std::string writeMesh(standin::SessionRunner &runner) {
    if (o_.output.empty()) return "result not saved (no -o or --in-place)";
    runner.writeMesh(meshOutput_, meshShown_);
    return o_.output == "-" ? "wrote the mesh to standard output" : "wrote " + meshShown_;
  }

  // What a failed run says about its output files.
  std::string writtenSoFar(const char *before) const {
    if (written_.empty()) return "nothing was written";
    std::string list;
    for (const std::string &path : written_)
      list += (list.empty() ? "" : ", ") + (path == "-" ? std::string("standard output") : path);
    return "wrote " + list + " before the " + before + "; nothing else was written";
  }

  // The pairs as the tool holds them at the end, with their lengths in the
  // file and now; with --invert the tool swapped every pair's ends.
  std::vector<standin::PairLength> pairLengths() const {
    std::vector<standin::PointPair> pairs = standin::deliveredPairs(obj_->mesh());
    if (o_.invert)
      for (standin::PointPair &pair : pairs) std::swap(pair.handle, pair.anchor);
    return standin::measurePairs(*obj_, pairs);
  }

  std::string describeStretch(const standin::SessionRunner &runner) const {
    if (target_) return describeLengthTarget(*target_, o_);
    if (auto s = runner.settings()) return describeSettings(*s);
    return "";
  }

  PairReport makeReport(const standin::SessionRunner &runner,
                        std::vector<standin::PairLength> lengths) const {
    PairReport report;
    report.mesh = o_.mesh;
    if (!o_.output.empty()) report.output = o_.output;
    report.stretch = describeStretch(runner);
    if (auto s = runner.settings()) {
      report.mode = s->mode;
      report.factor = s->factor;
      report.offset = s->offset;
      report.symmetry = s->symmetry == 1;
    }
    report.length = target_;
    report.pairs = std::move(lengths);
    return report;
  }

  void printSummary(const standin::SessionRunner &runner, const std::vector<standin::PairLength> &lengths,
                    const std::string &wrote, double seconds) const {
    const std::string elapsed = standin::formatFixed(seconds, 2) + " s";
    const std::size_t pairs = obj_->mesh().selectedCount() / 2;
    std::ostream &out = *out_;
    out << "moved " << obj_->changedCount() << " of " << obj_->pointCount() << " points; " << pairs
        << (pairs == 1 ? " pair" : " pairs");
    if (const std::string stretch = describeStretch(runner); !stretch.empty()) out << "; " << stretch;
    if (const std::string now = describeNewLengths(lengths); !now.empty()) out << "; " << now;
    out << "; " << runner.builds() << (runner.builds() == 1 ? " build" : " builds") << "; " << wrote << " ("
        << elapsed << ")\n";
  }

  void listExampleOutputs() const {
    *out_ << "\nThe example's files are in " << outputFolder_ << ":\n";
    std::vector<std::string> names;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(outputFolder_, error))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) *out_ << "  " << name << "\n";
  }

  ProgramOptions o_;
  fs::path programFolder_;
  std::ostream *out_ = &std::cout;  // the summary and the trace
  std::ostream *narration_;         // the example's narration and a script's output
  std::ostream silent_{nullptr};    // takes output and shows none
  // Progress bars on a terminal: of reading and writing large files, of builds.
  std::optional<standin::TerminalProgress> fileBars_;
  std::optional<standin::TerminalProgress> monitorBars_;
  standin::ProgressDisplay *fileBars() { return fileBars_ ? &*fileBars_ : nullptr; }
  std::string meshOutput_;  // where the result mesh is written ("/dev/stdout" for -o -)
  std::string meshShown_;   // how messages name it
  const std::atomic<bool> *interrupt_ = nullptr;
  std::vector<std::string> written_;  // output files written so far, in order
  std::string scriptName_;
  std::string outputFolder_;  // example outputs
  standin::Script script_;
  std::optional<double> target_;         // the length of --length or --match-pair, once known
  std::optional<standin::ObjFile> obj_;  // the mesh the tool edits is the file's own
  standin::HostGlobals globals_;
  std::optional<standin::LoadedModule> module_;
  std::unique_ptr<standin::FreeTypeFont> font_;
};

}  // namespace

int runProgram(ProgramOptions options, const fs::path &programFolder) {
  installFaultsFromEnvironment();
  ProgramRun run(std::move(options), programFolder);
  try {
    const int code = run.run();
    if (code == standin::kExitOk && interrupted())
      fail(code,
           "Ctrl-C came too late to stop the run: its outputs were being put in place, and all are written");
    return code;
  } catch (const RunError &error) {
    return run.stop(error.exitCode(), error.what());
  } catch (const standin::ScriptError &error) {
    return run.stop(standin::kExitBadInput, error.what());
  } catch (const standin::ObjError &error) {
    return run.stop(standin::kExitBadInput, error.what());
  } catch (const standin::HostError &error) {
    return run.stop(standin::kExitNoModule, error.what());
  } catch (const std::bad_alloc &) {
    return run.stop(standin::kExitToolFailed, "out of memory");
  }
}

int describeModule(const std::string &modulePath) {
  try {
    standin::LoadedModule module = standin::LoadedModule::open(modulePath);
    printDescriptor(module, std::cout);

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
