// The session script parser: any text. Only Failure escapes, and every
// command printed back (commandText, as --trace shows it) parses to the
// same command.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/invariant.h"
#include "fuzz/same_command.h"
#include "standin/session/script.h"

namespace {

using fuzz::sameBits;
using fuzz::sameCommand;

void checkPrintedBack(const standin::Script &script) {
  for (const standin::Command &command : script.commands) {
    const std::string printed = standin::commandText(command);
    standin::Script again;
    try {
      // As a line of a log or script: ended by a line feed (a text of one
      // line without one, holding carriage returns, reads as old Mac line ends).
      again = standin::parseScript(printed + "\n", "printed");
    } catch (const std::exception &error) {
      fuzz::violated("line %zu printed as '%s' does not parse: %s", command.line, printed.c_str(),
                     error.what());
    }
    if (again.commands.size() != 1 || !sameCommand(again.commands[0], command))
      fuzz::violated("line %zu printed as '%s' parses to %zu other command(s)", command.line, printed.c_str(),
                     again.commands.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  standin::Script script;
  try {
    script = standin::parseScript(text, "fuzz.txt");
  } catch (const standin::Failure &) {
    return 0;
  } catch (const std::exception &error) {
    fuzz::violated("parseScript threw %s, not a Failure", error.what());
  }
  checkPrintedBack(script);
  return 0;
}
