// The command line of elasticpull-host: what the user asked for, checked for
// contradictions before any file is read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "standin/pictures/svg_view.h"

namespace cli {

struct ProgramOptions {
  std::string mesh;    // the OBJ file, "-" for standard input; empty with --example / --describe
  std::string select;  // --select, as written
  std::string pairs;   // --pairs H:A,..., as written
  bool pairsFromEdges = false;
  std::string axis;              // --axis x|y|z with --pairs-from-edges; empty: the file's line elements
  double axisTolerance = 5.0;    // --axis-tolerance DEG
  std::string script;            // --script FILE, "-" for standard input
  std::optional<double> factor;  // --factor, also written as a percentage (150%)
  std::optional<double> offset;
  std::optional<double> length;          // --length L
  std::optional<std::size_t> matchPair;  // --match-pair N
  bool symmetry = false;
  bool invert = false;
  bool verbose = false;  // list every pair
  std::string report;    // --report FILE.json
  std::string output;    // -o; "-" is standard output
  bool inPlace = false;
  int digits = -1;                // --digits: decimals of moved coordinates; -1 the shortest exact form
  bool recomputeNormals = false;  // --normals recompute
  std::string svg;
  standin::ViewAxis view = standin::ViewAxis::Front;
  standin::ViewZoom zoom = standin::ViewZoom::Mesh;
  std::string aboutPng;
  bool trace = false;
  bool quiet = false;
  std::string module;  // empty: elasticpull.p beside the program
  bool describe = false;
  bool example = false;
  std::string exampleDir;  // empty: look for it
  std::string outputDir;   // example outputs; empty: ./elasticpull-example-output
  // `serve`: the playground (mesh, select, output, module, trace, exampleDir apply too).
  bool serve = false;
  int port = 0;  // 0: a free port
  std::string listen = "127.0.0.1";
};

// The outcome of reading the command line: options to run, or an exit code
// (after --help, or after a usage error already printed to stderr).
struct ParsedCommandLine {
  std::optional<ProgramOptions> options;
  int exitCode = 0;
};

ParsedCommandLine parseCommandLine(int argc, char **argv);

// The option of `known` nearest to a mistyped `word` ("--factr" gives
// "--factor"), or empty when none is near enough to be meant.
std::string nearestOption(const std::string &word, const std::vector<std::string> &known);

}  // namespace cli
