// Injected I/O faults for the program-layer target: the program's write,
// fsync and rename calls are routed here (the target is linked with
// -Wl,--wrap=write,--wrap=fsync,--wrap=rename), and the k-th of them that
// touches a file under the scratch folder fails with the given errno, as a
// full disk or a failing device would make it fail. Calls elsewhere (the
// fuzzer's own output, standard error) pass through.
#pragma once

#include <string>

namespace fuzz {

// Faults touch only files under `folder`.
void faultFilesUnder(const std::string &folder);
// The k-th call from now (1 the next one; 0: none) fails with `error`.
void failCall(int k, int error);

}  // namespace fuzz
