// A fault planted on purpose in the program layer, to show that the program
// target finds it: with EP_FUZZ_PLANT=script-outputs-unchecked, the list of
// files the run reads (cli::filesTheRunReads, reached through the linker's
// --wrap) leaves the script out, as if the output checks skipped it: a
// script's `save` onto the script itself, or an `-o` naming it, then goes
// through. The program's code is not touched; without the variable the list
// is the program's own.
#include <cstdlib>
#include <cstring>
#include <string>

#include "standin/cli/output_check.h"

// The function's symbol (Itanium mangling), which -Wl,--wrap routes here.
#define EP_FILES_THE_RUN_READS \
  "_ZN3cli16filesTheRunReadsERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES7_S7_"

standin::ReadFiles realFilesTheRunReads(const std::string &mesh, const std::string &script,
                                        const std::string &module) __asm__("__real_" EP_FILES_THE_RUN_READS);
standin::ReadFiles plantedFilesTheRunReads(const std::string &mesh, const std::string &script,
                                           const std::string &module) __asm__("__wrap_" EP_FILES_THE_RUN_READS);

standin::ReadFiles plantedFilesTheRunReads(const std::string &mesh, const std::string &script,
                                           const std::string &module) {
  const char *plant = std::getenv("EP_FUZZ_PLANT");
  if (plant == nullptr || std::strcmp(plant, "script-outputs-unchecked") != 0)
    return realFilesTheRunReads(mesh, script, module);
  return realFilesTheRunReads(mesh, "", module);
}
