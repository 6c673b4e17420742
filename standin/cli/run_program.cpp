#include "run_program.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <unordered_map>

#include "bundled_example.h"
#include "chosen_pairs.h"
#include "fault_injection.h"
#include "heap_reuse.h"
#include "interrupt.h"
#include "output_check.h"
#include "pair_report.h"
#include "prefixed_stream.h"
#include "standin/host/failure.h"
#include "standin/host/host_globals.h"
#include "standin/host/mesh.h"
#include "standin/host/module_loader.h"
#include "standin/host/number_text.h"
#include "standin/host/tool_session.h"
#include "standin/media/font_on_demand.h"
#include "standin/media/png_file.h"
#include "standin/session/atomic_file.h"
#include "standin/session/obj_file.h"
#include "standin/session/point_pairs.h"
#include "standin/session/script.h"
#include "standin/session/selection.h"
#include "standin/session/session.h"
#include "standin/session/text_input.h"
#include "standin/terminal/progress_bar.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
using standin::Failure;
using standin::FailureKind;

constexpr const char *kProgram = "elasticpull-host: ";

// Values in the summary are for reading: rounded, never 5.499999999999999.
std::string number(double value) { return standin::formatReadable(value); }

// A file name in a list of names (what a run wrote): as it is, or in single
// quotes when it holds what would read as the list's own punctuation (a
// comma, a semicolon, a blank at either end), is not plain text, or is named
// like standard output; inside the quotes a quote or a backslash gets a
// backslash before it and a control character is written \xNN. So a list
// always reads back as the names it holds.
std::string listedName(const std::string &name) {
  const auto awkward = [](unsigned char c) {
    return c < 0x20 || c == 0x7f || c == ',' || c == ';' || c == '\'' || c == '\\';
  };
  // "standard output" unquoted is standard output itself.
  if (!name.empty() && name.front() != ' ' && name.back() != ' ' && name != "standard output" &&
      std::none_of(name.begin(), name.end(), awkward))
    return name;
  std::string out = "'";
  for (const unsigned char c : name) {
    if (c == '\'' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char code[5];
      std::snprintf(code, sizeof code, "\\x%02x", c);
      out += code;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "'";
}

int fail(int code, const std::string &message) {
  std::cerr << kProgram << message << "\n";
  return code;
}

// The whole script, from a file or standard input ("-"); `name` is how
// messages name it.
std::string readScriptText(const std::string &file, const std::string &name) {
  std::error_code error;
  if (file != "-" && fs::is_directory(file, error))
    throw Failure(FailureKind::BadInput, "cannot read script '" + file + "': it is a folder");
  try {
    return file == "-" ? standin::readTextStream(stdin) : standin::readTextFile(file);
  } catch (const Failure &e) {
    if (e.kind() == FailureKind::NotText && e.line() > 0) throw e.at(name);
    const std::string what = file == "-" ? "the script from standard input" : "script '" + file + "'";
    throw Failure(FailureKind::BadInput, "cannot read " + what + ": " + e.message());
  }
}

std::string describeSettings(const standin::ToolSettings &s) {
  std::string text =
      s.mode == 0 ? "Factor " + standin::formatFactorReadable(s.factor) : "Offset " + number(s.offset);
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

// The panel values the options give, set before the pick's first build.
standin::PanelPreset presetFromOptions(const ProgramOptions &o) {
  standin::PanelPreset preset;
  preset.invert = o.invert;
  if (o.offset) preset.mode = 1;
  if (o.symmetry) preset.symmetry = true;
  preset.factor = o.factor;
  preset.offset = o.offset;
  return preset;
}

// One run of the program, step by step: the inputs are checked, the mesh and
// the module loaded, the tool driven, and the outputs written only when the
// tool did not fail.
class ProgramRun {
 public:
  ProgramRun(ProgramOptions options, fs::path programFolder, const ModuleDescriptor *linked)
      : o_(std::move(options)), programFolder_(std::move(programFolder)), linked_(linked) {
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
    standin::Session runner(*module_, globals_, *obj_, makeSetup());
    session_ = &runner;
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
    runner.writeAsOneSet([&] {
      if (!o_.report.empty()) runner.writeOutput(o_.report, reportJson(makeReport(runner, lengths)));
      runner.writeHeldOutputs();
      if (!o_.output.empty()) runner.writeMesh(meshOutput_, meshShown_);
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (o_.verbose) *out_ << listPairs(lengths);
    if (!o_.quiet) printSummary(runner, lengths, seconds);
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
      throw Failure(FailureKind::BadInput, "the bundled example is not found (looked in " + tried + ")");
    outputFolder_ = o_.outputDir.empty() ? kExampleOutputDir : o_.outputDir;
    std::error_code error;
    fs::create_directories(outputFolder_, error);
    if (!fs::is_directory(outputFolder_, error))
      throw Failure(FailureKind::CannotWrite, "cannot make the output folder '" + outputFolder_ + "'");
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
    inputs_ = filesTheRunReads(o_.mesh, o_.script, modulePath());
    if (checkOutputs(plannedOutputs(), inputs_, scriptName_).toStandardOutput) {
      // The output is all that standard output carries; messages go to standard error.
      out_ = &std::cerr;
      if (narration_ != &silent_) narration_ = out_;
    }
  }

  std::string modulePath() const {
    return o_.module.empty() ? (programFolder_ / "elasticpull.p").string() : o_.module;
  }

  std::vector<PlannedOutput> plannedOutputs() const {
    using standin::CommandOp;
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
    for (const standin::Command &c : script_.commands) {
      if (c.op == CommandOp::Save && !c.text.empty())
        add(resolved(c.text), c.text, "the mesh", "save", c.line);
      if (c.op == CommandOp::Svg) add(resolved(c.text), c.text, "the SVG", "svg", c.line);
      if (c.op == CommandOp::About && !c.text.empty())
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
    if (obj_->pointCount() == 0)
      throw Failure(FailureKind::BadInput, "the mesh has no points (no 'v' lines)", obj_->name());
    if (o_.digits >= 0) obj_->setDecimals(o_.digits);
    obj_->setRecomputeNormals(o_.recomputeNormals);
    standin::Mesh &mesh = obj_->mesh();
    const char *option = !o_.select.empty()  ? "--select"
                         : !o_.pairs.empty() ? "--pairs"
                                             : "--pairs-from-edges";
    try {
      if (!o_.select.empty()) mesh.selectOnly(standin::parseSelection(o_.select, mesh.size()));
      if (!o_.pairs.empty() || o_.pairsFromEdges) mesh.selectInOrder(standin::pairPoints(chosenPairs()));
    } catch (const Failure &error) {
      // A mistake in the mesh file is named by its line; the option adds nothing.
      if (!error.where().empty()) throw;
      throw error.at(option);
    }
  }

  // The pairs of --pairs or --pairs-from-edges, checked; what the edges
  // left out is told.
  std::vector<standin::PointPair> chosenPairs() const {
    ChosenPairs chosen = cli::chosenPairs(o_.pairs, o_.axis, o_.axisTolerance, *obj_);
    if (!chosen.skipped.empty() && !o_.quiet)
      *out_ << kProgram << "--pairs-from-edges: " << chosen.skipped << "\n";
    return std::move(chosen.pairs);
  }

  void loadModule() {
    globals_.messages().setEcho(&messages_);
    if (o_.trace) globals_.tracer().setSink([this](const std::string &line) { *out_ << line << "\n"; });
    if (monitorBars_) globals_.monitors().setDisplay(&*monitorBars_);
    globals_.monitors().setInterruptFlag(interrupt_);
    module_.emplace(linked_ != nullptr ? standin::LoadedModule::linked(linked_)
                                       : standin::LoadedModule::open(modulePath()));
    if (o_.example) {
      printDescriptor(*module_, *narration_);
      *narration_ << "\n";
    }
  }

  standin::SessionSetup makeSetup() {
    standin::SessionSetup hooks;
    hooks.out = narration_;
    hooks.err = &messages_;
    hooks.quiet = o_.quiet;
    hooks.history = !o_.script.empty();  // only a script can undo, redo or be refused midway
    // The overlay is drawn only for a picture (and for the trace, which shows
    // every call); the outputs are the same either way.
    hooks.drawViews = !o_.svg.empty() || o_.trace ||
                      std::any_of(script_.commands.begin(), script_.commands.end(),
                                  [](const standin::Command &c) { return c.op == standin::CommandOp::Svg; });
    hooks.progress = fileBars();
    hooks.outputFolder = outputFolder_;
    // `save` alone writes the mesh's output (a page's session replayed).
    if (o_.output != "-") hooks.outputPath = meshOutput_;
    // Each output is checked again as it is written: no file the run reads is replaced.
    hooks.inputs = inputs_;
    hooks.outputReplacesMesh = o_.inPlace;
    hooks.font = &font_;
    hooks.encodePicture = [](const standin::RgbImage &picture) {
      std::string error;
      std::optional<std::string> png = standin::encodePng(picture, &error);
      if (!png) throw Failure(FailureKind::CannotWrite, "cannot write the About picture: " + error);
      return *png;
    };
    hooks.wrote = [this](const std::string &path) { written_.push_back({path, writingNow()}); };
    hooks.interrupt = interrupt_;
    return hooks;
  }

  void printFailures(const standin::Session &runner) const {
    for (const standin::ToolFailure &f : runner.failures()) {
      const std::string where = f.line > 0 ? scriptName_ + ":" + std::to_string(f.line) + ": " : "";
      std::cerr << kProgram << where << "the tool failed at '" << f.command << "': " << f.what << "\n";
    }
  }

  // The script, or the one stretch of the options in one build: the panel
  // is set before the pick's build. Invert Handle swaps the ends of the
  // tool's pairs, which exist only once it built: with --invert the pick
  // builds, then the button and the panel edits make the second build.
  void driveTool(standin::Session &runner) {
    if (!o_.script.empty()) {
      try {
        const std::size_t ran = runner.runScript(script_);
        scriptLeft_ = script_.commands.size() - ran;
        if (ran > 0) scriptStoppedAt_ = script_.commands[ran - 1].line;
      } catch (const Failure &) {
        printFailures(runner);  // what went wrong before the script's mistake, if anything
        writePicturesTaken(runner);
        throw;
      }
      return;
    }
    if (o_.length || o_.matchPair) return stretchToLength(runner);
    standin::Command pick;
    pick.preset = presetFromOptions(o_);
    runner.run(pick);
  }

  // --length and --match-pair through the tool (the session's length and
  // match-pair commands); the views show the tool with every pair, picked
  // again on the result (its first build moves nothing).
  void stretchToLength(standin::Session &runner) {
    standin::Command c;
    c.op = o_.length ? standin::CommandOp::Length : standin::CommandOp::MatchPair;
    c.value = o_.length.value_or(0.0);
    c.point = o_.matchPair.value_or(0);
    if (o_.symmetry) c.preset.symmetry = true;
    c.preset.invert = o_.invert;
    try {
      runner.run(c);
    } catch (const Failure &error) {
      throw Failure(error.kind(), error.message(), "--" + error.where());  // named as the option
    }
    if (!interrupted() && runner.failures().empty() && (!o_.svg.empty() || !o_.aboutPng.empty()))
      runner.run(standin::Command{});
  }

  // The pictures the script took before it stopped (they show how it got
  // there), unless Ctrl-C stopped it; a picture that cannot be written is
  // named, and the run's own error still decides the exit code.
  void writePicturesTaken(standin::Session &runner) {
    if (interrupted()) return;
    stopped_ = true;
    try {
      runner.writePictures();
    } catch (const Failure &error) {
      fail(standin::exitCodeOf(error.kind()), error.what());
    }
  }

  // Nothing more is written after an interrupt or a failure of the tool but
  // the pictures the script took.
  std::optional<int> stopIfFailed(standin::Session &runner) {
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
    if (scriptLeft_ > 0) {
      fail(standin::kExitToolFailed,
           scriptName_ + ":" + std::to_string(scriptStoppedAt_) +
               ": the script stopped at the tool's failure: " + std::to_string(scriptLeft_) +
               (scriptLeft_ == 1 ? " command after it did" : " commands after it did") +
               " not run (a script goes on past failures after a line 'on-failure continue')");
    }
    writePicturesTaken(runner);
    return fail(standin::kExitToolFailed, writtenSoFar("failure"));
  }

  void writeViews(standin::Session &runner) {
    if (!o_.svg.empty()) {
      standin::Command svg;
      svg.op = standin::CommandOp::Svg;
      svg.text = o_.svg;
      svg.view = o_.view;
      svg.zoom = o_.zoom;
      runner.run(svg);
    }
    if (o_.aboutPng.empty()) return;
    if (!runner.live()) {
      throw Failure(FailureKind::BadInput,
                    "--about-png: the tool was closed by the script; the About "
                    "button is in its options panel (use 'about FILE' in the script)");
    }
    standin::Command about;
    about.op = standin::CommandOp::About;
    about.text = o_.aboutPng;
    runner.run(about);
  }

  // Where the run is as a file is put in place, for what a failed run says.
  enum class When { BeforeFailure, AfterFailure, AfterStop };
  struct Written {
    std::string path;
    When when;
  };
  When writingNow() const {
    if (stopped_) return When::AfterStop;
    return session_ != nullptr && !session_->failures().empty() ? When::AfterFailure : When::BeforeFailure;
  }

  // How the lists of files written name an output file: standard output by
  // that name.
  std::string shown(const std::string &path) const {
    if (path == "-" || (o_.output == "-" && path == meshOutput_)) return "standard output";
    return listedName(path);
  }

  std::string namesWritten(When when) const {
    std::string list;
    for (const Written &w : written_)
      if (w.when == when) list += (list.empty() ? "" : ", ") + shown(w.path);
    return list;
  }

  // What a failed run says about its output files: each file named with when
  // it was written (`before`: "failure" or "interrupt").
  std::string writtenSoFar(const char *before) const {
    if (written_.empty()) return "nothing was written";
    const std::string first = namesWritten(When::BeforeFailure);
    const std::string after = namesWritten(When::AfterFailure);
    const std::string pictures = namesWritten(When::AfterStop);
    std::string text = first.empty() ? "" : "wrote " + first + " before the " + before;
    if (!after.empty()) {
      text += (text.empty() ? "wrote " : "; ") + after +
              " after the tool's failure, as the script went on (on-failure continue)";
    }
    if (!pictures.empty())
      text += (text.empty() ? "wrote " : "; then ") + std::string("the pictures the script had taken: ") +
              pictures;
    return text + "; nothing else was written";
  }

  // The summary's account of the files: the mesh first, then every other
  // file the run wrote, in the order they were put in place.
  std::string filesWritten() const {
    std::string list;
    if (!o_.output.empty()) list = o_.output == "-" ? "the mesh to standard output" : listedName(meshShown_);
    for (const Written &w : written_)
      if (o_.output.empty() || w.path != meshOutput_) list += (list.empty() ? "" : ", ") + shown(w.path);
    const std::string unsaved = o_.output.empty() ? "result not saved (no -o or --in-place)" : "";
    if (list.empty()) return unsaved;
    return unsaved + (unsaved.empty() ? "" : "; ") + "wrote " + list;
  }

  // The pairs as the tool holds them at the end, with their lengths in the
  // file and now; with --invert the tool swapped every pair's ends.
  std::vector<standin::PairLength> pairLengths() const {
    std::vector<standin::PointPair> pairs = standin::deliveredPairs(obj_->mesh());
    if (o_.invert)
      for (standin::PointPair &pair : pairs) std::swap(pair.handle, pair.anchor);
    return standin::measurePairs(*obj_, pairs);
  }

  std::string describeStretch(const standin::Session &runner) const {
    if (auto target = runner.lengthTarget()) return describeLengthTarget(*target, o_);
    if (auto s = runner.settings()) return describeSettings(*s);
    return "";
  }

  PairReport makeReport(const standin::Session &runner, std::vector<standin::PairLength> lengths) const {
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
    report.length = runner.lengthTarget();
    report.pairs = std::move(lengths);
    return report;
  }

  void printSummary(const standin::Session &runner, const std::vector<standin::PairLength> &lengths,
                    double seconds) const {
    const std::string elapsed = standin::formatFixed(seconds, 2) + " s";
    const std::size_t pairs = obj_->mesh().selectedCount() / 2;
    std::ostream &out = *out_;
    out << "moved " << obj_->changedCount() << " of " << obj_->pointCount() << " points; " << pairs
        << (pairs == 1 ? " pair" : " pairs");
    if (const std::string stretch = describeStretch(runner); !stretch.empty()) out << "; " << stretch;
    if (const std::string now = describeNewLengths(lengths); !now.empty()) out << "; " << now;
    if (const std::string left = describeTooShort(lengths); !left.empty()) out << "; " << left;
    out << "; " << runner.builds() << (runner.builds() == 1 ? " build" : " builds") << "; " << filesWritten()
        << " (" << elapsed << ")\n";
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
  const ModuleDescriptor *linked_;                // a module linked in, or null: the file
  std::ostream *out_ = &std::cout;                // the summary and the trace
  std::ostream *narration_;                       // the example's narration and a script's output
  std::ostream silent_{nullptr};                  // takes output and shows none
  PrefixedStream messages_{std::cerr, kProgram};  // other layers' lines to standard error
  // Progress bars on a terminal: of reading and writing large files, of builds.
  std::optional<standin::TerminalProgress> fileBars_;
  std::optional<standin::TerminalProgress> monitorBars_;
  standin::ProgressDisplay *fileBars() { return fileBars_ ? &*fileBars_ : nullptr; }
  std::string meshOutput_;  // where the result mesh is written ("/dev/stdout" for -o -)
  std::string meshShown_;   // how messages name it
  const std::atomic<bool> *interrupt_ = nullptr;
  standin::ReadFiles inputs_;                  // the files the run reads, which no output replaces
  std::vector<Written> written_;               // output files written so far, in order
  const standin::Session *session_ = nullptr;  // once it runs
  bool stopped_ = false;                       // the run stopped; the pictures taken are being written
  std::size_t scriptLeft_ = 0;                 // the script's commands that did not run
  std::size_t scriptStoppedAt_ = 0;            // the line of the last one that ran
  std::string scriptName_;
  std::string outputFolder_;  // example outputs
  standin::Script script_;
  std::optional<standin::ObjFile> obj_;  // the mesh the tool edits is the file's own
  standin::HostGlobals globals_;
  std::optional<standin::LoadedModule> module_;
  // Opened only when a thumbnail has text to measure or draw; a run without
  // the About picture never opens it.
  standin::FontOnDemand font_{[](const std::string &why) {
    std::cerr << kProgram << "warning: no font for the About panel's text (" << why << ")\n";
  }};
};

}  // namespace

int runProgram(ProgramOptions options, const fs::path &programFolder) {
  keepFreedMemoryForReuse();
  return runProgramLinked(std::move(options), programFolder, nullptr);
}

int runProgramLinked(ProgramOptions options, const fs::path &programFolder, const ModuleDescriptor *linked) {
  installFaultsFromEnvironment();
  ProgramRun run(std::move(options), programFolder, linked);
  try {
    const int code = run.run();
    if (code == standin::kExitOk && interrupted())
      fail(code,
           "Ctrl-C came too late to stop the run: its outputs were being put in place, and all are written");
    return code;
  } catch (...) {
    const Failure failure = standin::caughtFailure();
    return run.stop(standin::exitCodeOf(failure.kind()), failure.what());
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
  } catch (...) {
    const Failure failure = standin::caughtFailure();
    return fail(standin::exitCodeOf(failure.kind()), failure.what());
  }
  return standin::kExitOk;
}

}  // namespace cli
