#include "standin/session/script.h"

#include <limits>

#include "standin/host/failure.h"
#include "standin/session/selection.h"
#include "standin/session/text_input.h"

namespace standin {

Script parseScript(std::string_view text, const std::string &name) {
  Script script;
  script.name = name;
  try {
    refuseNotText(text);
  } catch (const Failure &error) {
    throw error.at(name);
  }
  refuseCarriageReturnLineEnds(text, name);
  std::size_t lineNumber = 0;
  std::size_t start = byteOrderMarkLength(text);
  while (start < text.size()) {
    ++lineNumber;
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    try {
      if (isBlankLine(line)) continue;
      Command command = parseCommand(line);
      command.line = lineNumber;
      // Pairs lines one after another make one selection (a list too long
      // for a line); a point in two of its pairs is refused at the line. A
      // line that picks the tool on its pairs ends the list (the page's
      // choices, one after another, are each a whole new selection).
      if (command.op == CommandOp::Pairs && !script.commands.empty() &&
          script.commands.back().op == CommandOp::Pairs && !script.commands.back().repick) {
        Command &pairs = script.commands.back();
        if (pairs.text.back() != ',' && command.text.front() != ',') pairs.text += ',';
        pairs.text += command.text;
        pairs.repick = command.repick;
        parsePairs(pairs.text, std::numeric_limits<std::size_t>::max());
        continue;
      }
      script.commands.push_back(std::move(command));
    } catch (const Failure &error) {
      throw error.at(name, lineNumber);
    }
  }
  return script;
}

}  // namespace standin
