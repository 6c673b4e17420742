#include "standin/host/trace.h"

#include <cstdio>

#include "standin/host/number_text.h"

namespace standin {

namespace {

// Exact, as the shortest text that reads back to the same value: any two
// positions are told apart, and 0.1 reads "0.1", not "0.10000000000000001".
template <typename T>
std::string formatTriple(const T *v) {
  if (v == nullptr) return "NULL";
  // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict overlap
  // for a string literal + std::string chain here.
  std::string out = "(";
  for (int i = 0; i < 3; ++i) {
    if (i > 0) out += ", ";
    out += formatNumber(static_cast<double>(v[i]));
  }
  out += ')';
  return out;
}

}  // namespace

std::string traceVec(const double *v) { return formatTriple(v); }
std::string traceVec(const float *v) { return formatTriple(v); }

std::string tracePtr(const void *p) {
  if (p == nullptr) return "NULL";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%p", p);
  return buffer;
}

std::string traceText(const char *text) {
  if (text == nullptr) return "NULL";
  return std::string("\"") + text + "\"";
}

}  // namespace standin
