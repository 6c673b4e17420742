#include "standin/host/trace.h"

#include <cstdio>

#include "standin/host/number_text.h"

namespace standin {

namespace {

template <typename T>
std::string formatTriple(const T *v) {
  if (v == nullptr) return "NULL";
  // 17 significant digits: enough to tell any two doubles apart.
  constexpr int kDigits = 17;
  return "(" + formatSignificant(static_cast<double>(v[0]), kDigits) + ", " +
         formatSignificant(static_cast<double>(v[1]), kDigits) + ", " +
         formatSignificant(static_cast<double>(v[2]), kDigits) + ")";
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
