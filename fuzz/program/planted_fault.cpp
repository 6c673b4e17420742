// A fault planted on purpose in the program layer, to show that the program
// target finds it: with EP_FUZZ_PLANT=script-outputs-unchecked, the check of
// the outputs before a run (cli::checkOutputs, reached through the linker's
// --wrap) is given the options' outputs only, as if it skipped the script's:
// a script's `save` onto the mesh or the script itself then goes through. The
// program's code is not touched; without the variable the check is the
// program's own.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "standin/cli/output_check.h"

// The check's symbol (Itanium mangling), which -Wl,--wrap routes here.
#define EP_CHECK_OUTPUTS                                                                                \
  "_ZN3cli12checkOutputsERKSt6vectorINS_13PlannedOutputESaIS1_EERKNSt7__cxx1112basic_stringIcSt11char_" \
  "traitsIcESaIcEEESD_"

void realCheckOutputs(const std::vector<cli::PlannedOutput> &outputs, const std::string &mesh,
                      const std::string &scriptName) __asm__("__real_" EP_CHECK_OUTPUTS);
void plantedCheckOutputs(const std::vector<cli::PlannedOutput> &outputs, const std::string &mesh,
                         const std::string &scriptName) __asm__("__wrap_" EP_CHECK_OUTPUTS);

void plantedCheckOutputs(const std::vector<cli::PlannedOutput> &outputs, const std::string &mesh,
                         const std::string &scriptName) {
  const char *plant = std::getenv("EP_FUZZ_PLANT");
  if (plant == nullptr || std::strcmp(plant, "script-outputs-unchecked") != 0)
    return realCheckOutputs(outputs, mesh, scriptName);
  std::vector<cli::PlannedOutput> options;
  for (const cli::PlannedOutput &output : outputs)
    if (output.line == 0) options.push_back(output);
  realCheckOutputs(options, mesh, scriptName);
}
