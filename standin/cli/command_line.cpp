#include "command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "standin/host/failure.h"
#include "standin/host/number_text.h"
#include "standin/session/nearest_word.h"
#include "standin/session/script.h"

namespace cli {
namespace {

constexpr const char *kDescription =
    "elasticpull-host: plays the Modeler for the Elastic_Pull tool on a Wavefront OBJ mesh.\n"
    "It loads the module, selects points, picks the tool, drives it (options or a session script), and\n"
    "writes the result. Without arguments it runs the bundled example.";

constexpr const char *kFooter = R"(
Examples:
  elasticpull-host                                      run the bundled example
  elasticpull-host mesh.obj --select 0-7 --factor 1.5 -o out.obj
  elasticpull-host mesh.obj --select 0-3 --offset 0.5 --symmetry --svg overlay.svg -o out.obj
  elasticpull-host mesh.obj --script session.txt -o out.obj --trace
  elasticpull-host box.obj --pairs 4:0,5:1,6:2,7:3 --length 2 -v -o out.obj
  elasticpull-host mesh.obj --pairs-from-edges --axis y --factor 2 --report pairs.json -o out.obj
  cat mesh.obj | elasticpull-host - --select 0-7 --factor 150% -o - > out.obj

Points and pairs:
  Points are the file's `v` lines, counted from 0 in file order. --select takes indices and
  ranges such as 0-3,8,9 (or all). The host hands the selected points to the tool in file order
  (not in the order written), and the tool pairs them: the 1st and 2nd selected points are pair 0,
  the 3rd and 4th pair 1, and so on. The first point of each pair is its handle end (the end that
  moves), the second its anchor end. With an odd number selected, the last one is left out.
  --pairs 4:0,5:1 chooses the pairs instead, handle end first, in any order: the host hands the
  points to the tool in that order, so pair 0 is 4:0 and pair 1 is 5:1. --pairs-from-edges takes
  every segment of the file's line elements (`l a b`: a is the handle end; `l a b c` gives a:b and
  b:c); with --axis x|y|z it takes every edge of the faces and lines within 5 degrees of that axis
  instead (--axis-tolerance DEG for another angle), the end further along the axis as the handle
  end. --pairs @FILE reads the pairs from a file (H:A one a line or comma-separated; blank lines and
  # comments allowed). A point can be the end of one pair only: these edges are taken in file order and one with an
  end already taken is skipped (in a chain of edges every other one), and the run says how many.
  A face or line that names no point (an index past the last, 0, or a relative index before the
  first point) is refused with its line.
  -v lists every pair (handle:anchor) with its length in the file and after; --report
  FILE.json writes the same as JSON. After a script, these are the pairs of its last
  selection, with the ends as the host delivered them (the script may have swapped them).

Without a script: --factor F (1.5, or 150%) or --offset D (with --symmetry, --invert) applies
one stretch to every pair, then the tool is closed and the result saved with -o (or --in-place).
Factor F makes
each pair F times as long and Offset D adds D to its length; --symmetry moves both ends, keeping
the midpoint, so Factor F makes it 2F - 1 times as long and Offset D adds 2D (a bar 1 long with
--offset 1 --symmetry comes out 3 long). --length L makes every pair L long, --match-pair N as
long as pair N: the host picks the tool for the pairs of each length in turn and types in Offset
mode the Offset that gets there, L - length or, with --symmetry, (L - length) / 2.
The smallest length: a pair whose ends differ by less than 1e-14 in each of x, y and z has no
direction to stretch along, and every kind of stretch leaves it as it is; the run goes on with the
other pairs and its summary, -v and --report say how many were left.
Lines end in LF or CR LF; a file whose lines end in a carriage return alone (old Mac OS) is refused
with how to convert it, and a mesh with no points is refused. A mesh named - is read from standard input; -o - writes the result to standard output, and
every message (the summary too) then goes to standard error.

Session scripts (--script FILE, or - for standard input), one command a line, '#' comments:
  select SELECTION              select points (as --select)
  pairs H:A [H:A ...]           select pairs, handle end first (as --pairs); pairs lines one
                                after another add up to one selection
  pick                          pick the tool (activation); scripts start without it
  press X Y Z [ctrl] [right]    mouse down at a model position (CTRL, right button)
  press point N [ctrl] [right]  mouse down on point N
  drag X Y Z [ctrl]             move the mouse with the button held
  release                       let the button go
  click N [ctrl] [right]        press and release on point N (an anchor end swaps ends;
                                right: keep the result and start a new stretch)
  drop | reset | activate       the host's events (codes 0, 1, 2); event CODE for any code
  mode factor|offset            options panel: the mode
  factor F   (or P%)            options panel: Factor (1.5 = 150%)
  offset D                      options panel: Offset
  symmetry on|off               options panel: Symmetry
  invert                        options panel: the Invert Handle button
  about [FILE.png]              options panel: the About button (optionally save its picture)
  panel                         print the options panel and what it does to the length
  svg FILE [top|front|side] [zoom selection|mesh]
                                write the viewport (points, pairs and the tool's overlay)
  points [SELECTION]            print point positions (default: the selected points)
  save FILE                     write the mesh as it stands
  echo TEXT                     print TEXT
  close                         close the tool, keeping the result (done at the end anyway)
  on-failure stop|continue      when the tool fails (an error or warning box, a failed build),
                                stop the script there (the default) or go on; a mistake in
                                the script (a bad index, a refused command) always stops it
  Command names and keywords are read whatever their case. Relative file names in a script are
  relative to the working directory; a name with blanks goes in double quotes ("my file.svg").

Output files:
  The mesh keeps every byte but the numbers of the moved points' x y z, which are written in the
  shortest form that reads back exactly (--digits N rounds the coordinates that changed to N
  decimals; a moved point's other coordinates keep their text, and the lengths shown are those
  written); the blanks between them stay. A warning counts the faces with normals (vn) that moved
  points make stale; --normals recompute gives them new normals instead: a flat face its plane's,
  a smooth corner the area-weighted normal of the faces around its point that share it. A vn line
  that an unchanged face still uses stays, and a new vn line is added after the last one.
  Each output is written whole (a hidden temporary file renamed over the target); a device, a FIFO
  or /dev/stdout is written into. No output may be a file the run reads (the input mesh: only
  --in-place replaces it; the script, the module, the font), a file with several names, or share
  its file with another output. -o, --svg, --about-png and --report are written together, all or
  none, once the tool is done without a failure, and the summary names every file written; a
  script's files as its commands run, and a failed run names the ones it wrote.

The playground (`elasticpull-host serve --help`):
  elasticpull-host serve [MESH.obj] [--select LIST | --pairs H:A,... | --pairs-from-edges [--axis x|y|z]]
                         [-o OUT.obj | --in-place] [--port N] [--listen ADDR]
  serves a web page in which the tool is dragged; without a mesh, the bundled example. It prints the
  address to open, with the access token that every request of the page needs.

Exit codes: 0 done; 1 the tool failed (a failed build, the tool showed an error or a
warning box, or it moved a point to a NaN or an infinity); 2 bad input (command line, mesh
file, selection, script, outputs); 3 an output could not be written; 4 the module could not
be loaded or activated; 130 interrupted (Ctrl-C aborts a running build and stops a script;
the input is untouched). A second Ctrl-C, SIGTERM or SIGHUP end the program at once.
)";

// Options read as text and checked once the parser is done.
struct OptionTexts {
  std::string view = "front";
  std::string zoom = "mesh";
  std::string factor;
  std::string offset;
  std::string matchPair;
  std::string normals = "keep";
  CLI::Option *viewOption = nullptr;
};

// Declares the options that say what to stretch and how, bound to the
// fields of `o` (some to `texts`), with their rules against each other.
void declareTaskOptions(CLI::App &app, ProgramOptions &o, OptionTexts &texts) {
  app.add_option("mesh", o.mesh, "the mesh file (Wavefront OBJ), or - for standard input")
      ->type_name("MESH.obj");
  auto *select =
      app.add_option("-s,--select", o.select, "points to select: indices and ranges, e.g. 0-3,8,9, or all")
          ->type_name("LIST");
  auto *pairs =
      app.add_option("--pairs", o.pairs,
                     "the pairs, handle end first, in the tool's order: e.g. 4:0,5:1 (selects them), or "
                     "@FILE: one a line")
          ->type_name("H:A,...");
  auto *fromEdges =
      app.add_flag("--pairs-from-edges", o.pairsFromEdges,
                   "pair the ends of each segment of the line elements (l a b ...; a is the handle end), "
                   "skipping one whose end an earlier pair has");
  auto *axis = app.add_option("--axis", o.axis,
                              "with --pairs-from-edges: every edge within 5 degrees of this axis instead, "
                              "handle end the one further along it")
                   ->type_name("x|y|z")
                   ->check(CLI::IsMember({"x", "y", "z"}));
  auto *tolerance =
      app.add_option("--axis-tolerance", o.axisTolerance,
                     "with --axis: how far from the axis an edge may lean, in degrees (default 5)")
          ->type_name("DEG");
  auto *script = app.add_option("--script", o.script, "run a session script (FILE, or - for standard input)")
                     ->type_name("FILE");
  auto *factor =
      app.add_option("--factor", texts.factor, "stretch every pair with this Factor (1.5, or 150%)")
          ->type_name("F");
  auto *offset = app.add_option("--offset", texts.offset, "stretch every pair by this Offset (a distance)")
                     ->type_name("D");
  auto *length = app.add_option("--length", o.length,
                                "make every pair L long (through the tool: the Offset each pair needs)")
                     ->type_name("L");
  auto *matchPair =
      app.add_option("--match-pair", texts.matchPair, "make every pair as long as pair N (as --length)")
          ->type_name("N");
  auto *symmetry = app.add_flag("--symmetry", o.symmetry,
                                "move both ends, keeping each pair's midpoint: Factor F gives 2F - 1 times "
                                "the length, Offset D adds 2D");
  auto *invert = app.add_flag("--invert", o.invert, "swap the handle end of every pair first");

  factor->excludes(offset);
  script->excludes(factor)->excludes(offset)->excludes(symmetry)->excludes(invert);
  script->excludes(length)->excludes(matchPair);
  pairs->excludes(select)->excludes(fromEdges);
  fromEdges->excludes(select);
  axis->needs(fromEdges);
  tolerance->needs(axis);
  length->excludes(factor)->excludes(offset)->excludes(matchPair);
  matchPair->excludes(factor)->excludes(offset);
}

// Declares the options that say what to write and show, and the bundled
// example's, with their rules against each other.
void declareOutputOptions(CLI::App &app, ProgramOptions &o, OptionTexts &texts) {
  auto *output = app.add_option("-o,--output", o.output,
                                "write the result mesh to this file (- for standard output; every "
                                "message then goes to standard error)")
                     ->type_name("FILE");
  auto *inPlace = app.add_flag("--in-place", o.inPlace, "write the result over the input mesh");
  app.add_option("--digits", o.digits,
                 "write the coordinates the stretch changed with N decimals, rounded (default: the shortest "
                 "form that reads back exactly)")
      ->type_name("N")
      ->check(CLI::Range(0, 17));
  app.add_option("--normals", texts.normals,
                 "the normals (vn) of faces that moved points made stale: keep (default, with a warning) or "
                 "recompute")
      ->type_name("keep|recompute")
      ->check(CLI::IsMember({"keep", "recompute"}));
  auto *svg = app.add_option("--svg", o.svg, "write the viewport (points, pairs, overlay) as SVG (FILE.svg)")
                  ->type_name("FILE");
  texts.viewOption =
      app.add_option("--view", texts.view, "the --svg picture's view: top, front or side (default front)")
          ->type_name("VIEW")
          ->check(CLI::IsMember({"top", "front", "side"}, CLI::ignore_case));
  app.add_option("--zoom", texts.zoom, "what the SVG frames: mesh (default, the whole mesh) or selection")
      ->type_name("WHAT")
      ->check(CLI::IsMember({"mesh", "selection"}, CLI::ignore_case))
      ->needs(svg);
  app.add_option("--about-png", o.aboutPng, "write the About panel's picture as PNG")->type_name("FILE");
  app.add_flag("--trace", o.trace, "print every host call and tool callback, one a line");
  app.add_flag("-q,--quiet", o.quiet,
               "print no summary line, no progress bars and no About line (the bundled example: only "
               "warnings and errors)");
  app.add_flag("-v,--verbose", o.verbose, "list every pair: handle:anchor, length before and after");
  app.add_option("--report", o.report, "write the pairs and their lengths as JSON")->type_name("FILE.json");
  app.add_option("--module", o.module, "the module to load (default: elasticpull.p beside this program)")
      ->type_name("PATH");
  auto *describe =
      app.add_flag("--describe", o.describe, "print the module's descriptor and server, then exit");
  auto *example = app.add_flag("--example", o.example, "run the bundled example (what no arguments do)");
  app.add_option("--example-dir", o.exampleDir, "where the example's files are (default: found)")
      ->type_name("DIR");
  app.add_option("--output-dir", o.outputDir,
                 "the folder for the example's outputs (default ./elasticpull-example-output)")
      ->type_name("DIR");

  output->excludes(inPlace);
  describe->excludes(example);
}

// Declares every option on `app`, in the order --help lists them.
void declareOptions(CLI::App &app, ProgramOptions &o, OptionTexts &texts) {
  declareTaskOptions(app, o, texts);
  declareOutputOptions(app, o, texts);
}

// The `serve` subcommand: its own options, bound to the same fields.
CLI::App *declareServe(CLI::App &app, ProgramOptions &o) {
  CLI::App *serve = app.add_subcommand(
      "serve",
      "Serve the playground: a web page in which the tool is dragged on the mesh (default: the bundled "
      "example with every point selected). Listens on 127.0.0.1 only unless --listen says otherwise; "
      "Ctrl-C stops it.");
  serve->add_option("mesh", o.mesh, "the mesh file (Wavefront OBJ); default: the bundled example")
      ->type_name("MESH.obj");
  auto *select =
      serve->add_option("-s,--select", o.select, "points to select (default all): indices and ranges, or all")
          ->type_name("LIST");
  auto *pairs =
      serve
          ->add_option("--pairs", o.pairs,
                       "the pairs, handle end first, in the tool's order: e.g. 4:0,5:1, or @FILE: one a line")
          ->type_name("H:A,...");
  auto *fromEdges =
      serve->add_flag("--pairs-from-edges", o.pairsFromEdges,
                      "pair the ends of every two-point line element (l a b; a is the handle end)");
  serve
      ->add_option(
          "--axis", o.axis,
          "with --pairs-from-edges: every edge within 5 degrees of this axis instead, handle end the "
          "one further along it")
      ->type_name("x|y|z")
      ->check(CLI::IsMember({"x", "y", "z"}))
      ->needs(fromEdges);
  auto *output =
      serve->add_option("-o,--output", o.output, "the file the page's Save writes (not the input mesh)")
          ->type_name("FILE");
  auto *inPlace = serve->add_flag("--in-place", o.inPlace, "Save writes over the input mesh");
  pairs->excludes(select)->excludes(fromEdges);
  fromEdges->excludes(select);
  output->excludes(inPlace);
  serve->add_option("-p,--port", o.port, "the port (default: a free one)")
      ->type_name("N")
      ->check(CLI::Range(0, 65535));
  serve
      ->add_option("--listen", o.listen,
                   "the address to listen on (default 127.0.0.1); any other exposes the session to the "
                   "network")
      ->type_name("ADDR");
  serve->add_option("--module", o.module, "the module to load (default: elasticpull.p beside this program)")
      ->type_name("PATH");
  serve->add_option("--example-dir", o.exampleDir, "where the example's files are (default: found)")
      ->type_name("DIR");
  serve->add_flag("--trace", o.trace, "print every host call and tool callback, one a line");
  return serve;
}

ParsedCommandLine usage(const std::string &message) {
  std::cerr << "elasticpull-host: " << message
            << "\nelasticpull-host: run with --help for more information\n";
  return ParsedCommandLine{std::nullopt, standin::kExitBadInput};
}

// Whether the command line names nothing to work on: then the program runs
// the bundled example (-q, --trace, --module and the example's folders may
// still be given).
bool namesNoTask(const ProgramOptions &o, const OptionTexts &texts) {
  return o.mesh.empty() && o.script.empty() && o.select.empty() && o.pairs.empty() && !o.pairsFromEdges &&
         texts.factor.empty() && texts.offset.empty() && !o.length && texts.matchPair.empty() &&
         !o.symmetry && !o.invert && o.output.empty() && !o.inPlace && o.svg.empty() && o.aboutPng.empty() &&
         o.report.empty() && !o.describe && o.digits < 0;
}

// --factor, --offset and --match-pair, read as text so that nan, inf and a
// negative pair number are refused by name (the parser would take "nan" as a
// number, and -1 as the largest pair number).
std::optional<ParsedCommandLine> readNumberTexts(ProgramOptions &o, const OptionTexts &texts) {
  if (!texts.factor.empty()) {
    double factor = 0.0;
    if (standin::parseFactor(texts.factor, factor) != standin::NumberParse::Ok)
      return usage("--factor: '" + texts.factor + "' is not a number or a percentage (1.5 or 150%)");
    o.factor = factor;
  }
  if (!texts.offset.empty()) {
    double offset = 0.0;
    if (standin::parseNumber(texts.offset, offset) != standin::NumberParse::Ok)
      return usage("--offset: '" + texts.offset + "' is not a number (a distance such as 0.5 or -2)");
    o.offset = offset;
  }
  if (!texts.matchPair.empty()) {
    std::size_t pair = 0;
    const char *end = texts.matchPair.data() + texts.matchPair.size();
    const auto [stop, error] = std::from_chars(texts.matchPair.data(), end, pair);
    if (error != std::errc() || stop != end)
      return usage("--match-pair: '" + texts.matchPair + "' is not a pair number (0, 1, 2, ...)");
    o.matchPair = pair;
  }
  return std::nullopt;
}

// What the parser cannot check alone: the values read as text, options that
// need each other, and that there is something to do.
ParsedCommandLine checkTask(ProgramOptions o, const OptionTexts &texts) {
  if (o.serve) return ParsedCommandLine{o, 0};
  if (auto refused = readNumberTexts(o, texts)) return *refused;
  if (texts.viewOption->count() > 0 && o.svg.empty())
    return usage("--view chooses the view of the --svg picture; give --svg FILE too");
  if (std::string problem = standin::pictureNameProblem("--svg", o.svg, "svg"); !problem.empty())
    return usage(problem + " (the About panel's PNG picture is --about-png)");
  if (std::string problem = standin::pictureNameProblem("--about-png", o.aboutPng, "png"); !problem.empty())
    return usage(problem);
  if (namesNoTask(o, texts)) o.example = true;
  if (o.describe) return ParsedCommandLine{o, 0};
  if (o.example) {
    if (!o.mesh.empty() || !o.script.empty()) return usage("--example takes no mesh or script of its own");
    return ParsedCommandLine{o, 0};
  }
  if (o.mesh.empty()) return usage("no mesh file given");
  std::error_code error;
  if (o.mesh != "-" && !std::filesystem::exists(o.mesh, error) && !nearestOption(o.mesh, {"serve"}).empty())
    return usage("there is no mesh file '" + o.mesh + "'; did you mean serve?");
  if (o.mesh == "-" && o.script == "-")
    return usage("the mesh and the script cannot both come from standard input");
  if (o.mesh == "-" && o.inPlace)
    return usage("--in-place needs a mesh file: standard input cannot be replaced");
  if (o.script.empty()) {
    if (o.select.empty() && o.pairs.empty() && !o.pairsFromEdges)
      return usage(
          "--select, --pairs or --pairs-from-edges is needed: which points should the tool stretch?");
    if (!o.factor && !o.offset && !o.invert && !o.symmetry && !o.length && !o.matchPair) {
      return usage(
          "nothing to do: give --factor F, --offset D, --length L, --match-pair N, --symmetry or --invert, "
          "or "
          "a --script");
    }
  }
  if (!(o.axisTolerance >= 0.0 && o.axisTolerance < 90.0))
    return usage("--axis-tolerance " + standin::formatNumber(o.axisTolerance) +
                 ": an angle of 0 degrees or more and under 90");
  o.recomputeNormals = texts.normals == "recompute";
  if (o.length && !(*o.length >= 0.0 && std::isfinite(*o.length)))
    return usage("--length " + standin::formatNumber(*o.length) + ": a length is a finite number, 0 or more");
  if (o.inPlace) o.output = o.mesh;
  return ParsedCommandLine{o, 0};
}

// Every name of every option of `app`, as typed ("--factor", "-o").
std::vector<std::string> optionNames(const CLI::App &app) {
  std::vector<std::string> names;
  for (const CLI::Option *option : app.get_options()) {
    for (const std::string &name : option->get_lnames()) names.push_back("--" + name);
    for (const std::string &name : option->get_snames()) names.push_back("-" + name);
  }
  return names;
}

// Words the parser did not take: an unknown option ("did you mean" the
// nearest known one, when there is one) or an argument too many.
ParsedCommandLine unexpectedWords(const CLI::App &app, const CLI::App &used) {
  const std::vector<std::string> known = optionNames(used);
  const std::vector<std::string> words = app.remaining(true);
  for (std::string word : words) {
    if (word.size() < 2 || word[0] != '-') continue;
    word = word.substr(0, word.find('='));
    const std::string nearest = nearestOption(word, known);
    if (!nearest.empty()) return usage("unknown option '" + word + "'; did you mean " + nearest + "?");
    double number = 0.0;
    if (standin::parseNumber(word, number) == standin::NumberParse::NotANumber)
      return usage("unknown option '" + word + "'");
  }
  return usage("unexpected argument '" + (words.empty() ? std::string() : words.front()) +
               "': one mesh file is taken, and every other value belongs to an option");
}

}  // namespace

std::string nearestOption(const std::string &word, const std::vector<std::string> &known) {
  return standin::nearestWord(word, known);
}

ParsedCommandLine parseCommandLine(int argc, char **argv) {
  ProgramOptions o;
  CLI::App app{kDescription, "elasticpull-host"};
  app.footer(kFooter);
  app.get_formatter()->column_width(30);
  app.set_version_flag("--version", std::string("elasticpull-host ") + EP_VERSION,
                       "print the program's version and exit");
  OptionTexts texts;
  declareOptions(app, o, texts);
  CLI::App *serve = declareServe(app, o);
  try {
    app.parse(argc, argv);
    o.serve = serve->parsed();
  } catch (const CLI::ExtrasError &) {
    return unexpectedWords(app, serve->parsed() ? *serve : app);
  } catch (const CLI::ParseError &error) {
    // --help and --version print and end the run; a mistake is said as every
    // other message of the program is.
    if (error.get_exit_code() == 0) return ParsedCommandLine{std::nullopt, app.exit(error)};
    return usage(error.what());
  }
  standin::parseViewAxis(texts.view, o.view);  // the checkers gave them in lower case
  standin::parseViewZoom(texts.zoom, o.zoom);
  return checkTask(std::move(o), texts);
}

}  // namespace cli
