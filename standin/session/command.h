// What a user does with the tool, as values: one Command for each action, the
// same whichever front end it came from. Each command has one text form (a
// line of a session script, as a user writes it) and one JSON form (the body
// the playground's API takes), and the two read back to the same command.
//
// Text form, one command a line (names and keywords in any case):
//
//   pick [invert] [mode factor|offset] [symmetry on|off] [factor F] [offset D]
//                                 pick the tool; the panel values given are
//                                 set before its first build (invert: after
//                                 it, in one second build with the values)
//   press X Y Z [ctrl] [right] [handle N|start]
//   press point N [ctrl] [right] [handle N|start]
//                                 press the mouse at a model position (or at
//                                 mesh point N); it grabs the nearest handle
//                                 within the pick radius, or handle N, or
//                                 none, so that the tool's start chooses
//   drag X Y Z [ctrl]             move the mouse with the button held
//   release                       let the button go
//   click N [ctrl] [right]        press and release at mesh point N
//   keep X Y Z                    right click away from the handles: keep the
//                                 result, begin a new stretch
//   drop | reset | activate       the host's events 0, 1 and 2
//   event CODE                    any event code
//   mode factor|offset            the options panel's mode choice
//   factor F | factor P%          the Factor field (1.5 and 150% are the same)
//   offset D                      the Offset field
//   symmetry on|off               the Symmetry switch
//   invert                        the Invert Handle button
//   about [FILE.png]              the About button; writes the panel's picture
//   panel                         print the options panel
//   svg FILE [top|front|side] [zoom selection|mesh]
//                                 write the viewport with the overlay
//   points [SELECTION]            print positions (default: the selected points)
//   select SELECTION [pick]       change the host's point selection
//   pairs H:A [H:A ...] [pick]    select pairs: handle end, anchor end (also
//                                 comma-separated), delivered in this order
//   pairs-from-edges [x|y|z [within DEG]] [pick]
//                                 select the pairs the mesh file's edges make:
//                                 its line elements' segments, or the edges
//                                 within DEG degrees (default 5) of an axis
//                                 (point_pairs.h); with pick, any of the three
//                                 closes the tool (keeping its result) first
//                                 and picks it on the new pairs (two points or
//                                 more)
//   length L [symmetry] [invert] [only PAIRS]
//                                 stretch every pair (or the pairs numbered
//                                 PAIRS, as a selection: 0-2,5) to length L
//                                 through the tool: one pick a group of pairs
//                                 of one length
//   match-pair N [symmetry] [invert] [only PAIRS]
//                                 the same, to the length of pair N
//   open FILE [checksum HEX]      read another mesh: the session works on it
//                                 from now on, and its history begins there;
//                                 with a checksum, a file whose text differs
//                                 from the one the session opened is refused
//   cancel                        let the button go and put back what the
//                                 press and its drags did (no redo)
//   undo | redo                   one step back or forward in the history
//   revert                        every point back where the file has it, and
//                                 the tool picked again
//   save [FILE]                   write the mesh as it stands now (without
//                                 FILE: the session's own output)
//   echo TEXT                     print a line
//   close                         close the tool, keeping the result
//   on-failure stop|continue      what a script does after the tool failed
//                                 (an error or warning box, a failed build):
//                                 stop there (the default) or go on
//
// JSON form: an object with "command" (the name above; "drop", "reset",
// "activate" or "event" with "code" for events) and the arguments as fields:
// "position" [x, y, z], "point", "ctrl", "right", "handle" (a number or
// "start"), "code", "mode" ("factor" / "offset"), "value" (factor, offset),
// "on" (symmetry), "then" (on-failure: "stop" / "continue"), "file", "view",
// "zoom", "selection", "pairs", "text", "length", "pair", "symmetry",
// "invert", "only", pick's "invert", "mode", "symmetry", "factor", "offset",
// "pick" (select, pairs, pairs-from-edges), "axis" and "within"
// (pairs-from-edges), and open's "file", "checksum" and "text": the file's
// whole text, which the JSON form carries instead of a file to read (the
// text form cannot: a log names the file and its checksum). Flags that are
// false and arguments that are not given are left out. A field the command
// does not take is refused.
//
// Mistakes throw Failure(BadInput) saying what is wrong (without a place:
// the caller names the line or the request).
#pragma once

#include <array>
#include <cstddef>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "standin/host/failure.h"
#include "standin/pictures/svg_view.h"

namespace standin {

enum class CommandOp {
  Pick,
  Press,
  Drag,
  Release,
  Click,
  Keep,
  Event,
  Mode,
  Factor,
  Offset,
  Symmetry,
  Invert,
  About,
  Panel,
  Svg,
  Points,
  Select,
  Pairs,
  Length,
  MatchPair,
  Undo,
  Redo,
  Revert,
  Save,
  Echo,
  Open,
  PairsFromEdges,
  Cancel,
  Close,
  OnFailure,
};

// What a press grabs: the nearest handle within the pick radius (the host's
// own pick), the handle `Command::handle`, or none, so that the tool's start
// chooses.
enum class Grab { Nearest, Handle, Start };

// The panel values a pick sets before its first build; for length and
// match-pair, symmetry and invert.
struct PanelPreset {
  bool invert = false;
  std::optional<int> mode;  // 0 Factor, 1 Offset
  std::optional<bool> symmetry;
  std::optional<double> factor;
  std::optional<double> offset;
  bool operator==(const PanelPreset &) const = default;
};

struct Command {
  CommandOp op = CommandOp::Pick;
  std::size_t line = 0;              // 1-based line in a script; 0 elsewhere
  std::array<double, 3> position{};  // Press, Drag, Keep
  bool atPoint = false;              // Press: at `point` rather than `position`
  std::size_t point = 0;             // Click, Press at a point; MatchPair: the pair
  bool ctrl = false;                 // Press, Drag, Click
  bool right = false;                // Press, Click
  Grab grab = Grab::Nearest;         // Press
  int handle = 0;                    // Press with Grab::Handle
  int code = 0;                      // Event; Mode: 0 factor, 1 offset; Symmetry, OnFailure (continue): 0 / 1;
                                     // PairsFromEdges: the axis (0 x, 1 y, 2 z; -1 none)
  double value = 0.0;                // Factor, Offset, Length; PairsFromEdges: degrees
  ViewAxis view = ViewAxis::Top;     // Svg
  ViewZoom zoom = ViewZoom::Mesh;    // Svg
  PanelPreset preset;                // Pick; Length and MatchPair: symmetry, invert
  // File (About, Svg, Save, Open), selection (Points, Select), pairs "H:A,H:A"
  // (Pairs), the pairs' numbers (Length and MatchPair "only"), Echo text.
  std::string text;
  bool repick = false;                  // Select, Pairs, PairsFromEdges: "pick"
  std::optional<std::string> contents;  // Open: the file's text (JSON form only)
  std::string checksum;                 // Open: textChecksum of the file's text

  bool operator==(const Command &) const = default;
};

// The command's name as both forms write it: "press", "match-pair", "drop".
std::string commandName(const Command &command);

// One script line's command (comments and blank lines are the script's
// business: `line` holds one command). Throws Failure(BadInput).
Command parseCommand(std::string_view line);
// Whether a script line holds no command (blank, or a comment).
bool isBlankLine(std::string_view line);
// The line as a user would write it, e.g. "press 1 2 3 ctrl"; it parses back
// to the same command.
std::string commandText(const Command &command);

// The JSON form. Throws Failure(BadInput) naming the field.
Command commandFromJson(const nlohmann::json &body);
nlohmann::json commandJson(const Command &command);

// The checksum an `open` line carries: 64-bit FNV-1a of the text, as 16
// lower-case hex digits. It tells a replay that the file it reads is the one
// the session opened.
std::string textChecksum(std::string_view text);

// Whether the command changes what the session holds (the mesh, the
// selection, the tool): these are the steps of the history. Looking at the
// result (points, panel, svg, about, echo) and saving are not.
bool changesSession(CommandOp op);

// What is wrong with `file` as the name of a picture of the given kind
// ("svg" or "png") written by `writer` (an option or a command), when its
// extension names another kind of file: "--svg writes an SVG picture, not
// .png: name it 'x.svg'". Empty when it fits, has no extension (a device,
// /dev/stdout) or one that names no picture.
std::string pictureNameProblem(const std::string &writer, const std::string &file, std::string_view kind);

}  // namespace standin
