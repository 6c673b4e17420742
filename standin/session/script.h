// A session script of elasticpull-host: one command a line (command.h), what
// a user does with the tool in a modeler, in the order they do it.
//
// A UTF-8 byte-order mark at the start is skipped; a NUL byte or a mark
// anywhere else is refused at its line (refuseNotText, text_input.h). '#' starts a comment;
// blank lines are ignored; words are separated by blanks, and a file name
// with blanks can be written in double quotes ("my file.svg"). Command names
// and keywords (ctrl, right, point, on, off, factor, offset, the views, all)
// are read whatever their case; file names and echo text are kept as written.
// Numbers are decimal (1, -2.5, 1e-3); point indices count from 0 in mesh
// order.
//
// parseScript checks the whole script before anything runs: a mistake is
// reported at "NAME:LINE" (Failure, BadInput), so a script with a typo on its
// last line does nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "standin/session/command.h"

namespace standin {

struct Script {
  std::string name;  // how messages name the script: its file name, or "<stdin>"
  std::vector<Command> commands;
};

// Parses a whole script. Throws Failure at "NAME:LINE": BadInput, or NotText.
Script parseScript(std::string_view text, const std::string &name);

}  // namespace standin
