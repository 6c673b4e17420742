// The session script language of elasticpull-host: one command a line, what
// a user does with the tool in a modeler, in the order they do it.
//
//   pick                          pick the tool (the module's activation)
//   press X Y Z [ctrl] [right]    press the mouse at a model position
//   press point N [ctrl] [right]  ... at mesh point N's current position
//   drag X Y Z [ctrl]             move the mouse with the button held
//   release                       let the button go
//   click N [ctrl] [right]        press and release at mesh point N
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
//   select SELECTION              change the host's point selection
//   pairs H:A [H:A ...]           select pairs: handle end, anchor end (also
//                                 comma-separated); the host delivers them in
//                                 this order
//   save FILE                     write the mesh as it stands now
//   echo TEXT                     print a line
//   close                         close the tool, keeping the result
//
// A UTF-8 byte-order mark at the start is skipped. '#' starts a comment;
// blank lines are ignored; words are separated by blanks, and a file name
// with blanks can be written in double quotes ("my file.svg"). Command names
// and keywords (ctrl, right, point, on, off, factor, offset, the views, all)
// are read whatever their case; file names and echo text are kept as written.
// Numbers are decimal (1, -2.5, 1e-3); point indices count from 0 in mesh
// order.
//
// parseScript checks the whole script before anything runs: a mistake is
// reported as "NAME:LINE: message" (Failure, BadInput), so a script with a typo on
// its last line does nothing.
#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "standin/host/failure.h"
#include "standin/pictures/svg_view.h"

namespace standin {

enum class ScriptOp {
  Pick,
  Press,
  Drag,
  Release,
  Click,
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
  Save,
  Echo,
  Close,
};

struct ScriptCommand {
  ScriptOp op = ScriptOp::Pick;
  std::size_t line = 0;              // 1-based line in the script
  std::array<double, 3> position{};  // Press, Drag
  bool atPoint = false;              // Press: at `point` rather than `position`
  std::size_t point = 0;             // Click, Press at a point
  bool ctrl = false;                 // Press, Drag, Click
  bool right = false;                // Press, Click
  int code = 0;                      // Event; Mode: 0 factor, 1 offset; Symmetry: 0 / 1
  double value = 0.0;                // Factor, Offset
  ViewAxis view = ViewAxis::Top;     // Svg
  ViewZoom zoom = ViewZoom::Mesh;    // Svg
  // File (About, Svg, Save), selection (Points, Select), pairs "H:A,H:A"
  // (Pairs), Echo text.
  std::string text;
};

struct Script {
  std::string name;  // how messages name the script: its file name, or "<stdin>"
  std::vector<ScriptCommand> commands;
};

// Parses a whole script. Throws Failure(BadInput) at "NAME:LINE".
Script parseScript(std::string_view text, const std::string &name);

// What is wrong with `file` as the name of a picture of the given kind
// ("svg" or "png") written by `writer` (an option or a command), when its
// extension names another kind of file: "--svg writes an SVG picture, not
// .png: name it 'x.svg'". Empty when it fits, has no extension (a device,
// /dev/stdout) or one that names no picture.
std::string pictureNameProblem(const std::string &writer, const std::string &file, std::string_view kind);

// The one-line form of a command as a user would write it (for --trace and
// messages), e.g. "press 1 2 3 ctrl". It parses back to the same command.
std::string describeCommand(const ScriptCommand &command);

}  // namespace standin
