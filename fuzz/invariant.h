// How a fuzz target reports an invariant that does not hold: it prints what
// was expected and what happened, then aborts, which libFuzzer reports as a
// crash and saves the input that led to it.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

[[noreturn]] __attribute__((format(printf, 1, 2))) inline void violated(const char *format, ...) {
  std::fputs("\n==== invariant violated: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputs("\n", stderr);
  std::fflush(stderr);
  std::abort();
}

}  // namespace fuzz
