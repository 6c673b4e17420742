// The session target's input: a session script, one command a line, as a
// user or the page's log writes it. The lines are the unit the mutator edits
// (session_mutator.cpp): a line inserted, removed, copied or moved, a number
// in it replaced, a made-up command of any kind put in, two inputs spliced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "standin/session/command.h"

namespace fuzz {

// At most this many lines of an input are run.
constexpr std::size_t kMaxSessionLines = 40;
// The points of the target's mesh.
constexpr std::size_t kSessionMeshPoints = 10;

// An input's lines, without their line ends, at most kMaxSessionLines.
std::vector<std::string> splitLines(std::string_view text);
std::string joinLines(const std::vector<std::string> &lines);

// A file name a command may write in the scratch folder: one of a few plain
// names, keeping the extension's kind, so that no input writes anywhere else
// (an absolute path, "..", a device). Empty stays empty (the session's own
// output).
std::string scratchName(const std::string &name);
// The command with any file it writes named by scratchName.
standin::Command confined(standin::Command command);

// A command line of any kind with values that mean something to the tool
// and the mesh (its points, pairs, the panel's limits, the edges of a double).
std::string madeUpLine(std::minstd_rand &rng);
// The line with one of its numbers replaced by a meaningful one (or a word
// added: ctrl, right, symmetry, ...); the line itself when it has none.
std::string nudgedLine(std::minstd_rand &rng, const std::string &line);

}  // namespace fuzz
