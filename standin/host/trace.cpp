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
  return "(" + formatNumber(static_cast<double>(v[0])) + ", " + formatNumber(static_cast<double>(v[1])) +
         ", " + formatNumber(static_cast<double>(v[2])) + ")";
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
