// "Did you mean": the known word nearest to a mistyped one, for options of
// the command line and the commands of a script alike.
#pragma once

#include <string>
#include <vector>

namespace standin {

// The word of `known` nearest to `word` (whatever its case) by single-letter
// edits (insert, delete, replace, swap two neighbours), or empty when none is
// near enough to be meant: two edits at most, and fewer than a third of the
// known word. Words under 4 letters are never suggested: any typo is one
// edit away from them.
std::string nearestWord(const std::string &word, const std::vector<std::string> &known);

}  // namespace standin
